#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using P = ErrorPolicy;
using T = ColumnType;

void step49(StepActions& a)
{
    a.run(a.ddl(QStringLiteral("CREATE TABLE LOGIN (ID {identity}, User_ID {text}, "
                               "LastUpdate {date})")));
}

void step50(StepActions& a)
{
    for (const char* column : {"Received", "Approved", "Declined"})
        a.addColumn(QStringLiteral("LIFECYCLE_USER"), QString::fromLatin1(column), T::Flag);
}

void step51(StepActions& a)
{
    a.addColumn(QStringLiteral("FOLDER"), QStringLiteral("Folder_Type"), T::Integer);
    a.addColumn(QStringLiteral("FOLDER"), QStringLiteral("Parent_Folder_Counter"), T::Integer);
    a.run(QStringLiteral("UPDATE FOLDER SET Folder_Type = 0, Parent_Folder_Counter = 0"));
}

void step52(StepActions& a)
{
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("Mail_Folder_Number"), T::Integer);
    a.run(QStringLiteral("UPDATE MAIL SET Mail_Folder_Number = 0"));
}

void step53(StepActions& a)
{
    a.addColumn(QStringLiteral("SCR"), QStringLiteral("Meeting_ID"), T::Integer);
    a.run(QStringLiteral("UPDATE SCR SET Meeting_ID = 0"));
}

void step54(StepActions& a)
{
    a.addColumn(QStringLiteral("SYSTEM"), QStringLiteral("SMTPAuth"), T::Flag);
    a.addColumn(QStringLiteral("SYSTEM"), QStringLiteral("SMTPLeave"), T::Flag);
    a.addColumn(QStringLiteral("SYSTEM"), QStringLiteral("POPServer"), T::Text);
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("POPID"), T::Text);
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("Sent"), T::Flag);
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("SentDate"), T::DateTime);
}

void step55(StepActions& a)
{
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("SourceID"), T::Integer);
    a.addColumn(QStringLiteral("ATTACH"), QStringLiteral("Parent_ID"), T::Integer);
}

void step56(StepActions& a)
{
    a.addColumn(QStringLiteral("LU_ACTIVEX"), QStringLiteral("ShowToolBox"), T::Flag);
}

void step57(StepActions& a)
{
    a.addColumn(QStringLiteral("LU_ACTIVEX"), QStringLiteral("Separate"), T::Flag);
    a.addColumn(QStringLiteral("LU_ACTIVEX"), QStringLiteral("Icon"), T::Binary);
}

void step58(StepActions& a)
{
    a.addColumn(QStringLiteral("LU_USER"), QStringLiteral("Access_Level"), T::Text);
}

void step59(StepActions& a)
{
    a.addColumn(QStringLiteral("LIFECYCLE_ACTION"), QStringLiteral("Icon"), T::Binary);
}

void step60(StepActions& a)
{
    a.run(a.ddl(QStringLiteral("CREATE TABLE LU_ACCESS_LEVEL (USER_ID {text} NOT NULL, "
                               "ACCESS_LEVEL {text} NOT NULL, ACCESS_TYPE {text} NOT NULL)")));
    a.addColumn(QStringLiteral("SCR"), QStringLiteral("SCR_Group_ID"), T::Integer);
    a.addColumn(QStringLiteral("LU_USER"), QStringLiteral("Rate"), T::Money);
    a.addColumn(QStringLiteral("LU_USER"), QStringLiteral("Join_Team"), T::Flag);
}

void step61(StepActions& a)
{
    a.addPrimaryKey(
        QStringLiteral("LU_ACCESS_LEVEL"), QStringLiteral("PK_LU_ACCESS_LEVEL"),
        {QStringLiteral("USER_ID"), QStringLiteral("ACCESS_LEVEL"), QStringLiteral("ACCESS_TYPE")});
    a.addRelation({QStringLiteral("FK_LU_ACCESS_LEVEL_LU_USER"), QStringLiteral("LU_ACCESS_LEVEL"),
                   QStringLiteral("USER_ID"), QStringLiteral("LU_USER"),
                   QStringLiteral("USER_ID")});
    a.addRelation({QStringLiteral("FK_LU_ACCESS_LEVEL_LU_CATEGORY"),
                   QStringLiteral("LU_ACCESS_LEVEL"), QStringLiteral("ACCESS_LEVEL"),
                   QStringLiteral("LU_CATEGORY"), QStringLiteral("Category")});
}

