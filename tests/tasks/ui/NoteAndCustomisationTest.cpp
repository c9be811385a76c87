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
        session.user.userId = QStringLiteral("admin");
    }
    void TearDown() override { F_COMMENTS::setAnswerForTests({}); }

    void addCustom(const QString& form, const QString& control, const QVariant& value, bool visible)
    {
        session.db().execute(QStringLiteral("INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, "
                                            "CONTROL_VALUE, CONTROL_VISIBLE) VALUES (?, ?, ?, ?)"),
                             {form, control, value, session.db().dialect().flag(visible)});
    }
};

TEST_F(NoteAndCustomisationTest, NotesAskTheRightQuestionAndReturnTheAnswer)
{
    QStringList asked;
    std::optional<QString> answer = QStringLiteral("O'Neil's delay");
    F_COMMENTS::setAnswerForTests([&](const QString& q) {
        asked << q;
        return answer;
    });
    cSCR task(session, prompt);
    F_COMMENTS notes(task, nullptr);

    EXPECT_EQ(notes.OnTargetChange(), std::optional<QString>(QStringLiteral("O'Neil's delay")));
    answer = std::nullopt;
    EXPECT_EQ(notes.OnStartChange(), std::nullopt);

    task.setTaskType(TaskType::Meeting);
    notes.OnTargetChange();
    EXPECT_EQ(asked, (QStringList{F_COMMENTS::kTargetQuestion, F_COMMENTS::kStartQuestion,
                                  F_COMMENTS::kMeetingQuestion}));
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
        auto* note = dialog.findChild<QTextEdit*>(QStringLiteral("T_COMMENTS"));
        ASSERT_NE(note, nullptr);
        note->setPlainText(QStringLiteral("moved \"again\""));
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    EXPECT_EQ(
        F_COMMENTS::askNote(nullptr, F_COMMENTS::kMeetingQuestion, F_COMMENTS::kMeetingCaption),
        std::optional<QString>(QStringLiteral("moved \"again\"")));
    EXPECT_EQ(caption, F_COMMENTS::kMeetingCaption);

    act([](QWidget& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(F_COMMENTS::askNote(nullptr, F_COMMENTS::kStartQuestion), std::nullopt);
}

TEST_F(NoteAndCustomisationTest, CustomRowsHideAndRenameTheNamedControlsOfThatWindowOnly)
{
    const QString form = QStringLiteral("O'Neil's Task");
    addCustom(form, QStringLiteral("cmdRoute"), QStringLiteral("Send"), false);
    addCustom(form, QStringLiteral("Label2"), QStringLiteral("<b>Owner's</b> no.:"), true);
    addCustom(form, QStringLiteral("fraDates"), QStringLiteral("When"), true);
    addCustom(form, QStringLiteral("mnuPrint"), QStringLiteral("Print it"), false);
    addCustom(form, QStringLiteral("tabCustom"), QStringLiteral("Extra"), true);
    addCustom(form, QStringLiteral("tabHistory"), QVariant(), false);
    addCustom(form, QStringLiteral("cmdGone"), QStringLiteral("Nothing"), false);
    addCustom(QStringLiteral("Other window"), QStringLiteral("Label2"), QStringLiteral("No"),
              false);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* route = new QPushButton(QStringLiteral("Route"));
    route->setObjectName(QStringLiteral("cmdRoute"));
    auto* label = new QLabel(QStringLiteral("Number:"));
    label->setObjectName(QStringLiteral("Label2"));
    auto* dates = new QGroupBox(QStringLiteral("Dates"));
    dates->setObjectName(QStringLiteral("fraDates"));
    auto* tabs = new QTabWidget;
    auto* custom = new QWidget;
    custom->setObjectName(QStringLiteral("tabCustom"));
    auto* history = new QWidget;
    history->setObjectName(QStringLiteral("tabHistory"));
    tabs->addTab(custom, QStringLiteral("Custom"));
    tabs->addTab(history, QStringLiteral("History"));
    for (QWidget* w : {static_cast<QWidget*>(route), static_cast<QWidget*>(label),
                       static_cast<QWidget*>(dates), static_cast<QWidget*>(tabs)})
        layout->addWidget(w);
    auto* print = new QAction(QStringLiteral("Print"), &window);
    print->setObjectName(QStringLiteral("mnuPrint"));

    applyWindowCustomisation(session, window, form);

    EXPECT_TRUE(route->isHidden());
    EXPECT_EQ(route->text(), QStringLiteral("Send"));
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(), QStringLiteral("<b>Owner's</b> no.:"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText); // a stored caption shows as written
    EXPECT_EQ(dates->title(), QStringLiteral("When"));
    EXPECT_FALSE(print->isVisible());
    EXPECT_EQ(print->text(), QStringLiteral("Print it"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Extra"));
    EXPECT_TRUE(tabs->isTabVisible(0));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("History")); // a Null value keeps the caption
    EXPECT_FALSE(tabs->isTabVisible(1));

    // Another caption (Next onto a meeting) starts from the window as it was built: only its own
    // rows change it.
    applyWindowCustomisation(session, window, QStringLiteral("Other window"));
    EXPECT_FALSE(route->isHidden());
    EXPECT_EQ(route->text(), QStringLiteral("Route"));
    EXPECT_TRUE(label->isHidden());
    EXPECT_EQ(label->text(), QStringLiteral("No"));
    EXPECT_EQ(dates->title(), QStringLiteral("Dates"));
    EXPECT_TRUE(print->isVisible());
    EXPECT_EQ(print->text(), QStringLiteral("Print"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Custom"));
    EXPECT_TRUE(tabs->isTabVisible(1));

    applyWindowCustomisation(session, window, form);
    EXPECT_FALSE(label->isHidden());
    EXPECT_EQ(label->text(), QStringLiteral("<b>Owner's</b> no.:"));
    EXPECT_EQ(route->text(), QStringLiteral("Send"));
}

} // namespace
