#include "support/ChecklistRows.h"

#include "core/db/Database.h"

namespace bx::test {

void addChecklist(Database& db, const QString& name, qlonglong workshop,
                  const QList<TestItem>& items)
{
    db.execute(QStringLiteral("INSERT INTO CHECKLIST (Checklist_Name, Checklist_Description, "
                              "group_id) VALUES (?, ?, ?)"),
               {name, QStringLiteral("About ") + name, workshop});
    for (const TestItem& item : items)
        db.execute(QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                                  "Mandatory, Sign_User_ID, ItemNote, Attach_Number, ItemType) "
                                  "VALUES (?, ?, ?, ?, ?, 0, 0)"),
                   {name, item.text, db.dialect().flag(item.mandatory),
                    item.signer.isEmpty() ? QVariant() : QVariant(item.signer),
                    item.note.isEmpty() ? QVariant() : QVariant(item.note)});
}

qlonglong attachChecklist(Database& db, qlonglong task, const QString& name, bool showInTabBar)
{
    return db.insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                             {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                              QStringLiteral("Attach_Filename"), QStringLiteral("Attach_Title"),
                              QStringLiteral("Attach_Owner"), QStringLiteral("Show_In_TabBar")},
                             {task, QStringLiteral("K"), name, QStringLiteral("Checklist: ") + name,
                              QStringLiteral("ann"), db.dialect().flag(showInTabBar)});
}

int filledRows(Database& db, qlonglong attachNumber)
{
    return db
        .scalar(QStringLiteral("SELECT COUNT(*) FROM CHECKLIST_ITEM WHERE Attach_Number = ?"),
                {attachNumber})
        .toInt();
}

} // namespace bx::test
