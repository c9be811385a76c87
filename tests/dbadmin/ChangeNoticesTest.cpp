#include "core/db/Database.h"
#include "core/db/Notices.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/** The triggers of the server engine, heard on a second connection that listens. */
class ChangeNoticesTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s});
        for (const int shop : {7, 8})
            test::addWorkshop(db(), shop);
        listener = connectAgain();
        listener->listen(listener->changeChannel());
    }

    /** The change notices that come within half a second, as their payloads. */
    QStringList heard()
    {
        QStringList out;
        QDeadlineTimer quiet(500);
        while (!quiet.hasExpired()) {
            for (const Notice& n : listener->takeNotices(50)) {
                EXPECT_TRUE(ChangeNotice::parse(n.payload)) << n.payload.toStdString();
                out << n.payload;
            }
        }
        out.sort();
        return out;
    }

    QList<qlonglong> addTasks(int count, int shop)
    {
        QList<qlonglong> out;
        for (int i = 0; i < count; ++i)
            out << test::addTaskRow(db(), {{u"SCR_Group_ID"_s, shop}});
        return out;
    }

    std::unique_ptr<Database> listener;
};

QStringList sorted(QStringList payloads)
{
    payloads.sort();
    return payloads;
}

TEST_P(ChangeNoticesTest, EachStatementNamesItsRowsPerWorkshop)
{
    if (!isServer()) {
        // The step only raises the version there.
        EXPECT_TRUE(db().query(u"SELECT name FROM sqlite_master WHERE type = "
                               "'trigger' AND name LIKE '%Changes%'"_s)
                        .isEmpty());
        return;
    }
    const QList<qlonglong> t = addTasks(2, 7);
    EXPECT_EQ(heard(),
              sorted(QStringList{QStringLiteral(R"({"k": [%1], "t": "scr", "w": 7})").arg(t[0]),
                                 QStringLiteral(R"({"k": [%1], "t": "scr", "w": 7})").arg(t[1])}));

    db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number IN (?, ?)"_s,
                 {u"O'Brien"_s, t[0], t[1]});
    EXPECT_EQ(
        heard(),
        QStringList{QStringLiteral(R"({"k": [%1, %2], "t": "scr", "w": 7})").arg(t[0]).arg(t[1])});

    // A task that moves is news to both workshops; a statement that changes nothing is none.
    db().execute(u"UPDATE SCR SET SCR_Group_ID = 8 WHERE SCR_Number = ?"_s, {t[0]});
    db().execute(u"UPDATE SCR SET SCR_Title = 'x' WHERE SCR_Number = -1"_s);
    EXPECT_EQ(heard(),
              sorted(QStringList{QStringLiteral(R"({"k": [%1], "t": "scr", "w": 7})").arg(t[0]),
                                 QStringLiteral(R"({"k": [%1], "t": "scr", "w": 8})").arg(t[0])}));

    // Routes name their task and its workshop; the presence heartbeat tells nobody.
    db().execute(u"INSERT INTO ROUTE (Route_Number, SCR_Number, USER_ID) VALUES (900, ?, 'ann')"_s,
                 {t[1]});
    db().execute(u"INSERT INTO LOGIN (User_ID, LastUpdate) VALUES ('ann', ?)"_s,
                 {QDateTime::currentDateTimeUtc()});
    db().execute(u"DELETE FROM SCR WHERE SCR_Number = ?"_s, {t[1]});
    EXPECT_EQ(heard(),
              sorted(QStringList{QStringLiteral(R"({"k": [%1], "t": "route", "w": 7})").arg(t[1]),
                                 QStringLiteral(R"({"k": [%1], "t": "scr", "w": 7})").arg(t[1])}));
}

TEST_P(ChangeNoticesTest, ManyRowsNameTheirWorkshopAndManyWorkshopsTheTable)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine sends no notices";
    addTasks(kMaxNamedKeys + 1, 7);
    addTasks(1, 8);
    heard();
    db().execute(u"UPDATE SCR SET SCR_Title = 'all'"_s);
    EXPECT_EQ(heard(), sorted(QStringList{QStringLiteral(R"({"k": [%1], "t": "scr", "w": 8})")
                                              .arg(db().scalar(u"SELECT SCR_Number FROM SCR WHERE "
                                                               "SCR_Group_ID = 8"_s)
                                                       .toLongLong()),
                                          QStringLiteral(R"({"t": "scr", "w": 7})")}));

    db().execute(u"INSERT INTO MAIL (Mail_Number, Owner_User_ID) SELECT g, 'u' || g "
                 "FROM generate_series(1, ?) g"_s,
                 {kMaxGroups + 1});
    EXPECT_EQ(heard(), QStringList{QStringLiteral(R"({"t": "mail"})")});
}

TEST_P(ChangeNoticesTest, MailAndTheOutboxNameTheirUser)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine sends no notices";
    db().execute(
        u"INSERT INTO MAIL (Mail_Number, Owner_User_ID, Title) VALUES (31, 'O''Brien', 'Hello')"_s);
    const qlonglong queued = db().insertNumbered(u"MAIL_OUTBOX"_s, u"Outbox_Number"_s,
                                                 {u"Recipient"_s, u"Queued_By"_s, u"State"_s},
                                                 {u"x@example.org"_s, u"ann"_s, u"P"_s});
    EXPECT_EQ(heard(),
              sorted(QStringList{
                  QStringLiteral(R"({"k": [31], "t": "mail", "u": "O'Brien"})"),
                  QStringLiteral(R"({"k": [%1], "t": "mail_outbox", "u": "ann"})").arg(queued)}));
}

BX_INSTANTIATE_ENGINES(ChangeNoticesTest);

} // namespace
