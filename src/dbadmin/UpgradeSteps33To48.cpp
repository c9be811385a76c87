#include "core/db/Database.h"
#include "dbadmin/UpgradeSteps.h"
#include "reports/StandardReports.h"

#include <QDir>
#include <QFile>

namespace bx {

namespace {

using P = ErrorPolicy;
using T = ColumnType;

void step33(StepActions& a)
{
    a.note(QStringLiteral("Create table LU_GROUP with the columns of GROUP"));
    a.copyTable(QStringLiteral("group"), QStringLiteral("LU_GROUP"), QStringLiteral("s_"),
                QStringLiteral("GROUPConstraint"), QStringLiteral("GROUP_ID"));
}

void step34(StepActions& a)
{
    a.note(QStringLiteral("Delete GROUP relationships"));
    a.removeRelationsOf(QStringLiteral("group"));
    a.dropTable(QStringLiteral("group"));
}

void step35(StepActions& a)
{
    if (a.onServer()) {
        a.disableUserTriggers(QStringLiteral("PAXCAL"));
        return;
    }
    a.note(QStringLiteral("Remove PaxCal Table relationships"));
    a.removeRelationsOf(QStringLiteral("PAXCAL"));
    a.note(QStringLiteral("Alter Table PAXCAL : AllowZeroLength=True"));
    a.allowEmpty(QStringLiteral("PAXCAL"), {QStringLiteral("Cal_ID")});
}

void step36(StepActions& a)
{
    a.addColumn(QStringLiteral("LIFECYCLE_USER"), QStringLiteral("SuperVisor"), T::Flag);
}

void step37(StepActions& a)
{
    a.addColumn(QStringLiteral("CHECKLIST_ITEM"), QStringLiteral("ItemType"), T::Flag);
    a.addColumn(QStringLiteral("CHECKLIST_ITEM"), QStringLiteral("ItemNote"), T::Text);
}

void step38(StepActions& a)
{
    addAnalysisTables(a);
}

// Contacts of tasks become contact attachments of those tasks.
void step39(StepActions& a)
{
    const RecordSet tasks =
        a.query(QStringLiteral("SELECT SCR_Number, SCR_Contact_Key FROM SCR WHERE SCR_Contact_Key "
                               "IS NOT NULL AND SCR_Contact_Key <> 0 AND SCR_Number IS NOT NULL "
                               "ORDER BY SCR_Number"));
    const QString title = QStringLiteral("Contact, admin, ") + localNowText(a.context());
    const QDateTime now = gmtNow(a.context());
    for (const QVariantList& row : tasks.rows())
        a.insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                         {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Title"),
                          QStringLiteral("Attach_Owner"), QStringLiteral("Attach_Date"),
                          QStringLiteral("Attach_Type"), QStringLiteral("Attach_Filename")},
                         {row.at(0), title, QStringLiteral("admin"), now, QStringLiteral("C"),
                          QString::number(row.at(1).toLongLong())});
}

void step40(StepActions& a)
{
    if (a.onServer()) {
        a.disableUserTriggers(QStringLiteral("CONTACT"));
    } else {
        a.note(QStringLiteral("Remove Contact Table relationships"));
        a.removeRelationsOf(QStringLiteral("CONTACT"));
    }
    addTaskRules(a);
    // Step 39 turned the tasks' contacts into attachments on both engines, so the keys go on both.
    a.run(QStringLiteral("UPDATE SCR SET SCR_Contact_Key = 0"));
}

void step41(StepActions& a)
{
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("Sender"), T::Text);
}

void step42(StepActions& a)
{
    a.addColumn(QStringLiteral("ATTACH"), QStringLiteral("Category"), T::Text);
}

const Relation kCallLogContact{QStringLiteral("FK_CALL_LOG_CONTACT"), QStringLiteral("CALL_LOG"),
                               QStringLiteral("Contact_Key"), QStringLiteral("CONTACT"),
                               QStringLiteral("CONTACT_KEY")};

