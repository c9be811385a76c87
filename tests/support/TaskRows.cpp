#include "support/TaskRows.h"

#include "core/db/Database.h"

namespace bx::test {

qlonglong addTaskRow(Database& db, const QVariantMap& base, const QVariantMap& columns)
{
    QVariantMap row{{QStringLiteral("SCR_Title"), QStringLiteral("Task")},
                    {QStringLiteral("SCR_Status"), QStringLiteral("A")},
                    {QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("ann")},
                    {QStringLiteral("SCR_Group_ID"), 7}};
    for (const QVariantMap* over : {&base, &columns}) {
        for (auto it = over->begin(); it != over->end(); ++it)
            row[it.key()] = it.value();
    }
    const qlonglong counter = db.insertNumbered(
        QStringLiteral("SCR"), QStringLiteral("SCR_Counter"), row.keys(), row.values());
    if (row.contains(QStringLiteral("SCR_Number")))
        return row.value(QStringLiteral("SCR_Number")).toLongLong();
    db.execute(QStringLiteral("UPDATE SCR SET SCR_Number = SCR_Counter WHERE SCR_Counter = ?"),
               {counter});
    return counter;
}

void addUsers(Database& db, const QStringList& ids)
{
    for (const QString& id : ids) {
        db.execute(
            QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, Disabled) VALUES (?, ?, ?)"),
            {id, id, false});
    }
}

void setUserColumn(Database& db, const QString& user, const QString& column, const QVariant& value)
{
    db.execute(QStringLiteral("UPDATE LU_USER SET %1 = ? WHERE USER_ID = ?").arg(column),
               {value, user});
}

void addWorkshop(Database& db, qlonglong id, const QString& name, const QVariant& rootFolder)
{
    db.execute(
        QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME, Root_Folder) VALUES (?, ?, ?)"),
        {id, name.isEmpty() ? QStringLiteral("Shop %1").arg(id) : name, rootFolder});
}

void addCategories(Database& db, const QStringList& names)
{
    for (const QString& name : names)
        db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES (?)"), {name});
}

void addSubfolder(Database& db, const QString& name, const QVariant& parent)
{
    db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category, Parent_Category) VALUES (?, ?)"),
               {name, parent});
}

void grantFolder(Database& db, const QString& user, const QString& folder)
{
    db.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, ACCESS_TYPE) "
                              "VALUES (?, ?, 'VIEW')"),
               {user, folder});
}

} // namespace bx::test
