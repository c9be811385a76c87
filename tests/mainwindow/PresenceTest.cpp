#include "mainwindow/Presence.h"

#include "core/db/Database.h"
#include "mainwindow/Poller.h"
#include "support/SessionTest.h"

#include <QSignalSpy>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kAnn = u"ann"_s;
const QString kObrien = u"O'Brien"_s;
const QDateTime kStart(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);

/** One client: its own clock, its own connection, its own poller. */
struct Client
{
    Client(const QString& user, DatabasePollBackend::Connector connector,
           const std::function<void(test::FixedClock&)>& place = {})
        : poller(clock, std::make_unique<DatabasePollBackend>(std::move(connector)))
    {
        if (place)
            place(clock);
        poller.setUserId(user);
        QObject::connect(&poller, &Poller::presenceChanged,
                         [this](const QHash<QString, bool>& online) { seen = online; });
        poller.start(0);
    }

    /** Lets `seconds` pass and ticks once, waiting for the tick's work. */
    void tickAfter(qint64 seconds)
    {
        clock.advanceSeconds(seconds);
        QSignalSpy done(&poller, &Poller::tickFinished);
        poller.tick();
        ASSERT_TRUE(!poller.busy() || done.wait(10000));
    }

    bool sees(const QString& user) const { return seen.value(presenceKey(user)); }

    test::FixedClock clock{kStart};
    Poller poller;
    QHash<QString, bool> seen;
};

class PresenceTest : public test::CurrentSchemaTest
{
protected:
    DatabasePollBackend::Connector connector()
    {
        return [this] { return connectAgain(); };
    }

    int loginRows(const QString& user)
    {
        return db().scalar(u"SELECT COUNT(*) FROM LOGIN WHERE User_ID = ?"_s, {user}).toInt();
    }
};

TEST_P(PresenceTest, TwoClientsSeeEachOtherWithinOneHeartbeatAndLoseEachOtherAfterTwoMinutes)
{
    Client ann(kAnn, connector());
    Client obrien(kObrien, connector());

    ann.tickAfter(30);
    EXPECT_TRUE(ann.sees(kAnn));
    EXPECT_FALSE(ann.sees(kObrien));
    obrien.tickAfter(30);
    EXPECT_TRUE(obrien.sees(kAnn));
    EXPECT_TRUE(obrien.sees(u" o'brien "_s));
    ann.tickAfter(30);
    EXPECT_TRUE(ann.sees(kObrien));
    EXPECT_EQ(loginRows(kAnn), 1);
    EXPECT_EQ(loginRows(kObrien), 1);

    // O'Brien's client stops without unloading (his last heartbeat was 30 s ago): shown online
    // until his heartbeat is two minutes old, then offline.
    for (int i = 0; i < 2; ++i) {
        ann.tickAfter(30);
        EXPECT_TRUE(ann.sees(kObrien)) << i;
    }
    ann.tickAfter(29); // no heartbeat due: nothing read
    EXPECT_TRUE(ann.sees(kObrien));
    ann.tickAfter(1); // his heartbeat is 120 s old
    EXPECT_FALSE(ann.sees(kObrien));
    EXPECT_TRUE(ann.sees(kAnn));
}

TEST_P(PresenceTest, ClientsInZonesThatDifferInDaylightSavingSeeEachOther)
{
    // In December Sydney keeps summer time and London does not; in July it is the other way.
    const char* const zones[] = {"Europe/London", "Australia/Sydney", "Asia/Tokyo"};
    for (const QDate& day : {QDate(2026, 12, 6), QDate(2026, 7, 6)}) {
        db().execute(u"DELETE FROM LOGIN"_s);
        const QDateTime utc(day, QTime(9, 0), Qt::UTC);
        std::vector<std::unique_ptr<Client>> clients;
        for (const char* zoneId : zones) {
            const QTimeZone zone(zoneId);
            ASSERT_TRUE(zone.isValid()) << zoneId;
            clients.push_back(std::make_unique<Client>(
                QString::fromLatin1(zoneId), connector(), [&](test::FixedClock& clock) {
                    clock.set(utc.toTimeZone(zone));
                    clock.setStandardOffsetSeconds(zone.standardTimeOffset(utc));
                    clock.setCurrentOffsetSeconds(zone.offsetFromUtc(utc));
                }));
        }
        for (int round = 0; round < 2; ++round)
            for (auto& client : clients)
                client->tickAfter(30);
        for (size_t i = 0; i < clients.size(); ++i)
            for (const char* other : zones)
                EXPECT_TRUE(clients[i]->sees(QString::fromLatin1(other)))
                    << day.toString(Qt::ISODate).toStdString() << ": " << zones[i] << " sees "
                    << other;
    }
}

TEST_P(PresenceTest, AHeartbeatThatStopsChangingIsOfflineEvenWhenItLooksFresh)
{
    // A client whose clock runs ahead wrote a heartbeat "in the future" and then died.
    Presence::writeHeartbeat(db(), kObrien, kStart.addSecs(100));
    Presence reader;
    EXPECT_TRUE(reader.read(db(), kStart).value(presenceKey(kObrien)));
    EXPECT_TRUE(reader.read(db(), kStart.addSecs(119)).value(presenceKey(kObrien)));
    EXPECT_FALSE(reader.read(db(), kStart.addSecs(120)).value(presenceKey(kObrien)));
    // It writes again: online at once.
    Presence::writeHeartbeat(db(), kObrien, kStart.addSecs(150));
    EXPECT_TRUE(reader.read(db(), kStart.addSecs(150)).value(presenceKey(kObrien)));
}

} // namespace

BX_INSTANTIATE_ENGINES(PresenceTest);
