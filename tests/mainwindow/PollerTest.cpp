#include "mainwindow/Poller.h"

#include "support/FixedClock.h"

#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>

#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <utility>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QDateTime kT0(QDate(2024, 5, 6), QTime(9, 0), Qt::UTC);
constexpr qint64 kNever = std::numeric_limits<qint64>::min();

QDateTime ago(qint64 seconds)
{
    return seconds == kNever ? QDateTime() : kT0.addSecs(-seconds);
}

/** The checks due, as letters: S clear status, T tasks, M messages, H heartbeat. */
std::string dueText(const PollDue& due)
{
    return std::string(due.clearStatus ? "S" : "") + (due.checkTasks ? "T" : "") +
           (due.checkMessages ? "M" : "") + (due.heartbeat ? "H" : "");
}

TEST(PollDueTest, DecisionsFollowTheElapsedTimes)
{
    const qint64 none = kNever;
    const struct
    {
        const char* name;
        PollIntervals intervals;
        qint64 tasksAgo, messagesAgo, heartbeatAgo, statusAgo; ///< seconds; kNever: never
        bool open;
        const char* due;
    } cases[] = {
        {"nothing yet", {5, 20}, 0, 0, 0, none, true, ""},
        {"status 1 s old stays", {5, 20}, 0, 0, 0, 1, true, ""},
        {"status 2 s old goes", {5, 20}, 0, 0, 0, 2, true, "S"},
        {"tasks one second early", {5, 20}, 299, 0, 0, none, true, ""},
        {"tasks on time", {5, 20}, 300, 0, 0, none, true, "T"},
        {"messages one second early", {5, 20}, 0, 19, 0, none, true, ""},
        {"messages on time", {5, 20}, 0, 20, 0, none, true, "M"},
        {"heartbeat early", {5, 20}, 0, 0, 29, none, true, ""},
        {"heartbeat on time", {5, 20}, 0, 0, 30, none, true, "H"},
        {"both off, heartbeat still", {0, 0}, 9999, 9999, 30, none, true, "H"},
        {"clock set back an hour", {5, 20}, -3600, -3600, -3600, -3600, true, "STMH"},
        {"clock set back a little", {5, 20}, -10, -10, -10, none, true, ""},
        {"closed database: only the status", {5, 20}, 9999, 9999, 9999, 5, false, "S"},
    };
    for (const auto& c : cases) {
        const PollCounters counters{ago(c.tasksAgo), ago(c.messagesAgo), ago(c.heartbeatAgo),
                                    ago(c.statusAgo)};
        EXPECT_EQ(dueText(pollDue(counters, c.intervals, kT0, c.open)), c.due) << c.name;
    }
}

TEST(PollDueTest, FingerprintSeesEveryValueAndNull)
{
    const QStringList cols{u"a"_s, u"b"_s};
    const RecordSet base(cols, {{1, u"O'Brien"_s}});
    EXPECT_EQ(rowsFingerprint(base), rowsFingerprint(RecordSet(cols, {{1, u"O'Brien"_s}})));
    EXPECT_NE(rowsFingerprint(base), rowsFingerprint(RecordSet(cols, {{1, u"O'Brian"_s}})));
    EXPECT_NE(rowsFingerprint(RecordSet(cols, {{1, QVariant()}})),
              rowsFingerprint(RecordSet(cols, {{1, QString()}})));
    // Values do not run into each other across columns or rows.
    EXPECT_NE(rowsFingerprint(RecordSet(cols, {{u"ab"_s, u"c"_s}})),
              rowsFingerprint(RecordSet(cols, {{u"a"_s, u"bc"_s}})));
    EXPECT_NE(rowsFingerprint(RecordSet(cols, {{1, 2}, {3, 4}})),
              rowsFingerprint(RecordSet(cols, {{1, 2}})));
    EXPECT_NE(rowsFingerprint(RecordSet(cols, {{1, 2}, {3, 4}})),
              rowsFingerprint(RecordSet(cols, {{1, 4}, {3, 2}})));
    // Ties of a view's order come in any order: not a change.
    EXPECT_EQ(rowsFingerprint(RecordSet(cols, {{1, 2}, {3, 4}})),
              rowsFingerprint(RecordSet(cols, {{3, 4}, {1, 2}})));
    // A change in a value of any kind the engines give is seen.
    const QDateTime due(QDate(2026, 3, 29), QTime(2, 30));
    const QList<std::pair<QVariant, QVariant>> changed{
        {due, due.addSecs(1)},
        {qlonglong(1) << 40, (qlonglong(1) << 40) + 1},
        {2.5, 2.25},
        {QByteArray("\x00\x01", 2), QByteArray("\x00\x02", 2)},
    };
    for (const auto& [before, after] : changed) {
        EXPECT_NE(rowsFingerprint(RecordSet(cols, {{1, before}})),
                  rowsFingerprint(RecordSet(cols, {{1, after}})))
            << before.toString().toStdString();
    }
}

