#include "support/ServerLogins.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/**
 * Logins of a team: "ann" administers; "bob" supervises "carol", who supervises "dave"; "eve"
 * stands apart. Each user has one booking and one change-log row of his own.
 */
class TimeSheetPoliciesTest : public bx::test::ServerLoginsTest
{
protected:
    void arrange() override
    {
        addLogins({u"ann"_s, u"bob"_s, u"carol"_s, u"dave"_s, u"eve"_s}, {u"ann"_s});
        db().executeScript(
            u"UPDATE LU_USER SET Supervisor_User_ID = 'bob' WHERE USER_ID = 'carol'; "
            "UPDATE LU_USER SET Supervisor_User_ID = 'Carol' WHERE USER_ID = 'dave'"_s);
        int id = 1;
        for (const char* user : {"ann", "bob", "carol", "dave", "eve"}) {
            db().execute(u"INSERT INTO TIME_SHEET (ID_Sheet, SCR_Number_Sheet, "
                         "User_ID, Time_Sheet) VALUES (?, 5, ?, 1)"_s,
                         {id, QLatin1String(user)});
            db().execute(u"INSERT INTO TIME_SHEET_ROUTE (Id, ID_SHEET, User_ID) VALUES (?, ?, ?)"_s,
                         {id, id, QLatin1String(user)});
            ++id;
        }
    }

    QString visible(const QString& login, const char* table)
    {
        return as(login)
            .scalar(u"SELECT string_agg(User_ID::text, ',' ORDER BY User_ID) FROM "_s +
                    QLatin1String(table))
            .toString();
    }
};

TEST_P(TimeSheetPoliciesTest, ALoginReadsItsOwnRowsAndThoseOfTheUsersBelowIt)
{
    const struct
    {
        const char* login;
        const char* sees;
    } cases[] = {
        {"ann", "ann,bob,carol,dave,eve"},
        {"bob", "bob,carol,dave"},
        {"carol", "carol,dave"},
        {"dave", "dave"},
        {"eve", "eve"},
    };
    for (const char* table : {"TIME_SHEET", "TIME_SHEET_ROUTE"}) {
        for (const auto& c : cases)
            EXPECT_EQ(visible(QLatin1String(c.login), table), QLatin1String(c.sees))
                << c.login << " in " << table;
    }
}

TEST_P(TimeSheetPoliciesTest, ASupervisorChangesNoneOfTheBookingsHeReads)
{
    const auto total = [this] {
        return db().scalar(u"SELECT sum(Time_Sheet) FROM TIME_SHEET"_s).toInt();
    };
    tryRun(u"bob"_s, u"UPDATE TIME_SHEET SET Time_Sheet = 9"_s);
    tryRun(u"bob"_s, u"DELETE FROM TIME_SHEET WHERE User_ID <> 'bob'"_s);
    EXPECT_EQ(total(), 5 - 1 + 9);
    EXPECT_FALSE(
        tryRun(u"bob"_s, u"INSERT INTO TIME_SHEET (ID_Sheet, User_ID) VALUES (9, 'carol')"_s));
    EXPECT_TRUE(
        tryRun(u"carol"_s, u"INSERT INTO TIME_SHEET (ID_Sheet, User_ID) VALUES (9, 'carol')"_s));
}

} // namespace

BX_INSTANTIATE_ENGINES(TimeSheetPoliciesTest);
