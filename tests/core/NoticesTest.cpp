#include "core/db/Notices.h"

#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "support/EngineFixture.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {

// --- What a payload says ---------------------------------------------------------------------

struct PayloadCase
{
    const char* payload;
    bool valid;
    const char* table;
    QVariant workshop;
    const char* user;
    QList<qlonglong> keys;
    bool whole;
};

class ChangeNoticeParse : public ::testing::TestWithParam<PayloadCase>
{
};

TEST_P(ChangeNoticeParse, ReadsTheTriggersPayload)
{
    const PayloadCase& c = GetParam();
    const auto n = ChangeNotice::parse(QString::fromUtf8(c.payload));
    ASSERT_EQ(n.has_value(), c.valid) << c.payload;
    if (!n)
        return;
    EXPECT_EQ(n->table, QString::fromUtf8(c.table));
    EXPECT_EQ(n->workshop, c.workshop);
    EXPECT_EQ(n->user, QString::fromUtf8(c.user));
    EXPECT_EQ(n->keys, c.keys);
    EXPECT_EQ(n->whole, c.whole);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, ChangeNoticeParse,
    ::testing::Values(
        PayloadCase{
            R"({"k": [3, 9], "t": "scr", "w": 12})", true, "scr", qlonglong(12), "", {3, 9}, false},
        PayloadCase{R"({"t": "scr", "w": 12})", true, "scr", qlonglong(12), "", {}, true},
        PayloadCase{
            R"({"k": [4], "t": "route", "w": null})", true, "route", QVariant(), "", {4}, false},
        PayloadCase{R"({"k": [], "t": "mail", "u": "O'Brien"})",
                    true,
                    "mail",
                    QVariant(),
                    "O'Brien",
                    {},
                    false},
        PayloadCase{R"({"t": "mail_outbox"})", true, "mail_outbox", QVariant(), "", {}, true},
        PayloadCase{R"({"k": ["x"], "t": "scr", "w": 1})", false, "", {}, "", {}, false},
        PayloadCase{R"({"w": 1})", false, "", {}, "", {}, false},
        PayloadCase{"not json", false, "", {}, "", {}, false}));

TEST(ChangeNotice, ConcernsItsOwnUserOrWorkshopAndAWholeTableNoticeEverybody)
{
    const auto mine =
        ChangeNotice::parse(QStringLiteral(R"({"k": [1], "t": "mail", "u": " Ann"})"));
    ASSERT_TRUE(mine);
    EXPECT_TRUE(mine->concernsUser(u"ann "_s));
    EXPECT_FALSE(mine->concernsUser(u"bob"_s));

    const auto shop = ChangeNotice::parse(QStringLiteral(R"({"k": [1], "t": "scr", "w": 5})"));
    ASSERT_TRUE(shop);
    EXPECT_TRUE(shop->concernsWorkshop(5));
    EXPECT_FALSE(shop->concernsWorkshop(6));
    EXPECT_FALSE(shop->concernsUser(u"ann"_s));

    const auto all = ChangeNotice::parse(QStringLiteral(R"({"t": "mail_outbox"})"));
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->concernsUser(u"ann"_s));
    EXPECT_TRUE(all->concernsWorkshop(6));
}

// --- The journal of the embedded engine ------------------------------------------------------

struct FileSystemCase
{
    const char* name;
    qint64 type;
    JournalMode journal;
};

class JournalDecision : public ::testing::TestWithParam<FileSystemCase>
{
};

TEST_P(JournalDecision, WalOnLocalFileSystemsOnly)
{
    EXPECT_EQ(journalModeForFileSystem(GetParam().type), GetParam().journal) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems, JournalDecision,
    ::testing::Values(FileSystemCase{"ext4", 0xEF53, JournalMode::Wal},
                      FileSystemCase{"xfs", 0x58465342, JournalMode::Wal},
                      FileSystemCase{"btrfs", 0x9123683E, JournalMode::Wal},
                      FileSystemCase{"tmpfs", 0x01021994, JournalMode::Wal},
                      FileSystemCase{"nfs", 0x6969, JournalMode::Rollback},
                      FileSystemCase{"smb", 0x517B, JournalMode::Rollback},
                      FileSystemCase{"cifs", 0xFF534D42, JournalMode::Rollback},
                      // f_type as a sign-extended 32-bit word
                      FileSystemCase{"cifs signed", qint64(qint32(0xFF534D42)),
                                     JournalMode::Rollback},
                      FileSystemCase{"smb2", 0xFE534D42, JournalMode::Rollback},
                      FileSystemCase{"fuse", 0x65735546, JournalMode::Rollback}),
    [](const auto& fs) {
        std::string name = fs.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

class EmbeddedJournal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        db = SqliteDatabase::open(path(), SqliteDatabase::OpenMode::Create);
        db->execute(u"CREATE TABLE T (x integer)"_s);
        db->execute(u"INSERT INTO T VALUES (1)"_s);
    }
    QString path() const { return dir.filePath(u"j.db"_s); }

    QTemporaryDir dir;
    std::unique_ptr<SqliteDatabase> db;
};