/** A task notice of workshop `shop`; `keys` is the rest of the payload (", \"k\": [...]"). */
QString scr(qlonglong shop, const QString& keys)
{
    return uR"({"t": "scr", "w": %1%2})"_s.arg(shop).arg(keys);
}

QString scr(qlonglong shop, const char* keys)
{
    return scr(shop, QString::fromUtf8(keys));
}

TEST(MarkNoticesTest, MarksWhatConcernsTheViewOfTheUser)
{
    QString many;
    for (int k = 1; k <= kMaxMarkedTasks + 1; ++k)
        many += (many.isEmpty() ? QString() : u", "_s) + QString::number(k);
    const struct
    {
        const char* name;
        QStringList payloads;
        QList<qlonglong> tasks;
        bool whole, mailbox;
    } cases[] = {
        {"tasks of the workshop",
         {scr(7, R"(, "k": [3, 1])"), scr(7, R"(, "k": [3])")},
         {1, 3},
         false,
         false},
        {"another workshop", {scr(8, R"(, "k": [3])")}, {}, false, false},
        {"routes name their tasks", {uR"({"t": "route", "w": 7, "k": [5]})"_s}, {5}, false, false},
        {"a deleted task's routes know no workshop",
         {uR"({"t": "route", "k": [5]})"_s},
         {5},
         false,
         false},
        {"the whole workshop", {scr(7, ""), scr(7, R"(, "k": [3])")}, {}, true, false},
        {"the whole table", {uR"({"t": "scr"})"_s}, {}, true, false},
        {"too many tasks", {scr(7, uR"(, "k": [%1])"_s.arg(many))}, {}, true, false},
        {"the user's mail", {uR"({"t": "mail", "u": " ANN ", "k": [1]})"_s}, {}, false, true},
        {"another user's mail", {uR"({"t": "mail", "u": "bob", "k": [1]})"_s}, {}, false, false},
        {"the outbox is the sender's",
         {uR"({"t": "mail_outbox", "u": "ann"})"_s},
         {},
         false,
         false},
        {"not a change notice", {u"hello"_s, uR"({"k": [1]})"_s}, {}, false, false},
    };
    for (const auto& c : cases) {
        QList<Notice> notices;
        for (const QString& p : c.payloads)
            notices << Notice{u"bx_changes_x"_s, p, false};
        NoticeMarks marks;
        markNotices(marks, notices, 7, u"ann"_s);
        EXPECT_EQ(marks.tasks, QSet<qlonglong>(c.tasks.begin(), c.tasks.end())) << c.name;
        EXPECT_EQ(marks.wholeView, c.whole) << c.name;
        EXPECT_EQ(marks.mailbox, c.mailbox) << c.name;
    }
}

