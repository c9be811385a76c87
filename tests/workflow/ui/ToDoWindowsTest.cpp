// The windows of acting on a task: the to-do panel, the forward dialog and the route history.

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/Lifecycles.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/cSCR.h"
#include "workflow/ui/FORWARD_FORM.h"
#include "workflow/ui/F_TO_DO.h"
#include "workflow/ui/ROUTE_HISTORY.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::child;
using bx::test::ScriptedPrompt;

namespace {

const QString kCycle = u"Buyer's cycle"_s;
const QString kDraft = u"Draft"_s;
const QString kBoss = u"Boss's OK"_s;
const QString kShop = u"Shop"_s;
const QString kDone = u"Done"_s;
constexpr qlonglong kHome = 4;
constexpr qlonglong kOps = 9;
constexpr qlonglong kTask = 42;

class ToDoWindowsTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        session.user.userId = u"ann"_s;
        session.currentWorkshopId = static_cast<int>(kHome);

        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s, u"zoe"_s, u"O'Brien"_s});
        bx::test::addWorkshop(db(), kHome, u"O'Neil's desk"_s);
        bx::test::addWorkshop(db(), kOps, u"Ops O'Brien"_s);
        using namespace bx::test;
        addMembers(db(), kOps, {u"zoe"_s, u"O'Brien"_s});
        // Stage owners: a user, a user, a workshop, the requester.
        addLifecycle(db(), kCycle, kHome,
                     {userStage(kDraft, u"ann"_s, kHome), userStage(kBoss, u"bob"_s, kHome),
                      workshopStage(kShop, kOps), requesterStage(kDone, kHome)});
        addStageAction(db(), kCycle, kBoss, kHome, u"Budget agreed"_s, true);
        addStageAction(db(), kCycle, kBoss, kHome, u"Cc O'Neil"_s, false);
    }

    void run(const char* sql, const QVariantList& params)
    {
        session.db().execute(QString::fromUtf8(sql), params);
    }

    /** A panel for kTask at `stage` of kCycle, or outside any lifecycle for a null stage. */
    std::unique_ptr<F_TO_DO> panel(const QString& stage = kBoss)
    {
        auto window = std::make_unique<F_TO_DO>(session, prompt);
        if (stage.isNull())
            EXPECT_TRUE(window->InitForm(QString(), QString(), 0, kTask));
        else
            EXPECT_TRUE(window->InitForm(kCycle, stage, kHome, kTask, u"dan"_s));
        return window;
    }

    static void press(F_TO_DO& window, const char* key) { child<QAction>(window, key)->trigger(); }
};

TEST_F(ToDoWindowsTest, YesWaitsForTheMandatoryItemThenSavesTheSignatures)
{
    auto window = panel();
    EXPECT_EQ(child<QLabel>(*window, "lblWorkshop")->text(), u"O'Neil's desk"_s);
    auto* budget = child<QCheckBox>(*window, "chkAction0");
    auto* cc = child<QCheckBox>(*window, "chkAction1");

    cc->click();
    EXPECT_EQ(child<QLabel>(*window, "lblSignature1")->text(), u"ann"_s);
    press(*window, "Yes");
    EXPECT_EQ(prompt.texts(), QStringList{u"You have not signed all mandatory action items"_s});
    EXPECT_NE(window->result(), QDialog::Accepted);
    EXPECT_TRUE(window->response().isEmpty());

    budget->click();
    cc->click();
    EXPECT_TRUE(child<QLabel>(*window, "lblSignature1")->text().isEmpty());
    press(*window, "Yes");
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(child<QLineEdit>(*window, "T_RESPONSE")->text(), u"YES"_s);
    // The panel opened again shows the task's own signed copies.
    EXPECT_TRUE(child<QCheckBox>(*panel(), "chkAction0")->isChecked());
}

TEST_F(ToDoWindowsTest, EachButtonHandsBackItsWordAndNoWithoutCommentFocusesIt)
{
    auto refused = panel();
    refused->show();
    auto* comments = child<QTextEdit>(*refused, "COMMENTS");
    comments->setPlainText(u"  "_s);
    child<QPushButton>(*refused, "cmdAccept")->setFocus();
    press(*refused, "No");
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify a comment"_s});
    EXPECT_NE(refused->result(), QDialog::Accepted);
    EXPECT_EQ(refused->focusWidget(), comments);

    const QString note = u"if <b>paid</b>, O'Brien"_s;
    auto window = panel();
    child<QTextEdit>(*window, "COMMENTS")->setPlainText(note);
    press(*window, "Cond");
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(window->response(), u"CONDITIONAL"_s);
    EXPECT_EQ(window->comment(), note);
}

TEST_F(ToDoWindowsTest, WithoutLifecycleThereIsNoJumpAndAcceptCompletes)
{
    EXPECT_TRUE(child<QAction>(*panel(), "Jump")->isVisible());
    auto window = panel(QString());
    EXPECT_FALSE(child<QAction>(*window, "Jump")->isVisible());
    EXPECT_FALSE(child<QAction>(*window, "LCEnd")->isVisible());
    press(*window, "LCEnd"); // a hidden command does nothing, even when triggered
    EXPECT_NE(window->result(), QDialog::Accepted);
    child<QPushButton>(*window, "cmdAccept")->click();
    EXPECT_EQ(window->response(), u"YES"_s);
}

