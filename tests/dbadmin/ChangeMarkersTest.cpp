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
using change_markers::Scope;

namespace {

/** Workshops 7 and 8, a task in each, and a checklist on the task of 8. */
class ChangeMarkersTest : public test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("O'Brien")});
        for (const int shop : {7, 8})
            test::addWorkshop(db(), shop);
        in7 = test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), 7}});
        in8 = test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), 8}});
        test::addChecklist(db(), QStringLiteral("Sign"), 8,
                           {{QStringLiteral("Check"), true, QStringLiteral("ann"), {}}});
        checklist = test::attachChecklist(db(), in8, QStringLiteral("Sign"));
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
    const QString retitle = QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?");
    const struct
    {
        const char* name;
        QString sql;
        QVariantList params;
        const char* moved;
    } cases[] = {
        {"a task retitled", retitle, {QStringLiteral("O'Brien's"), in7}, "7*"},
        {"nothing changed", retitle, {QStringLiteral("x"), -1}, ""},
        {"a task moved to another workshop",
         QStringLiteral("UPDATE SCR SET SCR_Group_ID = 8 WHERE SCR_Number = ?"),
         {in7},
         "78*"},
        {"a task of no workshop",
         QStringLiteral("UPDATE SCR SET SCR_Group_ID = NULL WHERE SCR_Number = ?"),
         {in7},
         "78*"},
        {"a route",
         QStringLiteral("INSERT INTO ROUTE (Route_Number, SCR_Number, USER_ID, "
                        "Route_Status) VALUES (900, ?, 'ann', 'C')"),
         {in8},
         "8*"},
        {"a route's status",
         QStringLiteral("UPDATE ROUTE SET Route_Status = 'A' WHERE Route_Number = 900"),
         {},
         "8*"},
        {"a checklist ticked",
         QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, Attach_Number, "
                        "User_ID) VALUES ('Sign', 'Check', ?, 'ann')"),
         {checklist},
         "8*"},
        {"a checklist template",
         QStringLiteral("UPDATE CHECKLIST_ITEM SET Sign_User_ID = 'bob' "
                        "WHERE Attach_Number = 0"),
         {},
         "78*"},
        {"an approval checklist detached",
         QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"),
         {checklist},
         "8*"},
        {"a user disabled",
         QStringLiteral("UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'O''Brien'"),
         {},
         "78*"},
        {"a presence heartbeat",
         QStringLiteral("INSERT INTO LOGIN (User_ID, LastUpdate) VALUES ('ann', ?)"),
         {QDateTime::currentDateTimeUtc()},
         ""},
        {"a task deleted", QStringLiteral("DELETE FROM SCR WHERE SCR_Number = ?"), {in8}, "8*"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(movedBy(c.sql, c.params), c.moved) << c.name;

    // A file attachment concerns no view.
    const qlonglong task = test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), 7}});
    EXPECT_EQ(movedBy([&] {
                  db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                                      {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type")},
                                      {task, QStringLiteral("F")});
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
    second->execute(QStringLiteral("SET statement_timeout = 3000"));
    const QString retitle = QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?");
    const qlonglong other = test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), 7}});

    const QVariant before = change_markers::read(db(), {7}, {}).state;
    first->begin();
    first->execute(retitle, {QStringLiteral("first"), in7});
    second->begin();
    EXPECT_NO_THROW(second->execute(retitle, {QStringLiteral("second"), other}));
    second->commit();
    const change_markers::Reading seen = change_markers::read(db(), {7}, before);
    EXPECT_TRUE(seen.moved);
    first->commit();
    EXPECT_TRUE(change_markers::read(db(), {7}, seen.state).moved)
        << "the earlier save committed last";

    // Rows of committed saves go with the next save of the workshop.
    for (int i = 0; i < 5; ++i)
        db().execute(retitle, {QString::number(i), in7});
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM CHANGE_MARKER WHERE Group_ID = 7"))
                  .toLongLong(),
              1);
}

BX_INSTANTIATE_ENGINES(ChangeMarkersTest);

/** A user's login moves markers by writing tasks, and cannot write them itself. */
class ChangeMarkerRightsTest : public test::ServerLoginsTest
{
};

TEST_P(ChangeMarkerRightsTest, ALoginReadsTheMarkersAndOnlyTheTriggersWriteThem)
{
    addLogins({QStringLiteral("bob")});
    test::addWorkshop(db(), 7);
    const qlonglong task = test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), 7}});
    const QVariant before = change_markers::read(as(QStringLiteral("bob")), {7}, {}).state;
    EXPECT_TRUE(tryRun(QStringLiteral("bob"), QStringLiteral("UPDATE SCR SET SCR_Title = 'x' "
                                                             "WHERE SCR_Number = %1")
                                                  .arg(task)));
    EXPECT_TRUE(change_markers::read(as(QStringLiteral("bob")), {7}, before).moved);
    for (const char* sql :
         {"INSERT INTO CHANGE_MARKER (Group_ID, Writer) VALUES (7, pg_current_xact_id())",
          "UPDATE CHANGE_MARKER SET Group_ID = 8", "DELETE FROM CHANGE_MARKER"})
        EXPECT_FALSE(tryRun(QStringLiteral("bob"), QLatin1String(sql))) << sql;
}

BX_INSTANTIATE_ENGINES(ChangeMarkerRightsTest);

} // namespace