// After a few tasks were read again, the digest is that of the whole view read anew.
TEST(ViewDigestTest, FollowingAKeyedReadGivesTheDigestOfTheWholeNewView)
{
    const QStringList cols{QString(scr::Number), QString(scr::Title)};
    const QList<QVariantList> before{{1, u"a"_s}, {2, u"b"_s}, {3, u"c"_s}};
    const struct
    {
        const char* name;
        QList<qlonglong> numbers;
        QList<QVariantList> read;  ///< what the keyed read gave
        QList<QVariantList> after; ///< the whole view now
    } cases[] = {
        {"changed", {2}, {{2, u"O'Brien"_s}}, {{1, u"a"_s}, {2, u"O'Brien"_s}, {3, u"c"_s}}},
        {"left", {2}, {}, {{1, u"a"_s}, {3, u"c"_s}}},
        {"entered", {4}, {{4, u"d"_s}}, {{1, u"a"_s}, {2, u"b"_s}, {3, u"c"_s}, {4, u"d"_s}}},
        {"unchanged and gone", {1, 9}, {{1, u"a"_s}}, before},
    };
    for (const auto& c : cases) {
        ViewDigest digest;
        digest.reset(RecordSet(cols, before));
        ASSERT_TRUE(digest.update(c.numbers, RecordSet(cols, c.read))) << c.name;
        EXPECT_EQ(digest.fingerprint(), rowsFingerprint(RecordSet(cols, c.after))) << c.name;
    }

    // Rows it cannot follow by number void the digest rather than make it wrong.
    ViewDigest unnumbered;
    unnumbered.reset(RecordSet({u"a"_s}, {{1}}));
    EXPECT_FALSE(unnumbered.update({1}, RecordSet({u"a"_s}, {{2}})));
    EXPECT_TRUE(unnumbered.fingerprint().isEmpty());
    ViewDigest stray;
    stray.reset(RecordSet(cols, before));
    EXPECT_FALSE(stray.update({1}, RecordSet(cols, {{2, u"b"_s}})));
    EXPECT_TRUE(stray.fingerprint().isEmpty());
}

/** Answers from the test; can hold a job until the test lets it go. */
class FakeBackend final : public PollBackend
{
public:
    PollResult run(const PollJob& job) override
    {
        if (holding)
            gate.acquire();
        QMutexLocker lock(&mutex);
        jobs << job;
        PollResult r;
        r.failed = fail;
        if (!job.taskProbe.sql.isEmpty())
            r.taskFingerprint = fingerprint;
        if (job.messageProbe)
            r.messageState = mailState;
        if (job.heartbeat)
            r.presence = QHash<QString, bool>{{u"ANN"_s, true}};
        if (job.takeNotices) {
            r.notices = std::exchange(notices, {});
            r.noticesLost = std::exchange(noticesLost, false);
            r.listenStarted = std::exchange(listenStarted, false);
        }
        if (!job.keyedRead.sql.isEmpty()) {
            r.keyedRows = RecordSet({QString(scr::Number)}, {});
            r.keyedNumbers = job.keyedNumbers;
        }
        return r;
    }

    QList<PollJob> taken()
    {
        QMutexLocker lock(&mutex);
        return jobs;
    }

    std::atomic<bool> holding = false;
    std::atomic<bool> fail = false;
    QSemaphore gate;
    QMutex mutex;
    QList<PollJob> jobs;
    QByteArray fingerprint = "one";
    QVariantList mailState{0, 10};
    QList<Notice> notices;
    bool noticesLost = false;
    bool listenStarted = false;
};

class PollerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<FakeBackend>();
        backend = owned.get();
        poller = std::make_unique<Poller>(clock, std::move(owned));
        poller->setUserId(u"ann"_s);
        poller->setTaskProbe([] { return Poller::workshopTasks(7); });
    }

    /** Moves the clock on and ticks once, waiting for the work of the tick. */
    void tickAfter(qint64 seconds)
    {
        clock.advanceSeconds(seconds);
        poller->tick();
        if (poller->busy()) {
            QSignalSpy done(poller.get(), &Poller::tickFinished);
            ASSERT_TRUE(done.wait(5000));
        }
    }

    test::FixedClock clock{kT0};
    FakeBackend* backend = nullptr;
    std::unique_ptr<Poller> poller;
};

