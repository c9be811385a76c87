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
using namespace Qt::StringLiterals;

namespace {

const QString kList = u"Release"_s;

class ChecklistTicksTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carl"_s});
        db().execute(u"INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, ?)"_s,
                     {u"gone"_s, db().dialect().trueValue()});
        test::addWorkshop(db(), 7);
        // By text: Build (bob's), Docs (a disabled signer's), Ship (anyone's), Test (carl's).
        test::addChecklist(db(), kList, 7,
                           {{u"Test"_s, true, u"carl"_s, {}},
                            {u"Build"_s, true, u"bob"_s, u"Builds <b>clean</b>"_s},
                            {u"Ship"_s, false, {}, {}},
                            {u"Docs"_s, false, u"gone"_s, {}}});
        task = test::addTaskRow(db(), {{u"SCR_Title"_s, u"Release 2"_s},
                                       {u"SCR_Request_ID"_s, u"ann"_s},
                                       {u"Meeting_ID"_s, 0}});
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
        db().execute(u"UPDATE SCR SET SCR_Status = ? WHERE SCR_Number = ?"_s, {status, task});
    }
    /** The titles of `user`'s "Approval" view. */
    QStringList approvalsOf(const QString& user)
    {
        session.user.userId = user;
        const TaskCriteria q = approvalGridQuery(session);
        QStringList out;
        const RecordSet rows = db().query(q.sql, q.params);
        for (int r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, u"SCR_Title"_s).toString();
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
    ASSERT_TRUE(tick(u"bob"_s, u"Build"_s));
    for (const bool show : {true, false}) {
        SCOPED_TRACE(show);
        const Outcome<ChecklistSheet> sheet = loadChecklistSheet(db(), attach, show);
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->name, kList);
        EXPECT_EQ(sheet->taskNumber, task);
        QStringList texts;
        for (const ChecklistLine& line : sheet->lines)
            texts << line.item.text;
        EXPECT_EQ(texts, (QStringList{u"Build"_s, u"Docs"_s, u"Ship"_s, u"Test"_s}));
        const ChecklistLine& build = sheet->lines.at(0);
        EXPECT_TRUE(build.ticked);
        EXPECT_TRUE(build.item.mandatory);
        EXPECT_EQ(build.item.signer, u"bob"_s);
        EXPECT_EQ(build.item.note, u"Builds <b>clean</b>"_s);
        EXPECT_EQ(build.tickedBy, u"bob"_s);
        EXPECT_EQ(build.shownTicker, show ? u"bob"_s : QString());
        EXPECT_FALSE(sheet->lines.at(3).ticked);
        EXPECT_TRUE(sheet->lines.at(3).shownTicker.isEmpty());
    }
}

TEST_P(ChecklistTicksTest, AChecklistNoLongerDefinedIsNamed)
{
    const qlonglong gone = test::attachChecklist(db(), task, u"Old list"_s);
    const QString message = u"Checklist Old list not found"_s;
    const Outcome<ChecklistSheet> sheet = loadChecklistSheet(db(), gone, true);
    ASSERT_TRUE(sheet.refusal());
    EXPECT_EQ(sheet.refusal()->message, message);
    EXPECT_EQ(refusalOf(tickChecklistItem(db(), u"ann"_s, gone, u"Ship"_s)), message);
    EXPECT_EQ(test::filledRows(db(), gone), 0);
}

TEST_P(ChecklistTicksTest, TickWritesTheFilledRowAtOnceAndOnlyOnce)
{
    ASSERT_TRUE(tick(u"ann"_s, u"Ship"_s, u"on time"_s));
    ASSERT_TRUE(tick(u"ann"_s, u"Ship"_s));
    const RecordSet row =
        db().query(u"SELECT Checklist_Name, Action_Name, User_ID, ItemNote, ItemType FROM "
                   "CHECKLIST_ITEM WHERE Attach_Number = ?"_s,
                   {attach});
    ASSERT_EQ(row.rowCount(), 1);
    EXPECT_EQ(bx::test::rowTexts(
                  row, {u"Checklist_Name"_s, u"Action_Name"_s, u"User_ID"_s, u"ItemNote"_s}),
              (QStringList{kList, u"Ship"_s, u"ann"_s, u"on time"_s}));
    EXPECT_EQ(row.number(u"ItemType"_s), 0);
    ASSERT_TRUE(untick(u"ann"_s, u"Ship"_s));
    EXPECT_EQ(test::filledRows(db(), attach), 0);
}

TEST_P(ChecklistTicksTest, TheSignersTickLeavesHisApprovalViewOnly)
{
    const QStringList waiting{u"Release 2"_s};
    EXPECT_EQ(approvalsOf(u"bob"_s), waiting);
    EXPECT_EQ(approvalsOf(u"carl"_s), waiting);
    ASSERT_TRUE(tick(u"bob"_s, u"Build"_s));
    EXPECT_TRUE(approvalsOf(u"bob"_s).isEmpty());
    EXPECT_EQ(approvalsOf(u"carl"_s), waiting);
    ASSERT_TRUE(untick(u"bob"_s, u"Build"_s));
    EXPECT_EQ(approvalsOf(u"bob"_s), waiting);
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
        {"the owner, an item without signer", "A", "ann", "", false, "ann", "Ship", ""},
        {"the owner, a disabled signer's item", "A", "ann", "", false, "ann", "Docs", ""},
        {"another user, an item without signer", "A", "ann", "", false, "bob", "Ship", noWrite},
        {"the owner of an incomplete task, no signer", "I", "ann", "", false, "ann", "Ship",
         noWrite},
        {"another than the signer, without", "A", "ann", "", false, "carl", "Build",
         "This item is to be checked by bob"},
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
        db().execute(u"DELETE FROM CHECKLIST_ITEM WHERE Attach_Number = ?"_s, {attach});
        db().execute(
            u"UPDATE SCR SET SCR_Owner_User_ID = ?, SCR_Status = 'A' WHERE SCR_Number = ?"_s,
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
    db().queryLocked(u"SELECT Attach_Number FROM ATTACH WHERE Attach_Number = ?"_s, {attach});
    db().execute(u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                 "Attach_Number, User_ID, ItemType) VALUES (?, ?, ?, ?, 0)"_s,
                 {kList, u"Ship"_s, attach, u"ann"_s});
    auto second = std::async(
        std::launch::async, [&] { return tickChecklistItem(*other, u"ann"_s, attach, u"Ship"_s); });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    first->commit();
    first.reset();
    EXPECT_TRUE(second.get());
    EXPECT_EQ(test::filledRows(db(), attach), 1);
}

BX_INSTANTIATE_ENGINES(ChecklistTicksTest);

} // namespace