void step43(StepActions& a)
{
    a.run(a.ddl(QStringLiteral("CREATE TABLE CALL_LOG (CALL_ID {counter}, Contact_Key {int}, "
                               "Date {date}, Content {text})")));
    if (a.onServer())
        a.addRelation(kCallLogContact);
}

// The embedded engine gets the call log's relation here, the server engine with the table.
void step44(StepActions& a)
{
    if (a.onServer())
        return;
    Relation relation = kCallLogContact;
    relation.name = QStringLiteral("CONTACT_CALL_LOG");
    a.addRelation(relation);
}

void step45(StepActions& a)
{
    if (!a.onServer())
        a.allowEmpty(QStringLiteral("SYSTEM"),
                     {QStringLiteral("SMTPUser"), QStringLiteral("SMTPPwd")});
}

void step46(StepActions& a)
{
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("Viewed"), T::Flag);
}

void step47(StepActions& a)
{
    a.addColumn(QStringLiteral("CONTACT"), QStringLiteral("Phone_Cell"), T::Text);
}

// The standard report layouts delivered beside the program become report attachments.
void step48(StepActions& a)
{
    a.run(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Type = ?"), {QStringLiteral("R")});
    const QString stamp = QStringLiteral(", admin, ") + localNowText(a.context());
    const QDateTime now = gmtNow(a.context());
    const QDir folder(a.context().programDir);
    for (const StandardReports::Report& report : StandardReports::all()) {
        const QString path = folder.filePath(report.fileName());
        if (!QFile::exists(path))
            continue;
        StandardReports::storeReportFile(
            a.db(), path, report.title + stamp, now,
            [&](const QString& table, const QString& numberColumn, const QStringList& columns,
                const QVariantList& values) {
                const qlonglong number = a.insertNumbered(table, numberColumn, columns, values);
                a.note(QStringLiteral("Store %1 in ATTACH.OLE_Data of Attach_Number %2")
                           .arg(path)
                           .arg(number));
                return number;
            });
    }
}

/** The text with which the task rules refuse a row, as it reads in the error. */
QString refusal(const QString& table)
{
    return QStringLiteral("The record can't be added or changed. Referential integrity rules "
                          "require a related record in table '") +
           table + QStringLiteral("'.");
}

/** Text as an SQL literal; only for texts of the program's own. */
QString literal(QString text)
{
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

/** One column of a task that must name a row of a lookup table. */
struct TaskReference
{
    QString column;
    QString table;
    QString key;
};

const QList<TaskReference> kTaskReferences = {
    {QStringLiteral("SCR_Priority"), QStringLiteral("LU_PRIORITY"), QStringLiteral("Priority")},
    {QStringLiteral("SCR_Category"), QStringLiteral("LU_CATEGORY"), QStringLiteral("Category")},
    {QStringLiteral("SCR_Request_ID"), QStringLiteral("LU_USER"), QStringLiteral("USER_ID")},
};

// A reference is checked only when it names something: Null and blank text pass, so that a task
// saved with its title alone can be saved.
QString unknownReference(const TaskReference& r)
{
    return QStringLiteral("trim(NEW.%1) <> '' AND NOT EXISTS (SELECT 1 FROM %2 WHERE %3 = NEW.%1)")
        .arg(r.column, r.table, r.key);
}

void addServerTaskRule(StepActions& a, const QString& name, bool update, const QString& code)
{
    QString body;
    for (const TaskReference& r : kTaskReferences) {
        body += QStringLiteral("IF ") +
                (update ? QStringLiteral("NEW.%1 IS DISTINCT FROM OLD.%1 AND ").arg(r.column)
                        : QString()) +
                unknownReference(r) +
                QStringLiteral(" THEN\n    RAISE EXCEPTION USING ERRCODE = '") + code +
                QStringLiteral("', MESSAGE = ") + literal(refusal(r.table)) +
                QStringLiteral(";\nEND IF;\n");
    }
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS ") + name + QStringLiteral(" ON SCR"));
    a.run(QStringLiteral("CREATE OR REPLACE FUNCTION ") + name +
          QStringLiteral("() RETURNS trigger LANGUAGE plpgsql AS $rule$\nBEGIN\n") + body +
          QStringLiteral("RETURN NEW;\nEND\n$rule$"));
    a.run(QStringLiteral("CREATE TRIGGER ") + name + QStringLiteral(" BEFORE ") +
          (update ? QStringLiteral("UPDATE") : QStringLiteral("INSERT")) +
          QStringLiteral(" ON SCR FOR EACH ROW EXECUTE FUNCTION ") + name + QStringLiteral("()"));
}

void addEmbeddedTaskRule(StepActions& a, const QString& name, bool update, const QString& code)
{
    QString body;
    QStringList columns;
    for (const TaskReference& r : kTaskReferences) {
        columns << r.column;
        // The engine reports the number in brackets before the text as the error's number.
        body += QStringLiteral("SELECT RAISE(ABORT, ") +
                literal(QLatin1Char('[') + code + QStringLiteral("] ") + refusal(r.table)) +
                QStringLiteral(") WHERE ") +
                (update ? QStringLiteral("NEW.%1 IS NOT OLD.%1 AND ").arg(r.column) : QString()) +
                unknownReference(r) + QStringLiteral(";\n");
    }
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS ") + name);
    a.run(QStringLiteral("CREATE TRIGGER ") + name + QStringLiteral(" BEFORE ") +
          (update ? QStringLiteral("UPDATE OF ") + columns.join(QStringLiteral(", "))
                  : QStringLiteral("INSERT")) +
          QStringLiteral(" ON SCR FOR EACH ROW BEGIN\n") + body + QStringLiteral("END"));
}

} // namespace

void addTaskRules(StepActions& a)
{
    const auto add = a.onServer() ? addServerTaskRule : addEmbeddedTaskRule;
    add(a, QStringLiteral("SCR_UTrig"), true, QStringLiteral("44446"));
    add(a, QStringLiteral("SCR_ITrig"), false, QStringLiteral("44447"));
}

QList<StepDefinition> upgradeSteps33To48()
{
    return {
        {33, QStringLiteral("Copy table GROUP to LU_GROUP"), P::IgnoreConversionErrors, step33},
        {34, QStringLiteral("Remove GROUP relationships and drop table GROUP"),
         P::IgnoreConversionErrors, step34},
        {35, QStringLiteral("Alter Table [PAXCAL]"), P::IgnoreConversionErrors, step35},
        {36, QStringLiteral("Alter Table [LIFECYCLE_USER]"), P::IgnoreConversionErrors, step36},
        {37, QStringLiteral("Alter Table [CheckList_Item]"), P::IgnoreConversionErrors, step37},
        {38, QStringLiteral("Adding Business Intelligence tables"), P::Strict, step38},
        {39, QStringLiteral("Convert Brindlepax contacts"), P::IgnoreConversionErrors, step39},
        {40, QStringLiteral("Shared Documents"), P::IgnoreConversionErrors, step40},
        {41, QStringLiteral("Alter Table [MAIL]"), P::IgnoreConversionErrors, step41},
        {42, QStringLiteral("Alter Table [ATTACH]"), P::IgnoreConversionErrors, step42},
        {43, QStringLiteral("Adding Call Logs for Contact"), P::IgnoreConversionErrors, step43},
        {44, QStringLiteral("Updating Call_Logs Relations"), P::Strict, step44},
        {45, QStringLiteral("Updating QV System table"), P::Strict, step45},
        {46, QStringLiteral("Alter Table [Mail]"), P::IgnoreConversionErrors, step46},
        {47, QStringLiteral("Alter Table [Contact]"), P::IgnoreConversionErrors, step47},
        {48, QStringLiteral("Add standart Active Reports"), P::IgnoreConversionErrors, step48},
    };
}

} // namespace bx
