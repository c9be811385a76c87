#include "core/ui/MessageBoxPrompt.h"

#include "support/QtPrinters.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace bx;

namespace {

/** Runs `act` on the dialog that the next modal call opens. */
void whenShown(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr) << "no dialog was shown";
        act(w);
    });
}

void click(QMessageBox* box, QMessageBox::StandardButton which)
{
    box->button(which)->click();
}

} // namespace

TEST(MessageBoxPrompt, ShowsTheTextIconAndButtonsAndReturnsTheChoice)
{
    MessageBoxPrompt prompt;
    QString seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    whenShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        seenIcon = box->icon();
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Reconnect?"));
        EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
        EXPECT_NE(box->button(QMessageBox::No), nullptr);
        click(box, QMessageBox::No);
    });
    EXPECT_EQ(prompt.ask(QStringLiteral("Try again?"), QStringLiteral("Reconnect?"),
                         PromptButtons::YesNo, PromptIcon::Question),
              PromptAnswer::No);
    EXPECT_EQ(seenText, QStringLiteral("Try again?"));
    EXPECT_EQ(seenIcon, QMessageBox::Question);

    whenShown([&](QWidget* w) { click(qobject_cast<QMessageBox*>(w), QMessageBox::Yes); });
    EXPECT_EQ(
        prompt.ask(QStringLiteral("Save?"), {}, PromptButtons::YesNoCancel, PromptIcon::Question),
        PromptAnswer::Yes);

    whenShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), QStringLiteral("Invalid Password or User Name. "));
        click(box, QMessageBox::Ok);
    });
    prompt.inform(QStringLiteral("Invalid Password or User Name. "), {}, PromptIcon::Critical);
}

TEST(MessageBoxPrompt, InputGivesTheTypedTextOrNothingOnCancel)
{
    MessageBoxPrompt prompt;
    whenShown([](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->textValue(), QStringLiteral("New Folder"));
        dialog->setTextValue(QStringLiteral("O'Brien's"));
        dialog->accept();
    });
    EXPECT_EQ(prompt.input(QStringLiteral("Folder name:"), QStringLiteral("Folder"),
                           QStringLiteral("New Folder")),
              std::optional<QString>(QStringLiteral("O'Brien's")));

    whenShown([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(prompt.input(QStringLiteral("Folder name:"), {}, {}), std::nullopt);
}

// Messages quote stored names and titles: each box shows such text as written, never as markup.
TEST(MessageBoxPrompt, ShowsStoredTextLiterally)
{
    const QString stored = QStringLiteral("<b>x</b><img src=x>");
    MessageBoxPrompt prompt;
    auto expectPlain = [&](QWidget* w) {
        const QList<QLabel*> labels = w->findChildren<QLabel*>();
        const auto shown = std::find_if(labels.begin(), labels.end(),
                                        [&](QLabel* label) { return label->text() == stored; });
        ASSERT_NE(shown, labels.end()) << "the text is not shown";
        EXPECT_EQ((*shown)->textFormat(), Qt::PlainText);
    };
    whenShown([&](QWidget* w) {
        expectPlain(w);
        click(qobject_cast<QMessageBox*>(w), QMessageBox::Ok);
    });
    prompt.inform(stored, {}, PromptIcon::Information);
    whenShown([&](QWidget* w) {
        expectPlain(w);
        click(qobject_cast<QMessageBox*>(w), QMessageBox::Yes);
    });
    prompt.ask(stored, {}, PromptButtons::YesNo, PromptIcon::Question);
    whenShown([&](QWidget* w) {
        expectPlain(w);
        qobject_cast<QInputDialog*>(w)->reject();
    });
    prompt.input(stored, {}, {});
}