// Jump asks for the stage only once the mandatory items are signed, and hands back the distance.
TEST_F(ToDoWindowsTest, JumpHandsBackTheDistanceToTheChosenStage)
{
    auto window = panel();
    QStringList offered;
    window->setStageChooser([&](const QList<LifecycleStage>& stages, const QString& current) {
        for (const LifecycleStage& s : stages)
            offered << s.stageName;
        EXPECT_EQ(current, kBoss);
        return u"draft"_s;
    });
    press(*window, "Jump");
    EXPECT_TRUE(offered.isEmpty()) << "asked before the mandatory item was signed";
    child<QCheckBox>(*window, "chkAction0")->click();
    press(*window, "Jump");
    EXPECT_EQ(offered, (QStringList{kDraft, kBoss, kShop, kDone}));
    EXPECT_EQ(child<QLineEdit>(*window, "T_RESPONSE")->text(), u"Jump"_s);
    EXPECT_EQ(child<QLineEdit>(*window, "T_JUMP_STAGE")->text(), u"-1"_s);
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

// The task editor's path: the panel runs modally for the loaded task and its answer is taken by
// the task object in its own words.
TEST_F(ToDoWindowsTest, AskCloseOutCancelsTheTaskWithTheComment)
{
    const qlonglong number = bx::test::addTaskRow(db(), {{scr::GroupId, kHome},
                                                         {scr::RequestId, u"bob"_s},
                                                         {scr::RequestGroupId, kHome},
                                                         {scr::LifecycleId, kCycle},
                                                         {scr::LcStageName, kBoss},
                                                         {scr::LcOwnerId, u"dan"_s},
                                                         {scr::LcOwnerGroupId, kHome}});
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));

    const QString note = u"O'Brien's \"no\""_s;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<F_TO_DO*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->findChild<QLabel*>(u"lblTask"_s)->text(), QString::number(number));
        window->findChild<QTextEdit*>(u"COMMENTS"_s)->setPlainText(note);
        window->findChild<QAction*>(u"Cancel"_s)->trigger();
    });
    const std::optional<CloseOutChoice> choice =
        askCloseOut(session, prompt,
                    {task.SCR_Lifecycle_ID(), task.SCR_LC_Stage_Name(),
                     task.SCR_LC_Owner_Group_ID(), number, task.SCR_LC_Owner_ID()});
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(*choice, (CloseOutChoice{u"Cancel"_s, 0, note}));

    ASSERT_TRUE(task.CloseOut(choice->action, choice->step, choice->note));
    EXPECT_EQ(session.db()
                  .scalar(u"SELECT SCR_Status FROM SCR WHERE SCR_Number = ?"_s, {number})
                  .toString(),
              u"X"_s);
}

TEST_F(ToDoWindowsTest, ForwardFormNeedsARecipient)
{
    FORWARD_FORM window(session, prompt);
    auto* recipient = child<QLineEdit>(window, "T_RECIPIENT");
    child<QTextEdit>(window, "T_NOTE")->setPlainText(u"O'Brien's turn"_s);
    child<QPushButton>(window, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify a recipient"_s});
    EXPECT_NE(window.result(), QDialog::Accepted);

    const QList<cSelUser> chosen{{QString(), kOps, OwnerType::Workshop},
                                 {u"O'Brien"_s, kOps, OwnerType::User}};
    window.setRecipients(chosen);
    EXPECT_EQ(recipient->text(), u"Workshop: Ops O'Brien; O'Brien"_s);
    child<QPushButton>(window, "cmdOK")->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.recipients(), chosen);
    EXPECT_EQ(window.note(), u"O'Brien's turn"_s);
}

TEST_F(ToDoWindowsTest, RouteHistoryRefreshesAndSavesThePage)
{
    const auto addRoute = [&](const QString& action, const QString& note) {
        run("INSERT INTO ROUTE (SCR_Number, USER_ID, Route_Status, Route_Action, Route_Note) "
            "VALUES (?, ?, ?, ?, ?)",
            {kTask, u"O'Brien"_s, u"A"_s, action, note});
    };
    addRoute(u"YES"_s, u"O'Brien's <b>fine</b> & done"_s);
    QTemporaryDir work;
    ROUTE_HISTORY window(session, prompt, kTask, nullptr, work.path());
    auto* browser = child<QTextBrowser>(window, "WebBrowser");
    EXPECT_EQ(window.pagePath(), work.filePath(u"RHistory.html"_s));
    EXPECT_TRUE(browser->toPlainText().contains(u"O'Brien's <b>fine</b> & done"_s));

    addRoute(u"Task routed to 'zoe'"_s, QString());
    EXPECT_FALSE(browser->toPlainText().contains(u"Task routed to 'zoe'"_s));
    child<QAction>(window, "Refresh")->trigger();
    EXPECT_TRUE(browser->toPlainText().contains(u"Task routed to 'zoe'"_s));

    const QString target = work.filePath(u"O'Brien's history.html"_s);
    window.setSaveTarget([&] { return target; });
    child<QAction>(window, "Save")->trigger();
    child<QAction>(window, "Save")->trigger(); // over the earlier copy
    QFile page(window.pagePath());
    QFile copy(target);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), page.readAll());
    EXPECT_TRUE(prompt.texts().isEmpty()) << prompt.texts().join(u'\n').toStdString();
}

} // namespace
