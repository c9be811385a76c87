#include "PlugInWindowFixture.h"
#include "support/ActingPrompt.h"
#include "tasks/PlugInProtocol.h"
#include "tasks/ui/ACTIVEX_FORM.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/PlugInHost.h"
#include "tasks/ui/SCR_FORM.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTextBrowser>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

namespace {

class PlugInAttachmentsTest : public PlugInWindowTest
{
protected:
    /** Runs ACTIVEX_FORM choosing the row labelled `label` ("" for none) and pressing OK. */
    void chooseInForm(SCR_FORM& window, const QString& label, bool tabBar)
    {
        window.attachmentPane().setDialogRunner([label, tabBar](QDialog& dialog) {
            auto* form = qobject_cast<ACTIVEX_FORM*>(&dialog);
            EXPECT_NE(form, nullptr);
            if (!form)
                return int(QDialog::Rejected);
            auto* list = child<QListWidget>(*form, "lstControls");
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->text() == label)
                    list->setCurrentRow(i);
            child<QCheckBox>(*form, "chkTabBar")->setChecked(tabBar);
            QMetaObject::invokeMethod(child<QAbstractButton>(*form, "cmdOK"), "click");
            return form->result();
        });
    }
    QStringList tabCaptions(QWidget& window)
    {
        auto* tabs = child<QTabWidget>(window, "SSTab1");
        QStringList out;
        for (int i = 5; i < tabs->count(); ++i)
            out << tabs->tabText(i);
        return out;
    }
};

// Adding through the menu: nothing chosen is refused; the chosen plug-in is stored, shown on a tab
// captioned with its label and told its attachment as key.
TEST_F(PlugInAttachmentsTest, AddedPlugInJoinsTheTabBarOnce)
{
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    ASSERT_TRUE(enabled(window, "mnuAddPlugIn"));

    chooseInForm(window, QString(), true);
    trigger(window, "mnuAddPlugIn");
    EXPECT_EQ(prompt.last().text, u"Please specify a Control"_s);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?", {task}), 0);

    chooseInForm(window, kPanelLabel, true);
    trigger(window, "mnuAddPlugIn");
    const RecordSet row =
        db().query(u"SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ?"_s, {task});
    ASSERT_EQ(row.rowCount(), 1);
    const qlonglong number = row.number(u"Attach_Number"_s);

    EXPECT_EQ(tabCaptions(window), QStringList{kPanelLabel});
    QWidget* page = child<QTabWidget>(window, "SSTab1")->widget(5);
    auto* plugIn = child<QWidget>(*page, "BX_Custom");
    EXPECT_TRUE(sampleLog(*plugIn).contains(u"key=%1"_s.arg(number)));
    EXPECT_TRUE(sampleLog(*plugIn).endsWith(u"ACTION=VIEW"_s));
}

