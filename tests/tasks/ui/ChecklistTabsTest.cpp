#include "TaskEditorWindowFixture.h"
#include "core/ui/StoredText.h"
#include "support/ActingPrompt.h"
#include "support/ChecklistRows.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/SCR_FORM.h"
#include "workflow/ui/ChecklistView.h"
#include "workflow/ui/F_CHECKLIST.h"

#include <QLineEdit>
#include <QTabWidget>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

namespace {

/** Gives `next` as the neighbour of every task, for Previous and Next. */
class NeighbourHost final : public TaskEditorHost
{
public:
    void taskSaved(qlonglong, bool) override {}
    void refreshTaskLists() override {}
    qlonglong neighbourTask(qlonglong, int) override { return next; }
    qlonglong next = 0;
};

class ChecklistTabsTest : public TaskEditorWindowTest
{
protected:
    void SetUp() override
    {
        TaskEditorWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        addChecklist(
            db(), u"Release"_s, kShop,
            {{u"Build"_s, true, u"bob"_s, u"<b>clean</b> build"_s}, {u"Ship"_s, false, {}, {}}});
        addChecklist(db(), u"Audit"_s, kShop, {{u"Books"_s, false, {}, {}}});
        task = addTask({{scr::Title, u"Release 2"_s}});
    }

    static QStringList captions(QWidget& window)
    {
        auto* tabs = child<QTabWidget>(window, "SSTab1");
        QStringList out;
        for (int i = 0; i < tabs->count(); ++i)
            out << tabs->tabText(i);
        return out;
    }
    static QStringList fixedTabsAnd(const QStringList& more)
    {
        return QStringList{u"Task"_s, u"Attachments"_s, u"Custom"_s, u"Time"_s, u"Memos"_s} + more;
    }
    static QStringList rows(QWidget& view, int column = 0)
    {
        auto* list = child<QTreeWidget>(view, "lstItems");
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out << list->topLevelItem(i)->text(column);
        return out;
    }

    qlonglong task = 0;
};

// The tab-bar checklist gets a tab captioned with its name, showing its items; the tab is built
// again when the attachments are read again, goes before its row is deleted and on Next.
TEST_F(ChecklistTabsTest, TabFollowsTheTabBarChecklist)
{
    const qlonglong shown = attachChecklist(db(), task, u"Release"_s, true);
    const qlonglong other = attachChecklist(db(), task, u"Audit"_s, false);
    const qlonglong next = addTask({{scr::Title, u"next one"_s}});
    session.system.editAttachments = true;
    NeighbourHost neighbours;
    ActingPrompt acting;
    SCR_FORM window(session, acting, &neighbours);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    EXPECT_EQ(captions(window), fixedTabsAnd({u"Release"_s}));
    auto* view = window.findChild<ChecklistView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->attachNumber(), shown);
    EXPECT_EQ(rows(*view), (QStringList{u"* Build"_s, u"Ship"_s}));
    EXPECT_EQ(rows(*view, 1), (QStringList{u"bob"_s, QString()}));
    EXPECT_EQ(child<QTreeWidget>(*view, "lstItems")->topLevelItem(0)->toolTip(0),
              plainToolTip(u"<b>clean</b> build"_s));

    // The other checklist takes the tab bar (as adding it with the box set does).
    db().execute(u"UPDATE ATTACH SET Show_In_TabBar = CASE WHEN Attach_Number = ? "
                 "THEN ? ELSE 0 END WHERE Attach_Type = 'K'"_s,
                 {other, db().dialect().trueValue()});
    window.attachmentPane().refill();
    EXPECT_EQ(captions(window), fixedTabsAnd({u"Audit"_s}));

    // Deleting it: the tab is gone by the time the question is asked.
    select(window, "AttachListView", u"00"_s + QString::number(other));
    QStringList whileAsked;
    acting.whileAsked = [&] { whileAsked = captions(window); };
    trigger(window, "mnuDeleteItem");
    EXPECT_EQ(whileAsked, fixedTabsAnd({}));
    EXPECT_EQ(captions(window), fixedTabsAnd({}));

    db().execute(u"UPDATE ATTACH SET Show_In_TabBar = ? WHERE Attach_Number = ?"_s,
                 {db().dialect().trueValue(), shown});
    window.attachmentPane().refill();
    EXPECT_EQ(captions(window), fixedTabsAnd({u"Release"_s}));
    neighbours.next = next;
    trigger(window, "Next");
    EXPECT_EQ(captions(window), fixedTabsAnd({}));
}

// Ticking in the tab writes at once; a refusal is shown and the box goes back; who ticked shows
// only when the system shows approvers' names.
TEST_F(ChecklistTabsTest, TickingInTheViewWritesAtOnceAndShowsRefusals)
{
    const qlonglong attach = attachChecklist(db(), task, u"Release"_s, true);
    for (const bool show : {false, true}) {
        SCOPED_TRACE(show);
        session.system.showApproverName = show;
        ChecklistView view(session, prompt, attach);
        ASSERT_FALSE(view.reload());
        auto* list = child<QTreeWidget>(view, "lstItems");
        EXPECT_EQ(list->isColumnHidden(2), !show);

        view.setTicked(0, true); // bob's item, and ann is signed in
        EXPECT_EQ(prompt.last().text, u"This item is to be checked by bob"_s);
        EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);

        child<QLineEdit>(view, "txtNote")->setText(u"shipped"_s);
        view.setTicked(1, true);
        EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
        EXPECT_EQ(list->topLevelItem(1)->text(2), show ? kMe : QString());
        EXPECT_EQ(db().scalar(u"SELECT ItemNote FROM CHECKLIST_ITEM WHERE "
                              "Attach_Number = ?"_s,
                              {attach})
                      .toString(),
                  u"shipped"_s);
        view.setTicked(1, false);
        EXPECT_EQ(filledRows(db(), attach), 0);
    }
}

// A double-click on a checklist in the attachment list opens it in its own window; a checklist no
// longer defined is named instead.
TEST_F(ChecklistTabsTest, DoubleClickOpensTheChecklistWindow)
{
    const qlonglong attach = attachChecklist(db(), task, u"Audit"_s);
    const qlonglong gone = attachChecklist(db(), task, u"Old list"_s);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    QStringList opened;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* form = qobject_cast<F_CHECKLIST*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (form)
            opened << form->windowTitle() << rows(form->view());
        return int(QDialog::Accepted);
    });
    auto* list = child<QTreeWidget>(window, "AttachListView");
    for (qlonglong number : {attach, gone}) {
        select(window, "AttachListView", u"00"_s + QString::number(number));
        emit list->itemDoubleClicked(list->currentItem(), 0);
    }
    EXPECT_EQ(opened, (QStringList{u"Checklist: Audit"_s, u"Books"_s}));
    EXPECT_EQ(prompt.last().text, u"Checklist Old list not found"_s);
}

} // namespace