TEST_F(PollerTest, ChecksFireAtTheirIntervalsAndNotBefore)
{
    poller->setIntervals({1, 10});
    QSignalSpy messages(poller.get(), &Poller::refreshMessages);
    QSignalSpy tasks(poller.get(), &Poller::refreshTasks);
    QSignalSpy presence(poller.get(), &Poller::presenceChanged);
    poller->start(0);

    tickAfter(9);
    EXPECT_EQ(messages.count(), 0);
    tickAfter(1);
    EXPECT_EQ(messages.count(), 1);
    EXPECT_TRUE(backend->taken().isEmpty());

    tickAfter(19); // 29 s
    EXPECT_TRUE(backend->taken().isEmpty());
    tickAfter(1); // 30 s: heartbeat, no task probe yet
    ASSERT_EQ(backend->taken().size(), 1);
    EXPECT_TRUE(backend->taken().at(0).heartbeat);
    EXPECT_TRUE(backend->taken().at(0).taskProbe.sql.isEmpty());
    EXPECT_EQ(backend->taken().at(0).nowUtc, kT0.addSecs(30));
    ASSERT_EQ(presence.count(), 1);
    EXPECT_EQ(messages.count(), 2);

    tickAfter(29); // 59 s
    EXPECT_EQ(backend->taken().size(), 1);
    tickAfter(1); // 60 s: heartbeat and the first probe, which is the base line
    ASSERT_EQ(backend->taken().size(), 2);
    EXPECT_FALSE(backend->taken().at(1).taskProbe.sql.isEmpty());
    EXPECT_EQ(backend->taken().at(1).taskProbe.params, QVariantList{7});
    EXPECT_EQ(tasks.count(), 0);

    tickAfter(60); // same rows: nothing to refresh
    EXPECT_EQ(tasks.count(), 0);
    backend->fingerprint = "two";
    tickAfter(60);
    EXPECT_EQ(tasks.count(), 1);

    // A refresh that fails (the connection is lost) is asked for again at the next check.
    QSignalSpy lost(poller.get(), &Poller::connectionLost);
    bool failOnce = true;
    QObject::connect(poller.get(), &Poller::refreshTasks, poller.get(), [&] {
        if (std::exchange(failOnce, false))
            poller->refreshFailed(u"08006"_s);
    });
    backend->fingerprint = "three";
    tickAfter(60);
    EXPECT_EQ(lost.count(), 1);
    tickAfter(60);
    EXPECT_EQ(tasks.count(), 3);
    EXPECT_EQ(lost.count(), 1);
}

TEST_F(PollerTest, WithoutProbeEveryTaskCheckRefreshes)
{
    poller->setTaskProbe({});
    poller->setIntervals({1, 0});
    QSignalSpy tasks(poller.get(), &Poller::refreshTasks);
    poller->start(0);
    tickAfter(60);
    tickAfter(60);
    EXPECT_EQ(tasks.count(), 2);
}

TEST_F(PollerTest, MessageListIsReadAgainOnlyWhenTheProbeDiffersFromWhatWasSeen)
{
    poller->setTaskProbe({});
    poller->setIntervals({0, 5});
    poller->setMessageProbe([] { return [](Database&) { return QVariantList(); }; });
    poller->messagesSeen({0, 10});
    QSignalSpy messages(poller.get(), &Poller::refreshMessages);
    poller->start(0);
    tickAfter(5);
    ASSERT_EQ(backend->taken().size(), 1);
    EXPECT_TRUE(bool(backend->taken().at(0).messageProbe));
    EXPECT_EQ(messages.count(), 0);
    backend->mailState = {1, 11};
    tickAfter(5);
    EXPECT_EQ(messages.count(), 1);
    tickAfter(5);
    EXPECT_EQ(messages.count(), 1);
}

TEST_F(PollerTest, ClosedDatabaseStopsTheTickAfterTheStatus)
{
    bool open = false;
    poller->setDatabaseOpen([&] { return open; });
    QSignalSpy cleared(poller.get(), &Poller::clearStatus);
    poller->start(0);
    poller->statusShown();
    tickAfter(1);
    EXPECT_EQ(cleared.count(), 0);
    tickAfter(100);
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_TRUE(backend->taken().isEmpty());
    open = true;
    tickAfter(1);
    EXPECT_EQ(backend->taken().size(), 1);
}

TEST_F(PollerTest, ATickWhileThePreviousRunsDoesNothing)
{
    backend->holding = true;
    poller->start(0);
    clock.advanceSeconds(30);
    poller->tick();
    ASSERT_TRUE(poller->busy());
    clock.advanceSeconds(30);
    poller->tick();
    poller->tick();
    QSignalSpy done(poller.get(), &Poller::tickFinished);
    backend->gate.release();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(backend->taken().size(), 1);
    EXPECT_FALSE(poller->busy());
    backend->holding = false;
    tickAfter(0); // the counter was set by the first tick only: due again now
    EXPECT_EQ(backend->taken().size(), 2);
}

