#include "core/Session.h"
#include "core/StoredPassword.h"
#include "people/UserEditor.h"
#include "people/UserStore.h"
#include "people/ui/AddUser.h"
#include "people/ui/F_USER.h"
#include "people/ui/USER_FORM.h"
#include "people/ui/dlgUsers.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

/**
 * A new embedded database with users bob (supervisor of carol) and a folder "Plans" holding
 * "Drafts"; the session is logged on as "admin".
 */
class UserWindowsTest : public test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        const QString add =
            QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, "
                           "User_Password, Supervisor_User_ID) VALUES (?, ?, ?, ?)");
        db().execute(add, {QStringLiteral("bob"), QStringLiteral("Bob"), QStringLiteral("Secret1"),
                           QVariant()});
        db().execute(add, {QStringLiteral("carol"), QStringLiteral("Carol"),
                           QStringLiteral("Secret1"), QStringLiteral("bob")});
        test::addCategories(db(), {QStringLiteral("Plans")});
        test::addSubfolder(db(), QStringLiteral("Drafts"), QStringLiteral("Plans"));
        session.user.record = *loadUser(db(), QStringLiteral("admin"));
    }

    /** The stored form of a user's password, read as the tables' owner. */
    QString storedPassword(const QString& id)
    {
        return db()
            .scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"), {id})
            .toString();
    }

    QListWidgetItem* folder(USER_FORM& form, const QString& name)
    {
        auto* list = child<QListWidget>(form, "lstFolders");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().trimmed() == name)
                return list->item(i);
        ADD_FAILURE() << "no folder " << name.toStdString();
        return nullptr;
    }
};

} // namespace

TEST_F(UserWindowsTest, NewUserIsRefusedThenSavedAndReopensWithHisPassword)
{
    USER_FORM form(session, prompt, QStringLiteral("NEW"));
    auto* ok = child<QPushButton>(form, "OKButton");
    QTest::keyClicks(child<QLineEdit>(form, "HOLD_KEY"), QStringLiteral("SuperVisor"));
    // The refused box is focused, its tab page brought forward.
    auto* tabs = child<QTabWidget>(form, "SSTab1");
    tabs->setCurrentIndex(1);
    ok->click();
    EXPECT_EQ(prompt.last().text, kSupervisorReserved);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(form.focusWidget(), child<QLineEdit>(form, "HOLD_KEY"));
    child<QLineEdit>(form, "HOLD_KEY")->setText(QStringLiteral("O'Brien-Ægir"));
    child<QLineEdit>(form, "Text1")->setText(QStringLiteral("Pat O'Brien"));
    child<QLineEdit>(form, "Text3")->setText(QStringLiteral("abcde"));
    ok->click();
    EXPECT_EQ(prompt.last().text, kPasswordTooShort);
    EXPECT_FALSE(form.result() == QDialog::Accepted);

    child<QLineEdit>(form, "Text3")->setText(QStringLiteral("abcdef"));
    child<QCheckBox>(form, "Check6")->setChecked(true);
    child<QCheckBox>(form, "chkAutoSelect")->setChecked(true);
    child<QComboBox>(form, "cmbNoticeDigest")->setCurrentText(QStringLiteral("1 hour"));
    folder(form, QStringLiteral("Plans"))->setCheckState(Qt::Checked);
    EXPECT_EQ(folder(form, QStringLiteral("Drafts"))->checkState(), Qt::Checked)
        << "subfolders follow";
    EXPECT_EQ(folder(form, QStringLiteral("Drafts"))->text(), QStringLiteral("    Drafts"));
    ok->click();
    ASSERT_EQ(form.result(), QDialog::Accepted)
        << prompt.texts().join(QLatin1Char('|')).toStdString();

    const UserRecord saved = *loadUser(db(), QStringLiteral("o'brien-Ægir"));
    EXPECT_TRUE(saved.joinTeam);
    const QString stored = storedPassword(saved.userId);
    EXPECT_TRUE(StoredPassword::matches(stored, QStringLiteral("ABCDEF")));

    // Reopened and saved untouched, the password stays; the folders come back ticked.
    USER_FORM again(session, prompt, QStringLiteral("OPEN"), QStringLiteral("O'Brien-Ægir"));
    EXPECT_EQ(folder(again, QStringLiteral("Drafts"))->checkState(), Qt::Checked);
    EXPECT_EQ(child<QComboBox>(again, "cmbNoticeDigest")->currentData().toInt(), 60);
    EXPECT_TRUE(child<QLabel>(again, "lblNoAccess")->isHidden()) << "admin sees every folder";
    child<QPushButton>(again, "OKButton")->click();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(storedPassword(QStringLiteral("O'Brien-Ægir")), stored);
}

TEST_F(UserWindowsTest, TreeWindowAndPickers)
{
    F_USER tree(session, prompt);
    auto* view = child<QTreeWidget>(tree, "tvUsers");
    EXPECT_EQ(view->topLevelItemCount(), 2) << "admin and bob";

    ASSERT_TRUE(tree.locate(QStringLiteral("BOB")));
    prompt.answer(PromptAnswer::Cancel);
    child<QAction>(tree, "DISABLE")->trigger();
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(loadUser(db(), QStringLiteral("bob"))->disabled);

    prompt.answerInput(QStringLiteral("nobody"));
    child<QAction>(tree, "LOCATE")->trigger();
    EXPECT_EQ(prompt.last().text, QStringLiteral("Unable to locate User"));
    prompt.answerInput(QStringLiteral("nobody"));
    child<QAction>(tree, "FIND")->trigger();
    EXPECT_EQ(prompt.last().text, QStringLiteral("User not found."));

    db().execute(QStringLiteral("UPDATE LU_USER SET Disabled = -1 WHERE USER_ID = 'bob'"));
    dlgUsers picker(session, prompt);
    picker.setChosenUsers({QStringLiteral(" CAROL")});
    EXPECT_EQ(picker.chosenUsers(), QStringList{QStringLiteral("carol")})
        << "carol moves to the top while her supervisor is disabled";
    AddUser add(session, prompt, {QStringLiteral("Admin")});
    EXPECT_EQ(child<QListWidget>(add, "lstUsers")->count(), 1);
}
