#include "PlugInWindowFixture.h"
#include "core/ErrorLog.h"
#include "core/UserRights.h"
#include "support/SampleFiles.h"
#include "tasks/ui/PlugInHost.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/dlgCustomTab.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

using namespace bx;
using namespace bx::test;

namespace {

class CustomTabWindowTest : public PlugInWindowTest
{
protected:
    void SetUp() override
    {
        PlugInWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        addWorkshop(db(), 70, QStringLiteral("Head office"));
        db().execute(QStringLiteral("UPDATE LU_GROUP SET parent_workshop = 70 WHERE GROUP_ID = ?"),
                     {kShop});
        db().execute(QStringLiteral("INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (70, ?)"),
                     {kSample});
    }
    /** Opens the task and selects the custom tab; returns the plug-in's widget. */
    QWidget* showCustomTab(SCR_FORM& window)
    {
        EXPECT_TRUE(window.open(TaskOpening::existing(task)));
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);
        return window.findChild<QWidget*>(QStringLiteral("BX_CustomTab"));
    }
    void typeReference(QWidget& plugIn, const QString& text)
    {
        child<QLineEdit>(plugIn, "Reference")->setText(text);
    }
};

// The first showing tells the plug-in, in this order, the parent, the editor's values (the empty
// due date left out), then task, key and mode: "VIEW" unless the user may edit the custom tab.
TEST_F(CustomTabWindowTest, PlugInOfTheWorkshopAboveHearsTheEditorInOrder)
{
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Custom_Field = ?, SCR_Category = ? WHERE "
                                "SCR_Number = ?"),
                 {QStringLiteral("REF-1"), QStringLiteral("O'Neil's folder"), task});
    for (const bool mayEdit : {false, true}) {
        SCOPED_TRACE(mayEdit);
        session.user.record.editCustomTab = mayEdit;
        SCR_FORM window(session, prompt, &host);
        QWidget* plugIn = showCustomTab(window);
        ASSERT_NE(plugIn, nullptr);
        const QStringList expected{QStringLiteral("SCR_Parent_Number=0"),
                                   QStringLiteral("SCR_Lifecycle_ID="),
                                   QStringLiteral("SCR_Category=O'Neil's folder"),
                                   QStringLiteral("SCR_Priority="),
                                   QStringLiteral("SCR_Comments="),
                                   QStringLiteral("SCR_Title=Chairs"),
                                   QStringLiteral("User_ID=ann"),
                                   QStringLiteral("BXDB=(database)"),
                                   QStringLiteral("bODBC=false"),
                                   QStringLiteral("SCR_Custom_Field=REF-1"),
                                   QStringLiteral("SCR_Number=%1").arg(task),
                                   QStringLiteral("key=key"),
                                   mayEdit ? QStringLiteral("ACTION=EDIT")
                                           : QStringLiteral("ACTION=VIEW")};
        EXPECT_EQ(sampleLog(*plugIn).split(QLatin1Char('\n')), expected);

        // Back to the first tab changes nothing; the custom tab again sends the values again.
        child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("Chairs, blue"));
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(0);
        EXPECT_EQ(sampleLog(*plugIn).count(QLatin1Char('\n')), expected.size() - 1);
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);
        EXPECT_TRUE(sampleLog(*plugIn).endsWith(QStringLiteral("SCR_Title=Chairs, blue")));
    }
}

// A plug-in that answers "SAVE" with "CANCEL" stops the save without a word and nothing is
// written; once it agrees, its reference is the task's custom field.
TEST_F(CustomTabWindowTest, VetoStopsTheSaveSilently)
{
    session.user.record.editCustomTab = true;
    SCR_FORM window(session, prompt, &host);
    QWidget* plugIn = showCustomTab(window);
    ASSERT_NE(plugIn, nullptr);
    child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("Chairs, blue"));
    window.setForwardAsker([] {
        return SCR_FORM::ForwardAnswer{{cSelUser{QStringLiteral("bob"), kShop}}, {}};
    });
    window.forwardTask();
    EXPECT_TRUE(prompt.records().isEmpty());
    ASSERT_EQ(stored(task, "SCR_Title").toString(), QStringLiteral("Chairs"));
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ?", {task}), 0);

    typeReference(*plugIn, QStringLiteral("REF-2"));
    EXPECT_TRUE(window.saveTask());
    EXPECT_EQ(stored(task, "SCR_Custom_Field").toString(), QStringLiteral("REF-2"));
    EXPECT_EQ(stored(task, "SCR_Title").toString(), QStringLiteral("Chairs, blue"));
}

