#include "support/TaskRows.h"

#include "core/db/Database.h"

using namespace Qt::StringLiterals;

namespace bx::test {

qlonglong addTaskRow(Database& db, const QVariantMap& base, const QVariantMap& columns)
{
    QVariantMap row{{u"SCR_Title"_s, u"Task"_s},
                    {u"SCR_Status"_s, u"A"_s},
                    {u"SCR_Owner_User_ID"_s, u"ann"_s},
                    {u"SCR_Group_ID"_s, 7}};
    for (const QVariantMap* over : {&base, &columns}) {
        for (auto it = over->begin(); it != over->end(); ++it)
            row[it.key()] = it.value();
    }
    const qlonglong counter =
        db.insertNumbered(u"SCR"_s, u"SCR_Counter"_s, row.keys(), row.values());
    if (row.contains(u"SCR_Number"_s))
        return row.value(u"SCR_Number"_s).toLongLong();
    db.execute(u"UPDATE SCR SET SCR_Number = SCR_Counter WHERE SCR_Counter = ?"_s, {counter});
    return counter;
}

void addUsers(Database& db, const QStringList& ids)
{
    for (const QString& id : ids) {
        db.execute(u"INSERT INTO LU_USER (USER_ID, User_Name, Disabled) VALUES (?, ?, ?)"_s,
                   {id, id, false});
    }
}

void setUserColumn(Database& db, const QString& user, const QString& column, const QVariant& value)
{
    db.execute(u"UPDATE LU_USER SET %1 = ? WHERE USER_ID = ?"_s.arg(column), {value, user});
}

void addWorkshop(Database& db, qlonglong id, const QString& name, const QVariant& rootFolder)
{
    db.execute(u"INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME, Root_Folder) VALUES (?, ?, ?)"_s,
               {id, name.isEmpty() ? u"Shop %1"_s.arg(id) : name, rootFolder});
}

void addCategories(Database& db, const QStringList& names)
{
    for (const QString& name : names)
        db.execute(u"INSERT INTO LU_CATEGORY (Category) VALUES (?)"_s, {name});
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

QStringList rowTexts(const RecordSet& row, const QStringList& columns)
{
    QStringList texts;
    for (const QString& column : columns)
        texts << row.text(column);
    return texts;
}

} // namespace bx::test