// The temporary folder lies on a local file system.
TEST_F(EmbeddedJournal, AWriteCommitsWhileAnotherConnectionHoldsAReadOpen)
{
    ASSERT_EQ(db->journal(), JournalMode::Wal);
    auto reader = SqliteDatabase::open(path());
    reader->executeScript(u"BEGIN"_s);
    EXPECT_EQ(reader->scalar(u"SELECT count(*) FROM T"_s).toInt(), 1);

    db->setQueryTimeout(1);
    Transaction tx(*db);
    db->execute(u"INSERT INTO T VALUES (2)"_s);
    EXPECT_NO_THROW(tx.commit());
    EXPECT_EQ(reader->scalar(u"SELECT count(*) FROM T"_s).toInt(), 1)
        << "the open read keeps what it saw";
    reader->executeScript(u"COMMIT"_s);
    EXPECT_EQ(reader->scalar(u"SELECT count(*) FROM T"_s).toInt(), 2);
}

TEST_F(EmbeddedJournal, WalIsLeftOnlyByAClientAlone)
{
    auto other = SqliteDatabase::open(path());
    try {
        db->useJournal(JournalMode::Rollback);
        ADD_FAILURE() << "left WAL while another connection had the file";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().startsWith(u"The database "_s));
        EXPECT_TRUE(e.description().contains(u"j.db"_s));
    }
    EXPECT_EQ(db->journal(), JournalMode::Wal);
    other.reset();
    db->useJournal(JournalMode::Rollback);
    EXPECT_EQ(db->journal(), JournalMode::Rollback);
    EXPECT_EQ(db->scalar(u"SELECT count(*) FROM T"_s).toInt(), 1);
}

// --- Commits and notices, on both engines ----------------------------------------------------

class NoticesTest : public EngineTest
{
protected:
    /** Takes notices from `db` until `count` came or two seconds passed. */
    static QList<Notice> await(Database& db, int count = 1)
    {
        QList<Notice> got;
        QDeadlineTimer deadline(2000);
        while (got.size() < count && !deadline.hasExpired())
            got += db.takeNotices(100);
        return got;
    }
};

TEST_P(NoticesTest, ACommitWatcherRunsOnceAfterTheCommitAndNeverAfterARollback)
{
    int woken = 0;
    db().watchCommits(u"mail_outbox"_s, [&] { ++woken; });
    {
        Transaction tx(db());
        db().noteChanged(u"MAIL_OUTBOX"_s);
        db().noteChanged(u"MAIL_OUTBOX"_s);
        Transaction inner(db());
        db().noteChanged(u"MAIL"_s);
        inner.commit();
        EXPECT_EQ(woken, 0) << "nothing is committed yet";
        tx.commit();
    }
    EXPECT_EQ(woken, 1);
    {
        Transaction tx(db());
        db().noteChanged(u"MAIL_OUTBOX"_s);
    }
    EXPECT_EQ(woken, 1) << "rolled back";
    db().noteChanged(u"MAIL_OUTBOX"_s);
    EXPECT_EQ(woken, 2) << "outside a transaction the change is committed already";
    db().watchCommits(u"MAIL_OUTBOX"_s, {});
    db().noteChanged(u"MAIL_OUTBOX"_s);
    EXPECT_EQ(woken, 2);
}

TEST_P(NoticesTest, ANoticeCommittedOnOneConnectionArrivesOnAnotherThatListens)
{
    EXPECT_EQ(db().dialect().hasNotices(), isServer());
    auto listener = connectAgain();
    const QString channel = listener->changeChannel();
    listener->listen(channel);
    if (!isServer()) {
        EXPECT_TRUE(channel.isEmpty());
        EXPECT_TRUE(listener->takeNotices(10).isEmpty());
        return;
    }
    // Apart for each schema, and within the server's 63 bytes.
    EXPECT_LE(channel.toUtf8().size(), 63);
    EXPECT_NE(channel, PgDatabase::connect(*test::testCluster())->changeChannel());

    EXPECT_TRUE(listener->takeNotices().isEmpty());
    {
        Transaction tx(db());
        db().execute(u"SELECT pg_notify(?, ?)"_s, {channel, u"O'Brien"_s});
        EXPECT_TRUE(listener->takeNotices(50).isEmpty()) << "sent only at the commit";
        tx.commit();
    }
    const QList<Notice> got = await(*listener);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got.first().channel, channel);
    EXPECT_EQ(got.first().payload, u"O'Brien"_s);
    EXPECT_FALSE(got.first().fromThisConnection);

    listener->execute(u"SELECT pg_notify(?, 'own')"_s, {channel});
    const QList<Notice> own = await(*listener);
    ASSERT_EQ(own.size(), 1);
    EXPECT_TRUE(own.first().fromThisConnection);
}

TEST_P(NoticesTest, AKilledConnectionIsReportedAndANewOneListensAgain)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine takes no notices";
    auto listener = connectAgain();
    const QString channel = listener->changeChannel();
    listener->listen(channel);
    const QVariant pid = listener->scalar(u"SELECT pg_backend_pid()"_s);
    db().execute(u"SELECT pg_terminate_backend(CAST(? AS integer))"_s, {pid});

    bool lost = false;
    QDeadlineTimer deadline(5000);
    while (!lost && !deadline.hasExpired()) {
        try {
            listener->takeNotices(100);
        } catch (const DbError& e) {
            lost = e.kind() == DbErrorKind::ConnectionLost;
            ASSERT_TRUE(lost) << e.what();
        }
    }
    ASSERT_TRUE(lost);

    listener = connectAgain();
    listener->listen(channel);
    db().execute(u"SELECT pg_notify(?, 'again')"_s, {channel});
    const QList<Notice> got = await(*listener);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got.first().payload, u"again"_s);
}

BX_INSTANTIATE_ENGINES(NoticesTest);

} // namespace