// After a route the plug-in hears "CANCEL"; leaving the task it hears "EXIT" and is gone.
TEST_F(CustomTabWindowTest, RouteEndsWithCancelAndClosingWithExit)
{
    session.user.record.editCustomTab = true;
    auto* window = new SCR_FORM(session, prompt, &host);
    QWidget* plugIn = showCustomTab(*window);
    ASSERT_NE(plugIn, nullptr);
    typeReference(*plugIn, QStringLiteral("REF-3"));
    const ActionRecorder heard(*plugIn);
    window->setForwardAsker([] {
        return SCR_FORM::ForwardAnswer{{cSelUser{QStringLiteral("bob"), kShop}}, {}};
    });
    window->forwardTask();
    EXPECT_GT(sqlNumber("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ?", {task}), 0);
    EXPECT_EQ(stored(task, "SCR_Owner_User_ID").toString(), QStringLiteral("bob"));
    EXPECT_EQ(heard.actions, (QStringList{QStringLiteral("SAVE"), QStringLiteral("CANCEL"),
                                          QStringLiteral("EXIT")}));
    EXPECT_EQ(window->findChild<QWidget*>(QStringLiteral("BX_CustomTab")), nullptr);
    delete window;
}

// A plug-in that throws while the task saves is closed, its message logged; the task saves with
// the editor's values, its custom field untouched.
TEST_F(CustomTabWindowTest, ThrowingPlugInIsClosedAndTheTaskSavesWithoutIt)
{
    const QString throwing = QStringLiteral("BxTest.Throwing");
    db().execute(QStringLiteral("INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (?, ?)"),
                 {kShop, throwing});
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Custom_Field = ? WHERE SCR_Number = ?"),
                 {QStringLiteral("REF-1"), task});
    SCR_FORM window(session, prompt, &host);
    ASSERT_NE(showCustomTab(window), nullptr);
    child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("Chairs, red"));
    EXPECT_TRUE(window.saveTask());
    EXPECT_EQ(stored(task, "SCR_Title").toString(), QStringLiteral("Chairs, red"));
    EXPECT_EQ(stored(task, "SCR_Custom_Field").toString(), QStringLiteral("REF-1"));
    EXPECT_TRUE(QString::fromUtf8(fileBytes(ErrorLog(clock).path()))
                    .contains(plugInFailedMessage(
                        throwing, QStringLiteral("the reference list is unreachable"))));
}

// The administrators' window lists the registered plug-ins after "none of its own", shows the
// workshop's choice and writes a new one; anybody else is refused and nothing is written.
TEST_F(CustomTabWindowTest, OnlyAdministratorsChooseTheWorkshopsPlugIn)
{
    auto chooseSample = [&] {
        dlgCustomTab dialog(session, prompt, kShop);
        auto* list = child<QListWidget>(dialog, "lstControls");
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->currentRow(), 0);
        list->setCurrentRow(1);
        child<QAbstractButton>(dialog, "cmdOK")->click();
        return dialog.result();
    };
    session.user.record.userId = kMe;
    EXPECT_EQ(chooseSample(), QDialog::Rejected);
    EXPECT_EQ(prompt.last().text, UserRights::kNotAdministrator);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM CUSTOM_TAB WHERE group_id = ?", {kShop}), 0);

    session.user.record.administrator = true;
    EXPECT_EQ(chooseSample(), QDialog::Accepted);
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT ProgID FROM CUSTOM_TAB WHERE group_id = ?"), {kShop})
            .toString(),
        kSample);
    dlgCustomTab again(session, prompt, kShop);
    EXPECT_EQ(child<QListWidget>(again, "lstControls")->currentItem()->text(), kPanelLabel);
}

} // namespace
