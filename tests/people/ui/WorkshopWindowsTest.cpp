#include "people/ui/DlgAddTeam.h"
#include "people/ui/dlgChooseUser.h"
#include "support/WindowTest.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

using WorkshopWindowsTest = bx::test::WindowTest;

// The workshop window saves what was typed and picked, and the chooser then offers the new
// workshop and, with nobody ticked, hands it back as the recipient.
TEST_F(WorkshopWindowsTest, NewWorkshopThenChosenAsRecipient)
{
    DlgAddTeam window(session, prompt);
    QTest::keyClicks(child<QLineEdit>(window, "txtTeamName"), u"O'Brien's Ærø team"_s);
    child<QComboBox>(window, "T_CATEGORY")->setCurrentText(u"Ærø docs"_s);
    // A refusal reaches the prompt and puts the focus on the box it names.
    child<QPushButton>(window, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please, specify user for Workshop"_s});
    EXPECT_EQ(window.focusWidget(), child<QListWidget>(window, "ListView2"));
    auto* lists = child<QComboBox>(window, "cmbUsers");
    lists->setCurrentIndex(lists->findText(u"All Users"_s));
    auto* candidates = child<QListWidget>(window, "ListView1");
    const auto admin = candidates->findItems(u"admin"_s, Qt::MatchStartsWith);
    ASSERT_EQ(admin.size(), 1);
    admin.first()->setSelected(true);
    child<QPushButton>(window, "cmdAdd")->click();
    EXPECT_EQ(child<QListWidget>(window, "ListView2")->count(), 1);
    prompt.answer(PromptAnswer::Yes);
    child<QPushButton>(window, "cmdOK")->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    ASSERT_NE(window.savedGroupId(), 0);
    EXPECT_EQ(prompt.last().title, u"Create Folder?"_s);

    dlgChooseUser chooser(session, prompt);
    auto* workshops = child<QComboBox>(chooser, "cmbRecType");
    workshops->setCurrentIndex(workshops->findText(u"O'Brien's Ærø team"_s));
    EXPECT_EQ(child<QLabel>(chooser, "lblEcho")->text(), u"[   Workshop: O'Brien's Ærø team ]"_s);
    child<QPushButton>(chooser, "cmdOK")->click();
    EXPECT_EQ(chooser.recipients(),
              (QList<cSelUser>{{QString(), window.savedGroupId(), OwnerType::Workshop}}));
}
