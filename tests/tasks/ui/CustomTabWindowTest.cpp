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

using namespace Qt::StringLiterals;
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
        addWorkshop(db(), 70, u"Head office"_s);
        db().execute(u"UPDATE LU_GROUP SET parent_workshop = 70 WHERE GROUP_ID = ?"_s, {kShop});
        db().execute(u"INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (70, ?)"_s, {kSample});
    }
    /** Opens the task and selects the custom tab; returns the plug-in's widget. */
    QWidget* showCustomTab(SCR_FORM& window)
    {
        EXPECT_TRUE(window.open(TaskOpening::existing(task)));
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);
        return window.findChild<QWidget*>(u"BX_CustomTab"_s);
    }
};

// The first showing tells the plug-in, in this order, the parent, the editor's values (the empty
// due date left out), then task, key and mode: "VIEW" unless the user may edit the custom tab.
TEST_F(CustomTabWindowTest, PlugInOfTheWorkshopAboveHearsTheEditorInOrder)
{
    db().execute(u"UPDATE SCR SET SCR_Custom_Field = ?, SCR_Category = ? WHERE "
                 "SCR_Number = ?"_s,
                 {u"REF-1"_s, u"O'Neil's folder"_s, task});
    for (const bool mayEdit : {false, true}) {
        SCOPED_TRACE(mayEdit);
        session.user.record.editCustomTab = mayEdit;
        SCR_FORM window(session, prompt, &host);
        QWidget* plugIn = showCustomTab(window);
        ASSERT_NE(plugIn, nullptr);
        const QStringList expected{u"SCR_Parent_Number=0"_s,
                                   u"SCR_Lifecycle_ID="_s,
                                   u"SCR_Category=O'Neil's folder"_s,
                                   u"SCR_Priority="_s,
                                   u"SCR_Comments="_s,
                                   u"SCR_Title=Chairs"_s,
                                   u"User_ID=ann"_s,
                                   u"BXDB=(database)"_s,
                                   u"bODBC=false"_s,
                                   u"SCR_Custom_Field=REF-1"_s,
                                   u"SCR_Number=%1"_s.arg(task),
                                   u"key=key"_s,
                                   mayEdit ? u"ACTION=EDIT"_s : u"ACTION=VIEW"_s};
        EXPECT_EQ(sampleLog(*plugIn).split(QLatin1Char('\n')), expected);

        // Back to the first tab changes nothing; the custom tab again sends the values again.
        child<QLineEdit>(window, "T_TITLE")->setText(u"Chairs, blue"_s);
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(0);
        EXPECT_EQ(sampleLog(*plugIn).count(QLatin1Char('\n')), expected.size() - 1);
        child<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);
        EXPECT_TRUE(sampleLog(*plugIn).endsWith(u"SCR_Title=Chairs, blue"_s));
    }
}

// After a route the plug-in hears "CANCEL"; leaving the task it hears "EXIT" and is gone.
TEST_F(CustomTabWindowTest, RouteEndsWithCancelAndClosingWithExit)
{
    session.user.record.editCustomTab = true;
    auto* window = new SCR_FORM(session, prompt, &host);
    QWidget* plugIn = showCustomTab(*window);
    ASSERT_NE(plugIn, nullptr);
    child<QLineEdit>(*plugIn, "Reference")->setText(u"REF-3"_s);
    const ActionRecorder heard(*plugIn);
    window->setForwardAsker([] {
        return SCR_FORM::ForwardAnswer{{cSelUser{u"bob"_s, kShop}}, {}};
    });
    window->forwardTask();
    EXPECT_GT(sqlNumber("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ?", {task}), 0);
    EXPECT_EQ(stored(task, "SCR_Owner_User_ID").toString(), u"bob"_s);
    EXPECT_EQ(heard.actions, (QStringList{u"SAVE"_s, u"CANCEL"_s, u"EXIT"_s}));
    EXPECT_EQ(window->findChild<QWidget*>(u"BX_CustomTab"_s), nullptr);
    delete window;
}

// A plug-in that throws while the task saves is closed, its message logged; the task saves with
// the editor's values, its custom field untouched.
TEST_F(CustomTabWindowTest, ThrowingPlugInIsClosedAndTheTaskSavesWithoutIt)
{
    const QString throwing = u"BxTest.Throwing"_s;
    db().execute(u"INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (?, ?)"_s, {kShop, throwing});
    db().execute(u"UPDATE SCR SET SCR_Custom_Field = ? WHERE SCR_Number = ?"_s, {u"REF-1"_s, task});
    SCR_FORM window(session, prompt, &host);
    ASSERT_NE(showCustomTab(window), nullptr);
    child<QLineEdit>(window, "T_TITLE")->setText(u"Chairs, red"_s);
    EXPECT_TRUE(window.saveTask());
    EXPECT_EQ(stored(task, "SCR_Title").toString(), u"Chairs, red"_s);
    EXPECT_EQ(stored(task, "SCR_Custom_Field").toString(), u"REF-1"_s);
    EXPECT_TRUE(
        QString::fromUtf8(fileBytes(ErrorLog(clock).path()))
            .contains(plugInFailedMessage(throwing, u"the reference list is unreachable"_s)));
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
        db().scalar(u"SELECT ProgID FROM CUSTOM_TAB WHERE group_id = ?"_s, {kShop}).toString(),
        kSample);
    dlgCustomTab again(session, prompt, kShop);
    EXPECT_EQ(child<QListWidget>(again, "lstControls")->currentItem()->text(), kPanelLabel);
}

} // namespace