void step62(StepActions& a)
{
    a.addColumn(QStringLiteral("SYSTEM"), QStringLiteral("VoIPServerIP"), T::Text);
}

struct ColumnOf
{
    const char* table;
    const char* column;
};

void step63(StepActions& a)
{
    const ColumnOf columns[] = {
        {"LIFECYCLE", "owner_group_id"},
        {"LIFECYCLE_USER", "owner_group_id"},
        {"LIFECYCLE_ACTION", "owner_group_id"},
        {"LIFECYCLE_USER", "group_ID"},
        {"SCR", "SCR_LC_Owner_Group_ID"},
        {"SCR", "SCR_Request_Group_ID"},
        {"FOLDER", "Group_ID"},
    };
    for (const ColumnOf& c : columns)
        a.addColumn(QString::fromLatin1(c.table), QString::fromLatin1(c.column), T::Integer);
}

void step64(StepActions& a)
{
    const std::pair<const char*, ColumnOf> relations[] = {
        {"FK_LIFECYCLE_OWNER_GROUP_LINK", {"LIFECYCLE", "owner_group_id"}},
        {"FK_LIFECYCLE_USER_OWNER_GROUP_LINK", {"LIFECYCLE_USER", "owner_group_id"}},
        {"FK_LIFECYCLE_ACTION_OWNER_GROUP_LINK", {"LIFECYCLE_ACTION", "owner_group_id"}},
        {"FK_SCR_REQUESTER_GROUP_LINK", {"SCR", "SCR_Request_Group_ID"}},
        {"FK_FOLDER_GROUP_LINK", {"FOLDER", "Group_ID"}},
    };
    for (const auto& [name, from] : relations)
        a.addRelation({QString::fromLatin1(name), QString::fromLatin1(from.table),
                       QString::fromLatin1(from.column), QStringLiteral("LU_GROUP"),
                       QStringLiteral("GROUP_ID")});
}

} // namespace

QList<StepDefinition> upgradeSteps49To64()
{
    return {
        {49, QStringLiteral("Alter Table [LOGIN]"), P::IgnoreConversionErrors, step49},
        {50, QStringLiteral("Alter Table [LIFECYCLE_USER]"), P::IgnoreConversionErrors, step50},
        {51, QStringLiteral("Alter Table [FOLDER]"), P::IgnoreConversionErrors, step51},
        {52, QStringLiteral("Alter Table [MAIL]"), P::IgnoreConversionErrors, step52},
        {53, QStringLiteral("Alter Table [SCR]"), P::IgnoreConversionErrors, step53},
        {54, QStringLiteral("Alter tables [Mail], [System]"), P::IgnoreConversionErrors, step54},
        {55, QStringLiteral("Alter tables [Mail], [Attach]"), P::IgnoreConversionErrors, step55},
        {56, QStringLiteral("Update Folder table"), P::Strict, step56},
        {57, QStringLiteral("Update LU_ActiveX table"), P::Strict, step57},
        {58, QStringLiteral("Update LU_User table"), P::Strict, step58},
        {59, QStringLiteral("Update LIFECYCLE_ACTION table"), P::Strict, step59},
        {60, QStringLiteral("Adding new table LU_ACCESS_LEVEL"), P::Strict, step60},
        {61, QStringLiteral("Adding relationships to table LU_ACCESS_LEVEL"), P::Strict, step61},
        {62, QStringLiteral("Update [SYSTEM] table"), P::Strict, step62},
        {63, QStringLiteral("Change lifecycles"), P::Strict, step63},
        {64, QStringLiteral("Change lifecycles relations"), P::Strict, step64},
    };
}

} // namespace bx
