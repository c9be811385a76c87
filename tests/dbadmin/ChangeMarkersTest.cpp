#include "core/db/ChangeMarkers.h"

#include "core/db/Database.h"
#include "support/ChecklistRows.h"
#include "support/ServerLogins.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace bx;
using namespace Qt::StringLiterals;
using change_markers::Scope;

namespace {

/** Workshops 7 and 8, a task in each, and a checklist on the task of 8. */
class ChangeMarkersTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s, u"O'Brien"_s});
        for (const int shop : {7, 8})
            test::addWorkshop(db(), shop);
        in7 = test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 7}});
        in8 = test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 8}});
        test::addChecklist(db(), u"Sign"_s, 8, {{u"Check"_s, true, u"ann"_s, {}}});
        checklist = test::attachChecklist(db(), in8, u"Sign"_s);
    }

    /** Which scopes moved while `change` ran: "7", "8" and "*" (every workshop), in order. */
    std::string movedBy(const std::function<void()>& change)
    {
        const Scope scopes[] = {{7}, {8}, {}};
        QVariantList before;
        for (const Scope& s : scopes)
            before << change_markers::read(db(), s, {}).state;
        change();
        std::string moved;
        for (int i = 0; i < 3; ++i) {
            if (change_markers::read(db(), scopes[i], before.at(i)).moved)
                moved += i == 0 ? "7" : i == 1 ? "8" : "*";
        }
        return moved;
    }

    std::string movedBy(const QString& sql, const QVariantList& params = {})
    {
        return movedBy([&] { db().execute(sql, params); });
    }

    qlonglong in7 = 0;
    qlonglong in8 = 0;
    qlonglong checklist = 0;
};

TEST_P(ChangeMarkersTest, EveryWriteMovesTheMarkersOfTheWorkshopsItTouches)
{
    const QString retitle = u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s;
    const struct
    {
        const char* name;
        QString sql;
        QVariantList params;
        const char* moved;
    } cases[] = {
        {"a task retitled", retitle, {u"O'Brien's"_s, in7}, "7*"},
        {"nothing changed", retitle, {u"x"_s, -1}, ""},
        {"a task moved to another workshop",
         u"UPDATE SCR SET SCR_Group_ID = 8 WHERE SCR_Number = ?"_s,
         {in7},
         "78*"},
        {"a task of no workshop",
         u"UPDATE SCR SET SCR_Group_ID = NULL WHERE SCR_Number = ?"_s,
         {in7},
         "78*"},
        {"a route",
         u"INSERT INTO ROUTE (Route_Number, SCR_Number, USER_ID, "
         "Route_Status) VALUES (900, ?, 'ann', 'C')"_s,
         {in8},
         "8*"},
        {"a route's status",
         u"UPDATE ROUTE SET Route_Status = 'A' WHERE Route_Number = 900"_s,
         {},
         "8*"},
        {"a checklist ticked",
         u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Attach_Number, "
         "User_ID) VALUES ('Sign', 'Check', ?, 'ann')"_s,
         {checklist},
         "8*"},
        {"a checklist template",
         u"UPDATE CHECKLIST_ITEM SET Sign_User_ID = 'bob' WHERE Attach_Number = 0"_s,
         {},
         "78*"},
        {"an approval checklist detached",
         u"DELETE FROM ATTACH WHERE Attach_Number = ?"_s,
         {checklist},
         "8*"},
        {"a user disabled",
         u"UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'O''Brien'"_s,
         {},
         "78*"},
        {"a presence heartbeat",
         u"INSERT INTO LOGIN (User_ID, LastUpdate) VALUES ('ann', ?)"_s,
         {QDateTime::currentDateTimeUtc()},
         ""},
        {"a task deleted", u"DELETE FROM SCR WHERE SCR_Number = ?"_s, {in8}, "8*"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(movedBy(c.sql, c.params), c.moved) << c.name;

    // A file attachment concerns no view.
    const qlonglong task = test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 7}});
    EXPECT_EQ(movedBy([&] {
                  db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s,
                                      {u"SCR_Number"_s, u"Attach_Type"_s}, {task, u"F"_s});
              }),
              "");
}

// Markers read again without a change say nothing moved, on any connection.
TEST_P(ChangeMarkersTest, AnUnchangedDatabaseHasNotMoved)
{
    const change_markers::Reading first = change_markers::read(db(), {7}, {});
    EXPECT_TRUE(first.moved);
    std::unique_ptr<Database> other = connectAgain();
    EXPECT_FALSE(change_markers::read(*other, {7}, first.state).moved);
    const change_markers::Reading all = change_markers::read(db(), {}, {});
    EXPECT_FALSE(change_markers::read(*other, {}, all.state).moved);
}

// On the server, saves in one workshop run side by side: none waits for another's commit, and a
// save that commits after a later one is still seen.
TEST_P(ChangeMarkersTest, ServerSavesNeitherWaitForEachOtherNorHideBehindALaterOne)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine has one writer at a time";
    std::unique_ptr<Database> first = connectAgain();
    std::unique_ptr<Database> second = connectAgain();
    second->execute(u"SET statement_timeout = 3000"_s);
    const QString retitle = u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s;
    const qlonglong other = test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 7}});

    const QVariant before = change_markers::read(db(), {7}, {}).state;
    first->begin();
    first->execute(retitle, {u"first"_s, in7});
    second->begin();
    EXPECT_NO_THROW(second->execute(retitle, {u"second"_s, other}));
    second->commit();
    const change_markers::Reading seen = change_markers::read(db(), {7}, before);
    EXPECT_TRUE(seen.moved);
    first->commit();
    EXPECT_TRUE(change_markers::read(db(), {7}, seen.state).moved)
        << "the earlier save committed last";

    // Rows of committed saves go with the next save of the workshop.
    for (int i = 0; i < 5; ++i)
        db().execute(retitle, {QString::number(i), in7});
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM CHANGE_MARKER WHERE Group_ID = 7"_s).toLongLong(),
              1);
}

BX_INSTANTIATE_ENGINES(ChangeMarkersTest);

/** A user's login moves markers by writing tasks, and cannot write them itself. */
class ChangeMarkerRightsTest : public test::ServerLoginsTest
{
};

TEST_P(ChangeMarkerRightsTest, ALoginReadsTheMarkersAndOnlyTheTriggersWriteThem)
{
    addLogins({u"bob"_s});
    test::addWorkshop(db(), 7);
    const qlonglong task = test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 7}});
    const QVariant before = change_markers::read(as(u"bob"_s), {7}, {}).state;
    EXPECT_TRUE(
        tryRun(u"bob"_s, u"UPDATE SCR SET SCR_Title = 'x' WHERE SCR_Number = %1"_s.arg(task)));
    EXPECT_TRUE(change_markers::read(as(u"bob"_s), {7}, before).moved);
    for (const char* sql :
         {"INSERT INTO CHANGE_MARKER (Group_ID, Writer) VALUES (7, pg_current_xact_id())",
          "UPDATE CHANGE_MARKER SET Group_ID = 8", "DELETE FROM CHANGE_MARKER"})
        EXPECT_FALSE(tryRun(u"bob"_s, QLatin1String(sql))) << sql;
}

BX_INSTANTIATE_ENGINES(ChangeMarkerRightsTest);

} // namespace
