#include "workflow/ChecklistTicks.h"

#include "core/db/Database.h"
#include "mainwindow/TaskViews.h"
#include "support/ChecklistRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kList = QStringLiteral("Release");

class ChecklistTicksTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(),
                       {QStringLiteral("ann"), QStringLiteral("bob"), QStringLiteral("carl")});
        db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, ?)"),
                     {QStringLiteral("gone"), db().dialect().trueValue()});
        test::addWorkshop(db(), 7);
        // By text: Build (bob's), Docs (a disabled signer's), Ship (anyone's), Test (carl's).
        test::addChecklist(db(), kList, 7,
                           {{QStringLiteral("Test"), true, QStringLiteral("carl"), {}},
                            {QStringLiteral("Build"), true, QStringLiteral("bob"),
                             QStringLiteral("Builds <b>clean</b>")},
                            {QStringLiteral("Ship"), false, {}, {}},
                            {QStringLiteral("Docs"), false, QStringLiteral("gone"), {}}});
        task = test::addTaskRow(db(), {{QStringLiteral("SCR_Title"), QStringLiteral("Release 2")},
                                       {QStringLiteral("SCR_Request_ID"), QStringLiteral("ann")},
                                       {QStringLiteral("Meeting_ID"), 0}});
        attach = test::attachChecklist(db(), task, kList);
    }

    Outcome<Done> tick(const QString& user, const QString& item, const QString& note = {})
    {
        return tickChecklistItem(db(), user, attach, item, note);
    }
    Outcome<Done> untick(const QString& user, const QString& item)
    {
        return untickChecklistItem(db(), user, attach, item);
    }
    void setStatus(const QString& status)
    {
        db().execute(QStringLiteral("UPDATE SCR SET SCR_Status = ? WHERE SCR_Number = ?"),
                     {status, task});
    }
    /** The titles of `user`'s "Approval" view. */
    QStringList approvalsOf(const QString& user)
    {
        session.user.userId = user;
        const TaskCriteria q = approvalGridQuery(session);
        QStringList out;
        const RecordSet rows = db().query(q.sql, q.params);
        for (int r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, QStringLiteral("SCR_Title")).toString();
        return out;
    }
    static QString refusalOf(const Outcome<Done>& outcome)
    {
        return outcome.refusal() ? outcome.refusal()->message : QString();
    }

    qlonglong task = 0;
    qlonglong attach = 0;
};

TEST_P(ChecklistTicksTest, SheetListsItemsByTextAndWhoTickedWhenTheSettingAsks)
{
    ASSERT_TRUE(tick(QStringLiteral("bob"), QStringLiteral("Build")));
    for (const bool show : {true, false}) {
        SCOPED_TRACE(show);
        const Outcome<ChecklistSheet> sheet = loadChecklistSheet(db(), attach, show);
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->name, kList);
        EXPECT_EQ(sheet->taskNumber, task);
        QStringList texts;
        for (const ChecklistLine& line : sheet->lines)
            texts << line.item.text;
        EXPECT_EQ(texts, (QStringList{QStringLiteral("Build"), QStringLiteral("Docs"),
                                      QStringLiteral("Ship"), QStringLiteral("Test")}));
        const ChecklistLine& build = sheet->lines.at(0);
        EXPECT_TRUE(build.ticked);
        EXPECT_TRUE(build.item.mandatory);
        EXPECT_EQ(build.item.signer, QStringLiteral("bob"));
        EXPECT_EQ(build.item.note, QStringLiteral("Builds <b>clean</b>"));
        EXPECT_EQ(build.tickedBy, QStringLiteral("bob"));
        EXPECT_EQ(build.shownTicker, show ? QStringLiteral("bob") : QString());
        EXPECT_FALSE(sheet->lines.at(3).ticked);
        EXPECT_TRUE(sheet->lines.at(3).shownTicker.isEmpty());
    }
}

TEST_P(ChecklistTicksTest, AChecklistNoLongerDefinedIsNamed)
{
    const qlonglong gone = test::attachChecklist(db(), task, QStringLiteral("Old list"));
    const QString message = QStringLiteral("Checklist Old list not found");
    const Outcome<ChecklistSheet> sheet = loadChecklistSheet(db(), gone, true);
    ASSERT_TRUE(sheet.refusal());
    EXPECT_EQ(sheet.refusal()->message, message);
    EXPECT_EQ(
        refusalOf(tickChecklistItem(db(), QStringLiteral("ann"), gone, QStringLiteral("Ship"))),
        message);
    EXPECT_EQ(test::filledRows(db(), gone), 0);
}

TEST_P(ChecklistTicksTest, TickWritesTheFilledRowAtOnceAndOnlyOnce)
{
    ASSERT_TRUE(tick(QStringLiteral("ann"), QStringLiteral("Ship"), QStringLiteral("on time")));
    ASSERT_TRUE(tick(QStringLiteral("ann"), QStringLiteral("Ship")));
    const RecordSet row = db().query(
        QStringLiteral("SELECT Checklist_Name, Action_Name, User_ID, ItemNote, ItemType FROM "
                       "CHECKLIST_ITEM WHERE Attach_Number = ?"),
        {attach});
    ASSERT_EQ(row.rowCount(), 1);
    EXPECT_EQ(row.text(QStringLiteral("Checklist_Name")), kList);
    EXPECT_EQ(row.text(QStringLiteral("Action_Name")), QStringLiteral("Ship"));
    EXPECT_EQ(row.text(QStringLiteral("User_ID")), QStringLiteral("ann"));
    EXPECT_EQ(row.text(QStringLiteral("ItemNote")), QStringLiteral("on time"));
    EXPECT_EQ(row.number(QStringLiteral("ItemType")), 0);
    ASSERT_TRUE(untick(QStringLiteral("ann"), QStringLiteral("Ship")));
    EXPECT_EQ(test::filledRows(db(), attach), 0);
}

