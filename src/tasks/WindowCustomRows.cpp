#include "tasks/WindowCustomRows.h"

#include "core/UserRights.h"
#include "core/db/Database.h"

#include <QHash>

#include <algorithm>

namespace bx {

namespace {

QString keyOf(const QString& controlName)
{
    return controlName.trimmed().toCaseFolded();
}

/** A row that leaves its control as the window built it. */
bool changesNothing(const WindowCustomRow& row)
{
    return row.visible && !row.caption;
}

} // namespace

QList<WindowCustomRow> windowCustomRows(Database& db, const QString& formName)
{
    const RecordSet rows = db.query(
        QStringLiteral(
            "SELECT CONTROL_NAME, CONTROL_VALUE, CONTROL_VISIBLE FROM CUSTOM WHERE FORM_NAME = ?"),
        {formName});
    QList<WindowCustomRow> result;
    result.reserve(rows.rowCount());
    for (int row = 0; row < rows.rowCount(); ++row) {
        WindowCustomRow r;
        r.controlName = rows.value(row, QStringLiteral("CONTROL_NAME")).toString();
        const QVariant caption = rows.value(row, QStringLiteral("CONTROL_VALUE"));
        if (!caption.isNull())
            r.caption = caption.toString();
        const QVariant visible = rows.value(row, QStringLiteral("CONTROL_VISIBLE"));
        r.visible = visible.isNull() || visible.toLongLong() != 0;
        result.append(r);
    }
    return result;
}

QStringList windowCustomCaptions(Database& db)
{
    const RecordSet rows = db.query(QStringLiteral(
        "SELECT DISTINCT FORM_NAME FROM CUSTOM WHERE FORM_NAME IS NOT NULL AND FORM_NAME <> ''"));
    QStringList captions;
    for (int row = 0; row < rows.rowCount(); ++row)
        captions.append(rows.value(row, QStringLiteral("FORM_NAME")).toString());
    std::sort(captions.begin(), captions.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return captions;
}

std::optional<RefusalOf<int>> saveWindowCustomRows(Database& db, const UserRecord& me,
                                                   const QString& formName,
                                                   const QList<WindowCustomRow>& rows)
{
    if (auto refused = UserRights::refuseUnlessAdministrator(me, -1))
        return refused;
    if (formName.trimmed().isEmpty())
        return RefusalOf<int>{QStringLiteral("Please choose a window."), -1};
    QHash<QString, WindowCustomRow> wanted;
    for (int i = 0; i < rows.size(); ++i) {
        WindowCustomRow row = rows.at(i);
        row.controlName = row.controlName.trimmed();
        if (row.controlName.isEmpty())
            return RefusalOf<int>{QStringLiteral("Each row needs the name of a control."), i};
        const QString key = keyOf(row.controlName);
        if (wanted.contains(key))
            return RefusalOf<int>{
                QStringLiteral("The control \"%1\" has more than one row.").arg(row.controlName),
                i};
        wanted.insert(key, row);
    }

    Transaction tx(db);
    // The stored rows by control; a control stored twice (by hand) is written afresh.
    QHash<QString, QList<WindowCustomRow>> stored;
    for (const WindowCustomRow& row : windowCustomRows(db, formName))
        stored[keyOf(row.controlName)].append(row);
    const auto remove = [&](const QList<WindowCustomRow>& old) {
        for (const WindowCustomRow& row : old)
            db.execute(
                QStringLiteral("DELETE FROM CUSTOM WHERE FORM_NAME = ? AND CONTROL_NAME = ?"),
                {formName, row.controlName});
    };
    const auto caption = [](const WindowCustomRow& row) {
        return row.caption ? QVariant(*row.caption) : QVariant();
    };
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (!wanted.contains(it.key()) || changesNothing(wanted.value(it.key())))
            remove(it.value());
    }
    for (const WindowCustomRow& row : std::as_const(wanted)) {
        if (changesNothing(row))
            continue;
        const QList<WindowCustomRow> old = stored.value(keyOf(row.controlName));
        if (old.size() == 1) {
            if (old.first() != row)
                db.execute(QStringLiteral("UPDATE CUSTOM SET CONTROL_NAME = ?, CONTROL_VALUE = ?, "
                                          "CONTROL_VISIBLE = ? WHERE FORM_NAME = ? AND "
                                          "CONTROL_NAME = ?"),
                           {row.controlName, caption(row), db.dialect().flag(row.visible), formName,
                            old.first().controlName});
            continue;
        }
        remove(old);
        db.execute(QStringLiteral("INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, CONTROL_VALUE, "
                                  "CONTROL_VISIBLE) VALUES (?, ?, ?, ?)"),
                   {formName, row.controlName, caption(row), db.dialect().flag(row.visible)});
    }
    tx.commit();
    return std::nullopt;
}

} // namespace bx
