#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

namespace bx {

class Database;

/** How often a client writes its heartbeat and reads everybody else's, in seconds. */
inline constexpr int kHeartbeatSeconds = 30;
/** A heartbeat older than this many seconds no longer counts as a sign of life. */
inline constexpr int kOnlineWindowSeconds = 120;

/** The key under which presence is kept for a user id: trimmed and upper-cased. */
QString presenceKey(const QString& userId);

/**
 * Presence of signed-in users through the shared LOGIN table: one row per user, whose LastUpdate
 * its client moves forward at every heartbeat. LastUpdate holds true UTC (daylight saving taken
 * off, unlike the stored dates people read back), so that clients in zones that differ in
 * daylight saving judge each other's heartbeats alike.
 *
 * A user is online when his LastUpdate is less than kOnlineWindowSeconds from now (either way)
 * and was seen to change within that window. Comparing with the previous read alone would flicker:
 * two clients both on a 30-second rhythm drift, so now and then two reads fall between two
 * writes of a live client. A client that stopped (crashed) goes offline when its last heartbeat
 * is kOnlineWindowSeconds old; a clock far ahead cannot keep a dead client online, since its
 * value stops changing. What was seen is kept between reads; an object therefore belongs to one
 * client and one thread.
 */
class Presence
{
public:
    /**
     * Writes the heartbeat of `userId`: his LOGIN row gets LastUpdate = `nowUtc`, the row being
     * added (with a new ID) when there is none. @throws DbError
     */
    static void writeHeartbeat(Database& db, const QString& userId, const QDateTime& nowUtc);

    /**
     * Reads every LOGIN row and decides who is online. @return online flags by presenceKey();
     * users without a row are not listed (they are offline). @throws DbError
     */
    QHash<QString, bool> read(Database& db, const QDateTime& nowUtc);

private:
    struct Seen
    {
        QDateTime value;     ///< LastUpdate at the previous read
        QDateTime changedAt; ///< when a read last found it changed (reader's now, UTC)
    };
    QHash<QString, Seen> m_seen;
};

} // namespace bx