TEST_P(ChecklistTicksTest, TheSignersTickLeavesHisApprovalViewOnly)
{
    const QStringList waiting{QStringLiteral("Release 2")};
    EXPECT_EQ(approvalsOf(QStringLiteral("bob")), waiting);
    EXPECT_EQ(approvalsOf(QStringLiteral("carl")), waiting);
    ASSERT_TRUE(tick(QStringLiteral("bob"), QStringLiteral("Build")));
    EXPECT_TRUE(approvalsOf(QStringLiteral("bob")).isEmpty());
    EXPECT_EQ(approvalsOf(QStringLiteral("carl")), waiting);
    ASSERT_TRUE(untick(QStringLiteral("bob"), QStringLiteral("Build")));
    EXPECT_EQ(approvalsOf(QStringLiteral("bob")), waiting);
}

struct TickCase
{
    const char* what;
    const char* status;
    const char* owner;
    const char* tickedBy; ///< "" for an item not ticked before
    bool untick;
    const char* user;
    const char* item;
    const char* refusal; ///< "" when done
};

QString q(const char* text)
{
    return QString::fromUtf8(text);
}

TEST_P(ChecklistTicksTest, WhoMayTickAndUntick)
{
    const char* closed = "The checklist of a closed task cannot be changed";
    const char* noWrite = "You do not have permission to change this task";
    const TickCase cases[] = {
        {"the signer, without write permission", "A", "ann", "", false, "bob", "Build", ""},
        {"the signer of an incomplete task", "I", "ann", "", false, "bob", "Build", ""},
        {"another than the signer, with write permission", "A", "ann", "", false, "ann", "Build",
         "This item is to be checked by bob"},
        {"another than the signer, without", "A", "ann", "", false, "carl", "Build",
         "This item is to be checked by bob"},
        {"the owner, an item without signer", "A", "ann", "", false, "ann", "Ship", ""},
        {"the owner, a disabled signer's item", "A", "ann", "", false, "ann", "Docs", ""},
        {"another user, an item without signer", "A", "ann", "", false, "bob", "Ship", noWrite},
        {"the owner of an incomplete task, no signer", "I", "ann", "", false, "ann", "Ship",
         noWrite},
        {"a completed task", "C", "ann", "", false, "ann", "Ship", closed},
        {"a cancelled task, the signer", "X", "ann", "", false, "bob", "Build", closed},
        {"whoever ticked unticks", "A", "carl", "bob", true, "bob", "Build", ""},
        {"another's tick, the owner", "A", "ann", "bob", true, "ann", "Build",
         "Only bob can uncheck this item"},
        {"another's tick, an item without signer", "A", "ann", "ann", true, "bob", "Ship",
         "Only ann can uncheck this item"},
        {"an untick on a closed task", "C", "ann", "bob", true, "bob", "Build", closed},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.what);
        db().execute(QStringLiteral("DELETE FROM CHECKLIST_ITEM WHERE Attach_Number = ?"),
                     {attach});
        db().execute(QStringLiteral("UPDATE SCR SET SCR_Owner_User_ID = ?, SCR_Status = 'A' "
                                    "WHERE SCR_Number = ?"),
                     {q(c.owner), task});
        const int before = *c.tickedBy ? 1 : 0;
        if (before) {
            ASSERT_TRUE(tick(q(c.tickedBy), q(c.item)));
        }
        setStatus(q(c.status));
        const Outcome<Done> done =
            c.untick ? untick(q(c.user), q(c.item)) : tick(q(c.user), q(c.item));
        EXPECT_EQ(refusalOf(done), q(c.refusal));
        const int changed = c.untick ? before - 1 : before + 1;
        EXPECT_EQ(test::filledRows(db(), attach), *c.refusal ? before : changed);
    }
}

TEST_P(ChecklistTicksTest, TwoConnectionsTickingOneItemLeaveOneRow)
{
    // The first connection is inside its tick: the ATTACH row locked, its row written, not yet
    // committed. The second connection's tick must wait for it and then write nothing.
    std::unique_ptr<Database> other = connectAgain();
    std::optional<Transaction> first(std::in_place, db());
    db().queryLocked(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Number = ?"),
                     {attach});
    db().execute(QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                                "Attach_Number, User_ID, ItemType) VALUES (?, ?, ?, ?, 0)"),
                 {kList, QStringLiteral("Ship"), attach, QStringLiteral("ann")});
    auto second = std::async(std::launch::async, [&] {
        return tickChecklistItem(*other, QStringLiteral("ann"), attach, QStringLiteral("Ship"));
    });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    first->commit();
    first.reset();
    EXPECT_TRUE(second.get());
    EXPECT_EQ(test::filledRows(db(), attach), 1);
}

BX_INSTANTIATE_ENGINES(ChecklistTicksTest);

} // namespace
