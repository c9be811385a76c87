#include "mainwindow/Presence.h"

#include "core/db/Database.h"

namespace bx {

QString presenceKey(const QString& userId)
{
    return userId.trimmed().toUpper();
}

void Presence::writeHeartbeat(Database& db, const QString& userId, const QDateTime& nowUtc)
{
    Transaction tx(db);
    const qlonglong changed = db.execute(
        QStringLiteral("UPDATE LOGIN SET LastUpdate = ? WHERE User_ID = ?"), {nowUtc, userId});
    if (changed == 0)
        db.insertNumbered(QStringLiteral("LOGIN"), QStringLiteral("ID"),
                          {QStringLiteral("User_ID"), QStringLiteral("LastUpdate")},
                          {userId, nowUtc});
    tx.commit();
}

QHash<QString, bool> Presence::read(Database& db, const QDateTime& nowUtc)
{
    const RecordSet rows = db.query(QStringLiteral("SELECT User_ID, LastUpdate FROM LOGIN"));
    QHash<QString, bool> online;
    QHash<QString, Seen> seen;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const QString key = presenceKey(rows.value(i, QStringLiteral("User_ID")).toString());
        const QDateTime last = RecordSet::toDateTime(rows.value(i, QStringLiteral("LastUpdate")));
        const auto previous = m_seen.constFind(key);
        const bool moved = previous == m_seen.constEnd() || previous->value != last;
        const Seen now{last, moved ? nowUtc : previous->changedAt};
        const bool fresh = last.isValid() && qAbs(last.secsTo(nowUtc)) < kOnlineWindowSeconds &&
                           qAbs(now.changedAt.secsTo(nowUtc)) < kOnlineWindowSeconds;
        // Two clients of one user may have left two rows; one sign of life is enough.
        online[key] = online.value(key) || fresh;
        if (!seen.contains(key) || moved)
            seen[key] = now;
    }
    m_seen = seen;
    return online;
}

} // namespace bx
