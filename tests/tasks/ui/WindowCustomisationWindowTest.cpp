#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/WindowTest.h"
#include "tasks/TaskEditor.h"
#include "tasks/WindowCustomRows.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/frmWindowCustomisation.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

using Window = frmWindowCustomisation;

class WindowCustomisationWindowTest : public bx::test::WindowTest
{
protected:
    QTreeWidgetItem* rowOf(QTreeWidget& list, const QString& control)
    {
        const QList<QTreeWidgetItem*> found =
            list.findItems(control, Qt::MatchFixedString, Window::ControlColumn);
        EXPECT_EQ(found.size(), 1) << control.toStdString();
        return found.value(0);
    }
};

// The administrators' window lists the editor's own controls with the rows of the chosen caption
// (and a row whose control the editor lacks); what is edited there is saved when the caption
// changes, and the editor opened under that caption shows it.
TEST_F(WindowCustomisationWindowTest, EditsTheRowsOfACaptionThatTheEditorThenShows)
{
    db().execute(u"INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, CONTROL_VALUE, "
                 "CONTROL_VISIBLE) VALUES ('Task', 'cmdGone', 'Gone', 0)"_s);
    const UserRecord me = session.user.record;
    session.user.record.administrator = false;
    session.user.record.userId = u"bob"_s;
    {
        Window refused(session, prompt);
        EXPECT_FALSE(refused.refresh());
        EXPECT_EQ(prompt.last().text, UserRights::kNotAdministrator);
    }
    session.user.record = me;

    Window window(session, prompt);
    ASSERT_TRUE(window.refresh());
    EXPECT_EQ(window.shownCaption(), u"Task"_s);
    auto* captions = child<QComboBox>(window, "cboWindow");
    for (const QString& caption : SCR_FORM::captions())
        EXPECT_GE(captions->findText(caption), 0) << caption.toStdString();
    auto* list = child<QTreeWidget>(window, "lvControls");
    QTreeWidgetItem* title = rowOf(*list, u"T_TITLE"_s);
    QTreeWidgetItem* save = rowOf(*list, u"Save"_s);
    QTreeWidgetItem* gone = rowOf(*list, u"cmdGone"_s);
    ASSERT_TRUE(title && save && gone);
    EXPECT_EQ(save->text(Window::CaptionColumn), u"Save"_s);
    EXPECT_EQ(gone->text(Window::KindColumn), u"(not in the editor)"_s);
    EXPECT_EQ(gone->checkState(Window::VisibleColumn), Qt::Unchecked);

    title->setCheckState(Window::VisibleColumn, Qt::Unchecked);
    save->setText(Window::NewCaptionColumn, u"O'Neil's save"_s);
    list->setCurrentItem(gone);
    child<QAction>(window, "Reset")->trigger();
    prompt.answer(PromptAnswer::Yes);
    const int meeting = captions->findText(u"Meeting"_s);
    captions->setCurrentIndex(meeting);
    emit captions->activated(meeting);
    EXPECT_EQ(prompt.last().text, kSaveChanges);
    EXPECT_EQ(window.shownCaption(), u"Meeting"_s);
    EXPECT_EQ(windowCustomRows(db(), u"Task"_s).size(), 2);

    SCR_FORM task(session, prompt, nullptr);
    ASSERT_TRUE(task.open(TaskOpening::existing(addOwnTask())));
    EXPECT_TRUE(child<QLineEdit>(task, "T_TITLE")->isHidden());
    EXPECT_EQ(child<QAction>(task, "Save")->text(), u"O'Neil's save"_s);
}

} // namespace
