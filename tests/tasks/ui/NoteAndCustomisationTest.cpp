#include "core/Session.h"
#include "core/db/Database.h"
#include "support/ScriptedPrompt.h"
#include "support/WindowTest.h"
#include "tasks/cSCR.h"
#include "tasks/ui/F_COMMENTS.h"
#include "tasks/ui/WindowCustomisation.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::ScriptedPrompt;

namespace {

class NoteAndCustomisationTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.userId = u"admin"_s;
    }
    void TearDown() override { F_COMMENTS::setAnswerForTests({}); }

    void addCustom(const QString& form, const QString& control, const QVariant& value, bool visible)
    {
        session.db().execute(u"INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, "
                             "CONTROL_VALUE, CONTROL_VISIBLE) VALUES (?, ?, ?, ?)"_s,
                             {form, control, value, session.db().dialect().flag(visible)});
    }
};

TEST_F(NoteAndCustomisationTest, NotesAskTheRightQuestionAndReturnTheAnswer)
{
    QStringList asked;
    std::optional<QString> answer = u"O'Neil's delay"_s;
    F_COMMENTS::setAnswerForTests([&](const QString& q) {
        asked << q;
        return answer;
    });
    cSCR task(session, prompt);
    F_COMMENTS notes(task, nullptr);

    EXPECT_EQ(notes.OnTargetChange(), std::optional<QString>(u"O'Neil's delay"_s));
    answer = std::nullopt;
    EXPECT_EQ(notes.OnStartChange(), std::nullopt);

    task.setTaskType(TaskType::Meeting);
    notes.OnTargetChange();
    EXPECT_EQ(asked,
              (QStringList{u"Please specify comments related to the due date change"_s,
                           u"Please specify comments related to the start date change"_s,
                           u"Please specify comments related to the meeting date change"_s}));
}

TEST_F(NoteAndCustomisationTest, TheDialogTakesTheTypedNoteOnOkAndCancelsOnEscape)
{
    const auto act = [](std::function<void(QWidget&)> what) {
        QTimer::singleShot(0, [what] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            what(*dialog);
        });
    };
    QString caption;
    act([&caption](QWidget& dialog) {
        caption = dialog.windowTitle();
        auto* note = dialog.findChild<QTextEdit*>(u"T_COMMENTS"_s);
        ASSERT_NE(note, nullptr);
        note->setPlainText(u"moved \"again\""_s);
        dialog.findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
    EXPECT_EQ(F_COMMENTS::askNote(nullptr,
                                  u"Please specify comments related to the meeting date change"_s,
                                  u"Reschedule Meeting?"_s),
              std::optional<QString>(u"moved \"again\""_s));
    EXPECT_EQ(caption, u"Reschedule Meeting?"_s);

    act([](QWidget& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(
        F_COMMENTS::askNote(nullptr, u"Please specify comments related to the start date change"_s),
        std::nullopt);
}

TEST_F(NoteAndCustomisationTest, CustomRowsHideAndRenameTheNamedControlsOfThatWindowOnly)
{
    const QString form = u"O'Neil's Task"_s;
    addCustom(form, u"cmdRoute"_s, u"Send"_s, false);
    addCustom(form, u"Label2"_s, u"<b>Owner's</b> no.:"_s, true);
    addCustom(form, u"fraDates"_s, u"When"_s, true);
    addCustom(form, u"mnuPrint"_s, u"Print it"_s, false);
    addCustom(form, u"tabCustom"_s, u"Extra"_s, true);
    addCustom(form, u"tabHistory"_s, QVariant(), false);
    addCustom(form, u"cmdGone"_s, u"Nothing"_s, false);
    addCustom(u"Other window"_s, u"Label2"_s, u"No"_s, false);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* route = new QPushButton(u"Route"_s);
    route->setObjectName(u"cmdRoute"_s);
    auto* label = new QLabel(u"Number:"_s);
    label->setObjectName(u"Label2"_s);
    auto* dates = new QGroupBox(u"Dates"_s);
    dates->setObjectName(u"fraDates"_s);
    auto* tabs = new QTabWidget;
    auto* custom = new QWidget;
    custom->setObjectName(u"tabCustom"_s);
    auto* history = new QWidget;
    history->setObjectName(u"tabHistory"_s);
    tabs->addTab(custom, u"Custom"_s);
    tabs->addTab(history, u"History"_s);
    for (QWidget* w : {static_cast<QWidget*>(route), static_cast<QWidget*>(label),
                       static_cast<QWidget*>(dates), static_cast<QWidget*>(tabs)})
        layout->addWidget(w);
    auto* print = new QAction(u"Print"_s, &window);
    print->setObjectName(u"mnuPrint"_s);

    applyWindowCustomisation(session, window, form);

    EXPECT_TRUE(route->isHidden());
    EXPECT_EQ(route->text(), u"Send"_s);
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(), u"<b>Owner's</b> no.:"_s);
    EXPECT_EQ(label->textFormat(), Qt::PlainText); // a stored caption shows as written
    EXPECT_EQ(dates->title(), u"When"_s);
    EXPECT_FALSE(print->isVisible());
    EXPECT_EQ(print->text(), u"Print it"_s);
    EXPECT_EQ(tabs->tabText(0), u"Extra"_s);
    EXPECT_TRUE(tabs->isTabVisible(0));
    EXPECT_EQ(tabs->tabText(1), u"History"_s); // a Null value keeps the caption
    EXPECT_FALSE(tabs->isTabVisible(1));

    // Another caption (Next onto a meeting) starts from the window as it was built: only its own
    // rows change it.
    applyWindowCustomisation(session, window, u"Other window"_s);
    EXPECT_FALSE(route->isHidden());
    EXPECT_EQ(route->text(), u"Route"_s);
    EXPECT_TRUE(label->isHidden());
    EXPECT_EQ(label->text(), u"No"_s);
    EXPECT_EQ(dates->title(), u"Dates"_s);
    EXPECT_TRUE(print->isVisible());
    EXPECT_EQ(print->text(), u"Print"_s);
    EXPECT_EQ(tabs->tabText(0), u"Custom"_s);
    EXPECT_TRUE(tabs->isTabVisible(1));

    applyWindowCustomisation(session, window, form);
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(), u"<b>Owner's</b> no.:"_s);
    EXPECT_EQ(route->text(), u"Send"_s);
}

} // namespace
