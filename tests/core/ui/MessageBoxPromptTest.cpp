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
using namespace Qt::StringLiterals;

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

TEST(MessageBoxPrompt, InputGivesTheTypedTextOrNothingOnCancel)
{
    MessageBoxPrompt prompt;
    whenShown([](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->textValue(), u"New Folder"_s);
        dialog->setTextValue(u"O'Brien's"_s);
        dialog->accept();
    });
    EXPECT_EQ(prompt.input(u"Folder name:"_s, u"Folder"_s, u"New Folder"_s),
              std::optional<QString>(u"O'Brien's"_s));

    whenShown([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(prompt.input(u"Folder name:"_s, {}, {}), std::nullopt);
}

// Messages quote stored names and titles: each box shows such text as written, never as markup,
// with its title, icon and buttons, and hands back the button chosen.
TEST(MessageBoxPrompt, ShowsStoredTextLiterallyAndReturnsTheChoice)
{
    const QString stored = u"<b>x</b><img src=x>"_s;
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
        EXPECT_EQ(qobject_cast<QMessageBox*>(w)->icon(), QMessageBox::Critical);
        click(qobject_cast<QMessageBox*>(w), QMessageBox::Ok);
    });
    prompt.inform(stored, {}, PromptIcon::Critical);
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        whenShown([&](QWidget* w) {
            expectPlain(w);
            auto* box = qobject_cast<QMessageBox*>(w);
            EXPECT_EQ(box->windowTitle(), u"Reconnect?"_s);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_NE(box->button(QMessageBox::Cancel), nullptr);
            click(box, answer);
        });
        EXPECT_EQ(
            prompt.ask(stored, u"Reconnect?"_s, PromptButtons::YesNoCancel, PromptIcon::Question),
            answer == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No);
    }
    whenShown([&](QWidget* w) {
        expectPlain(w);
        qobject_cast<QInputDialog*>(w)->reject();
    });
    prompt.input(stored, {}, {});
}