TEST_F(PollerTest, FailuresBringOneLostConnectionAndNoTickMeanwhile)
{
    poller->setIntervals({0, 5});
    int lost = 0;
    int ticksWhileAsking = 0;
    QObject::connect(poller.get(), &Poller::connectionLost, poller.get(), [&](const QString&) {
        ++lost;
        const int before = static_cast<int>(backend->taken().size());
        clock.advanceSeconds(60);
        poller->tick(); // the timer firing while the question is open
        ticksWhileAsking += static_cast<int>(backend->taken().size()) - before;
    });
    backend->fail = true;
    poller->start(0);
    tickAfter(30);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(ticksWhileAsking, 0);

    // A window slot that fails is a lost connection too, also when it runs queued.
    backend->fail = false;
    QObject::connect(poller.get(), &Poller::refreshMessages, poller.get(),
                     [&] { poller->refreshFailed(u"gone"_s); });
    tickAfter(5);
    EXPECT_EQ(lost, 2);
    EXPECT_FALSE(poller->busy());
    QObject::disconnect(poller.get(), &Poller::refreshMessages, nullptr, nullptr);
    QObject::connect(
        poller.get(), &Poller::refreshMessages, poller.get(),
        [&] { poller->refreshFailed(u"gone"_s); }, Qt::QueuedConnection);
    tickAfter(5);
    QCoreApplication::processEvents();
    EXPECT_EQ(lost, 2);
    poller->tick();
    EXPECT_EQ(lost, 3);
}

// What the tick after some notices asks of the worker.
TEST_F(PollerTest, TheTickAfterNoticesReadsWhatTheyMarked)
{
    const struct
    {
        const char* name;
        QStringList payloads;
        bool lost;
        PollIntervals intervals;
        QList<qlonglong> keyed; ///< the tasks read again by number
        bool probe, messages;   ///< whole task check, message check
    } cases[] = {
        {"tasks", {scr(7, R"(, "k": [4, 2])")}, false, {5, 5}, {2, 4}, false, false},
        {"the whole workshop", {scr(7, "")}, false, {5, 5}, {}, true, false},
        {"mail", {uR"({"t": "mail", "u": "ann", "k": [1]})"_s}, false, {5, 5}, {}, false, true},
        {"notices lost", {}, true, {5, 5}, {}, true, false},
        {"checks off",
         {scr(7, R"(, "k": [4])"), uR"({"t": "mail", "u": "ann"})"_s},
         false,
         {0, 0},
         {},
         false,
         false},
    };
    for (const auto& c : cases) {
        SetUp();
        poller->setNotices(true);
        poller->setWorkshop([] { return 7; });
        poller->setKeyedTaskProbe([](const QList<qlonglong>& numbers) {
            return TaskCriteria{u"keyed"_s, {QVariant::fromValue(numbers.size())}};
        });
        poller->setMessageProbe([] { return [](Database&) { return QVariantList(); }; });
        poller->setIntervals(c.intervals);
        QList<qlonglong> read;
        QObject::connect(
            poller.get(), &Poller::tasksRead,
            [&](const QList<qlonglong>& numbers, const RecordSet&) { read = numbers; });
        poller->start(0);
        for (const QString& p : c.payloads)
            backend->notices << Notice{u"bx_changes_x"_s, p, false};
        backend->noticesLost = c.lost;
        tickAfter(1);
        ASSERT_TRUE(backend->taken().last().takeNotices) << c.name;
        tickAfter(1);
        const PollJob next = backend->taken().last();
        EXPECT_EQ(next.keyedNumbers, c.keyed) << c.name;
        EXPECT_EQ(read, c.keyed) << c.name;
        EXPECT_EQ(!next.taskProbe.sql.isEmpty(), c.probe) << c.name;
        EXPECT_EQ(bool(next.messageProbe), c.messages) << c.name;
        EXPECT_TRUE(poller->marks().empty()) << c.name;
    }
}

// A view that cannot be read by task is checked whole; without notices no tick takes any.
TEST_F(PollerTest, MarkedTasksOfAViewWithoutKeyedStatementCheckTheWholeView)
{
    poller->setIntervals({5, 0});
    poller->start(0);
    tickAfter(1);
    EXPECT_TRUE(backend->taken().isEmpty());

    poller->setNotices(true);
    poller->setWorkshop([] { return 7; });
    poller->setKeyedTaskProbe([](const QList<qlonglong>&) { return TaskCriteria(); });
    backend->notices << Notice{QString(), scr(7, R"(, "k": [4])"), false};
    tickAfter(1);
    tickAfter(1);
    EXPECT_TRUE(backend->taken().last().keyedRead.sql.isEmpty());
    EXPECT_FALSE(backend->taken().last().taskProbe.sql.isEmpty());
}

} // namespace