// Outside the tab bar the plug-in takes the preview's place while its row is selected; it hears
// "EXIT" and is gone before the question that deletes its row.
TEST_F(PlugInAttachmentsTest, PaneShowsThePlugInAndTellsItExitBeforeDeleting)
{
    session.system.editAttachments = true;
    const qlonglong number = attachPlugIn(kSample, false);
    ActingPrompt acting;
    SCR_FORM window(session, acting, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    selectFile(window, number);
    auto* plugIn = child<QWidget>(window, "BX_Custom");
    ASSERT_NE(plugIn, nullptr);
    EXPECT_TRUE(child<QTextBrowser>(window, "Browser1")->isHidden());
    const ActionRecorder heard(*plugIn);

    bool goneWhileAsked = false;
    acting.whileAsked = [&] {
        goneWhileAsked = window.findChild<QWidget*>(u"BX_Custom"_s) == nullptr;
    };
    trigger(window, "mnuDeleteItem");
    EXPECT_EQ(heard.actions, QStringList{u"EXIT"_s});
    EXPECT_TRUE(goneWhileAsked);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE Attach_Number = ?", {number}), 0);
    EXPECT_FALSE(child<QTextBrowser>(window, "Browser1")->isHidden());
}

// A plug-in that cannot be hosted shows the host's message where it would be, in the pane or on
// its tab, and the task still saves.
TEST_F(PlugInAttachmentsTest, FailuresShowTheirMessageAndTheTaskStillSaves)
{
    const QString missing = u"BxTest.Missing"_s;
    const qlonglong inTab = attachPlugIn(u"BxTest.WrongIid"_s, true);
    const qlonglong inPane = attachPlugIn(missing, false);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    auto* tabLabel = qobject_cast<QLabel*>(
        child<QTabWidget>(window, "SSTab1")->widget(5)->findChild<QWidget*>(u"BX_Custom"_s));
    ASSERT_NE(tabLabel, nullptr);
    EXPECT_TRUE(
        tabLabel->text().startsWith(plugInNotLoadedMessage(u"BxTest.WrongIid"_s, QString())));
    selectFile(window, inPane);
    QLabel* paneLabel = nullptr;
    for (auto* label : window.findChildren<QLabel*>(u"BX_Custom"_s))
        if (label != tabLabel)
            paneLabel = label;
    ASSERT_NE(paneLabel, nullptr);
    EXPECT_EQ(paneLabel->text(), plugInNotInstalledMessage(missing));

    child<QLineEdit>(window, "T_TITLE")->setText(u"Saved without them"_s);
    EXPECT_TRUE(window.saveTask());
    EXPECT_EQ(stored(task, "SCR_Title").toString(), u"Saved without them"_s);
    EXPECT_NE(inTab, inPane);
}

} // namespace

namespace {

using PlugInCrashTest = PlugInAttachmentsTest;

// A plug-in that takes the program down as it is told "EXIT" (in a child process here) leaves
// what the user had typed; the next start reopens the task with it, unsaved, once.
TEST_F(PlugInCrashTest, NextStartReopensTheTaskWithTheTypedValues)
{
    const QString aborting = u"BxTest.Aborting"_s;
    attachPlugIn(aborting, true);
    qputenv("BX_TEST_PLUGIN_ABORT_ON", "EXIT");
    EXPECT_DEATH(
        {
            SCR_FORM window(session, prompt, &host);
            if (window.open(TaskOpening::existing(task))) {
                child<QLineEdit>(window, "T_TITLE")->setText(u"Typed, not saved"_s);
                child<QLineEdit>(window, "T_CUSTOMFIELD")->setText(u"REF-9"_s);
                db().execute(u"UPDATE ATTACH SET Show_In_TabBar = 0"_s);
                window.attachmentPane().refill();
            }
        },
        "");
    qunsetenv("BX_TEST_PLUGIN_ABORT_ON");
    EXPECT_TRUE(prompt.records().isEmpty());

    const QList<SCR_FORM*> reopened =
        SCR_FORM::reopenAfterPlugInCrash(session, prompt, &host, nullptr);
    ASSERT_EQ(reopened.size(), 1);
    std::unique_ptr<SCR_FORM> editor(reopened.at(0));
    EXPECT_EQ(editor->SCR().SCR_Number(), task);
    EXPECT_EQ(child<QLineEdit>(*editor, "T_TITLE")->text(), u"Typed, not saved"_s);
    EXPECT_EQ(child<QLineEdit>(*editor, "T_CUSTOMFIELD")->text(), u"REF-9"_s);
    EXPECT_TRUE(editor->isDirty());
    EXPECT_EQ(stored(task, "SCR_Title").toString(), u"Chairs"_s);
    EXPECT_TRUE(prompt.last().text.contains(aborting));
    EXPECT_TRUE(prompt.last().text.contains(QString::number(task)));

    EXPECT_TRUE(SCR_FORM::reopenAfterPlugInCrash(session, prompt, &host, nullptr).isEmpty());
}

} // namespace
