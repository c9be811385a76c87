#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using P = ErrorPolicy;
using T = ColumnType;

Relation toWorkshop(const char* name, const char* table, const char* column, bool cascade = true)
{
    return {QString::fromLatin1(name),  QString::fromLatin1(table), QString::fromLatin1(column),
            QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"), cascade};
}

void step66(StepActions& a)
{
    a.addColumn(QStringLiteral("MAIL"), QStringLiteral("group_id"), T::Integer);
    a.addColumn(QStringLiteral("LU_GROUP"), QStringLiteral("Root_Folder"), T::Text);
}

void step67(StepActions& a)
{
    a.addRelation(toWorkshop("FK_MAIL_GROUP_LINK", "MAIL", "group_id"));
    a.addRelation({QStringLiteral("FK_GROUP_CATEGORY_LINK"), QStringLiteral("LU_GROUP"),
                   QStringLiteral("Root_Folder"), QStringLiteral("LU_CATEGORY"),
                   QStringLiteral("Category")});
}

void step68(StepActions& a)
{
    a.addColumn(QStringLiteral("ATTACH"), QStringLiteral("Group_ID"), T::Integer);
}

void step69(StepActions& a)
{
    a.addRelation(toWorkshop("FK_ATTACH_GROUP_LINK", "ATTACH", "Group_ID"));
}

// Everyone and everything that belongs to no workshop yet goes into the new workshop "General".
// LIFECYCLE_USER.group_ID stays as it is: it names the workshop that owns a stage, which only
// stages owned by a workshop have.
void step70(StepActions& a)
{
    const qlonglong general =
        a.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                         {QStringLiteral("GROUP_NAME")}, {QStringLiteral("General")});
    a.run(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) "
                         "SELECT CAST(? AS integer), USER_ID FROM LU_USER"),
          {general});
    const std::pair<const char*, const char*> columns[] = {
        {"ATTACH", "Group_ID"},
        {"FOLDER", "Group_ID"},
        {"LIFECYCLE", "owner_group_id"},
        {"LIFECYCLE_ACTION", "owner_group_id"},
        {"LIFECYCLE_USER", "owner_group_id"},
        {"MAIL", "group_id"},
        {"SCR", "SCR_Group_ID"},
        {"SCR", "SCR_LC_Owner_Group_ID"},
        {"SCR", "SCR_Request_Group_ID"},
    };
    for (const auto& [table, column] : columns)
        a.run(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 IS NULL OR %2 = 0")
                  .arg(QString::fromLatin1(table), QString::fromLatin1(column)),
              {general});
}

void step71(StepActions& a)
{
    a.run(QStringLiteral("CREATE INDEX IX_ATTACH ON ATTACH (Attach_Filename)"));
    a.run(QStringLiteral("CREATE INDEX IX_ATTACH_1 ON ATTACH (Category)"));
}

void step72(StepActions& a)
{
    a.addColumn(QStringLiteral("LU_GROUP"), QStringLiteral("parent_workshop"), T::Integer);
}

// A workshop with sub-workshops cannot be deleted: the relation does not cascade.
void step73(StepActions& a)
{
    a.addRelation(toWorkshop("FK_LU_GROUP_LU_GROUP", "LU_GROUP", "parent_workshop", false));
}

void step74(StepActions& a)
{
    a.addColumn(QStringLiteral("CHECKLIST"), QStringLiteral("group_id"), T::Integer);
}

void step75(StepActions& a)
{
    a.addRelation(toWorkshop("FK_CHECKLIST_LU_GROUP", "CHECKLIST", "group_id", false));
}

} // namespace

QList<StepDefinition> upgradeSteps66To75()
{
    return {
        {66, QStringLiteral("Root folder concepts"), P::Strict, step66},
        {67, QStringLiteral("Change mail relations"), P::Strict, step67},
        {68, QStringLiteral("Root folder concepts"), P::Strict, step68},
        {69, QStringLiteral("Change mail relations"), P::Strict, step69},
        {70, QStringLiteral("Initial updates for Workshops"), P::Strict, step70},
        {71, QStringLiteral("Additonal Indexes"), P::Strict, step71},
        {72, QStringLiteral("Workshops hierarchy"), P::Strict, step72},
        {73, QStringLiteral("Workshops hierarchy continue"), P::Strict, step73},
        {74, QStringLiteral("Checklist/workshops"), P::Strict, step74},
        {75, QStringLiteral("Checklist/workshops relations"), P::Strict, step75},
    };
}

} // namespace bx
