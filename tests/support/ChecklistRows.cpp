#include "support/ChecklistRows.h"

#include "core/db/Database.h"

using namespace Qt::StringLiterals;

namespace bx::test {

void addChecklist(Database& db, const QString& name, qlonglong workshop,
                  const QList<TestItem>& items)
{
    db.execute(u"INSERT INTO CHECKLIST (Checklist_Name, Checklist_Description, "
               "group_id) VALUES (?, ?, ?)"_s,
               {name, u"About "_s + name, workshop});
    for (const TestItem& item : items)
        db.execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                   "Mandatory, Sign_User_ID, ItemNote, Attach_Number, ItemType) "
                   "VALUES (?, ?, ?, ?, ?, 0, 0)"_s,
                   {name, item.text, db.dialect().flag(item.mandatory),
                    item.signer.isEmpty() ? QVariant() : QVariant(item.signer),
                    item.note.isEmpty() ? QVariant() : QVariant(item.note)});
}

qlonglong attachChecklist(Database& db, qlonglong task, const QString& name, bool showInTabBar)
{
    return db.insertNumbered(
        u"ATTACH"_s, u"Attach_Number"_s,
        {u"SCR_Number"_s, u"Attach_Type"_s, u"Attach_Filename"_s, u"Attach_Title"_s,
         u"Attach_Owner"_s, u"Show_In_TabBar"_s},
        {task, u"K"_s, name, u"Checklist: "_s + name, u"ann"_s, db.dialect().flag(showInTabBar)});
}

int filledRows(Database& db, qlonglong attachNumber)
{
    return db
        .scalar(u"SELECT COUNT(*) FROM CHECKLIST_ITEM WHERE Attach_Number = ?"_s, {attachNumber})
        .toInt();
}

} // namespace bx::test
