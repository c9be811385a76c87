#pragma once

#include "core/db/Database.h"
#include "core/db/RecordSet.h"

#include <QVariantMap>

namespace bx::test {

/** A task folder (Folder_Type 0 unless given) of `owner`; returns its Folder_Counter. */
inline qlonglong addFolder(Database& db, const QString& owner, const QString& name,
                           qlonglong parent = 0, qlonglong group = 7, int type = 0)
{
    return db.insertNumbered(QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter"),
                             {QStringLiteral("Folder_Owner_ID"), QStringLiteral("Folder_Name"),
                              QStringLiteral("Parent_Folder_Counter"),
                              QStringLiteral("Folder_Type"), QStringLiteral("Group_ID")},
                             {owner, name, parent, type, group});
}

/** An ATTACH row of task `task` with the given columns; returns its Attach_Number. */
inline qlonglong addAttachment(Database& db, qlonglong task, QVariantMap columns)
{
    columns.insert(QStringLiteral("SCR_Number"), task);
    return db.insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                             columns.keys(), columns.values());
}

/** One column of every row `sql` gives, as text, in the statement's order. */
inline QStringList columnTexts(Database& db, const QString& sql, const QVariantList& params,
                               const QString& column)
{
    const RecordSet rows = db.query(sql, params);
    QStringList out;
    for (int r = 0; r < rows.rowCount(); ++r)
        out << rows.value(r, column).toString();
    return out;
}

} // namespace bx::test
