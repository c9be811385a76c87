#include "core/schema/TableClasses.h"

namespace bx {

namespace {

TableClassEntry shared(const char* table, const char* everyonesRows = "",
                       WriterRight writer = WriterRight::Administrators,
                       const char* workshopOf = "")
{
    return {QLatin1String(table),         TableClass::Shared,       writer, {},
            QLatin1String(everyonesRows), QLatin1String(workshopOf)};
}

TableClassEntry personal(const char* table, const char* ownerColumn, bool supervisorsRead = false)
{
    return {QLatin1String(table),
            TableClass::Personal,
            WriterRight::Administrators,
            QLatin1String(ownerColumn),
            {},
            {},
            supervisorsRead};
}

TableClassEntry configuration(const char* table, WriterRight writer = WriterRight::Administrators,
                              const char* workshopOf = "")
{
    return {QLatin1String(table),     TableClass::Configuration, writer, {}, {},
            QLatin1String(workshopOf)};
}

TableClassEntry maintained(const char* table)
{
    return {QLatin1String(table), TableClass::Maintained, WriterRight::Administrators, {}, {}, {}};
}

} // namespace

const QList<TableClassEntry>& tableClasses()
{
    static const QList<TableClassEntry> entries{
        // Stored reports (type "R") are configuration of the report designers; those of no
        // workshop, which every workshop shares, of the designers of shared reports alone.
        [] {
            TableClassEntry e =
                shared("ATTACH", "COALESCE(Attach_Type, '') <> 'R'", WriterRight::Reports);
            e.writerRows = QStringLiteral("COALESCE(Group_ID, 0) <> 0");
            e.otherRowsWriter = WriterRight::GlobalReports;
            return e;
        }(),
        // The version of each attachment, raised by the database on every update of it.
        shared("ATTACH_VERSION"),
        shared("CALL_LOG"),
        // Moved by the triggers on every change to what the task views read.
        maintained("CHANGE_MARKER"),
        // A workshop's checklists are designed by its members.
        configuration("CHECKLIST", WriterRight::WorkshopMembers, "group_id"),
        // The templates of checklists have no attachment and belong to their checklist's
        // workshop; the ticks of a task's copy have one.
        shared("CHECKLIST_ITEM", "COALESCE(Attach_Number, 0) <> 0", WriterRight::WorkshopMembers,
               "(SELECT c.group_id FROM CHECKLIST c WHERE c.Checklist_Name = "
               "CHECKLIST_ITEM.Checklist_Name)"),
        shared("CONTACT"),
        // The definitions of custom forms have no attachment; the values of each filled-in copy
        // have one.
        shared("CONTROL", "COALESCE(ATTACH_NUMBER, 0) <> 0"),
        configuration("CUSTOM"),
        // The plug-in of each workshop's custom tab.
        configuration("CUSTOM_TAB"),
        shared("FOLDER"),
        configuration("FORM"),
        shared("GROUPLINK"),
        configuration("LIFECYCLE", WriterRight::Lifecycles),
        // A stage's action items are templates (no task) and each task's copy of them.
        shared("LIFECYCLE_ACTION", "COALESCE(SCR_Number, 0) <> 0", WriterRight::Lifecycles),
        configuration("LIFECYCLE_USER", WriterRight::Lifecycles),
        shared("LOGIN"),
        // Folder access is written when a workshop is made with a new root folder.
        shared("LU_ACCESS_LEVEL"),
        configuration("LU_ACTIVEX"),
        // The folders of the file cabinet; a new workshop may add its root folder.
        shared("LU_CATEGORY"),
        shared("LU_GROUP"),
        configuration("LU_PRIORITY"),
        configuration("LU_RULES"),
        shared("LU_SERIALS"),
        // Its rights columns and other users' passwords are guarded by a trigger of its own.
        configuration("LU_USER"),
        personal("MAIL", "Owner_User_ID"),
        personal("MAIL_OUTBOX", "Queued_By"),
        configuration("OLAP_DIMENSION", WriterRight::Analyses),
        configuration("OLAP_REPORT", WriterRight::Analyses),
        shared("PAXCAL"),
        shared("REPLICA"),
        shared("ROUTE"),
        shared("SCR"),
        configuration("SEARCH_TABLES"),
        configuration("SYSTEM"),
        // Bookings of working time and their change log: a user's own, which his supervisors read.
        personal("TIME_SHEET", "User_ID", true),
        personal("TIME_SHEET_ROUTE", "User_ID", true),
        configuration("TOOL"),
        // The upgrade markers and the build are configuration; a user's default assignee and the
        // database's id, made by the first notice of a database that lacks one, are not.
        shared("Vars", "VarName LIKE 'USERS/DEFAULT ASSIGN/%' OR VarName = 'Database ID'"),
        shared("tblReportQueue"),
    };
    return entries;
}

std::optional<TableClassEntry> tableClassOf(const QString& table)
{
    for (const TableClassEntry& entry : tableClasses()) {
        if (entry.table.compare(table, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return std::nullopt;
}

QString writerRoleSuffix(WriterRight right)
{
    switch (right) {
    case WriterRight::Administrators:
        return {};
    case WriterRight::Lifecycles:
        return QStringLiteral("lifecycles");
    case WriterRight::Analyses:
        return QStringLiteral("analysts");
    case WriterRight::Reports:
        return QStringLiteral("reporters");
    case WriterRight::GlobalReports:
        return QStringLiteral("globalreports");
    case WriterRight::WorkshopMembers:
        return {};
    }
    return {};
}

const QList<WriterRight>& grantedRights()
{
    static const QList<WriterRight> rights{WriterRight::Lifecycles, WriterRight::Analyses,
                                           WriterRight::Reports, WriterRight::GlobalReports};
    return rights;
}

QString writerRightColumn(WriterRight right)
{
    switch (right) {
    case WriterRight::Administrators:
        return {};
    case WriterRight::Lifecycles:
        return QStringLiteral("Allow_Create_Lifecycle");
    case WriterRight::Analyses:
        return QStringLiteral("Ext11");
    case WriterRight::Reports:
        return QStringLiteral("Ext10");
    case WriterRight::GlobalReports:
        return QStringLiteral("Ext13");
    case WriterRight::WorkshopMembers:
        return {};
    }
    return {};
}

} // namespace bx
