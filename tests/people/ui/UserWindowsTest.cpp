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

using namespace Qt::StringLiterals;
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
        const QString add = u"INSERT INTO LU_USER (USER_ID, User_Name, "
                            "User_Password, Supervisor_User_ID) VALUES (?, ?, ?, ?)"_s;
        db().execute(add, {u"bob"_s, u"Bob"_s, u"Secret1"_s, QVariant()});
        db().execute(add, {u"carol"_s, u"Carol"_s, u"Secret1"_s, u"bob"_s});
        test::addCategories(db(), {u"Plans"_s});
        test::addSubfolder(db(), u"Drafts"_s, u"Plans"_s);
        session.user.record = *loadUser(db(), u"admin"_s);
    }

    /** The stored form of a user's password, read as the tables' owner. */
    QString storedPassword(const QString& id)
    {
        return db()
            .scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {id})
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
    USER_FORM form(session, prompt, u"NEW"_s);
    auto* ok = child<QPushButton>(form, "OKButton");
    QTest::keyClicks(child<QLineEdit>(form, "HOLD_KEY"), u"SuperVisor"_s);
    // The refused box is focused, its tab page brought forward.
    auto* tabs = child<QTabWidget>(form, "SSTab1");
    tabs->setCurrentIndex(1);
    ok->click();
    EXPECT_EQ(prompt.last().text, u"'Supervisor' is reserved User ID, please choose another one"_s);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(form.focusWidget(), child<QLineEdit>(form, "HOLD_KEY"));
    child<QLineEdit>(form, "HOLD_KEY")->setText(u"O'Brien-Ægir"_s);
    child<QLineEdit>(form, "Text1")->setText(u"Pat O'Brien"_s);
    child<QLineEdit>(form, "Text3")->setText(u"abcdef"_s);
    child<QCheckBox>(form, "Check6")->setChecked(true);
    child<QCheckBox>(form, "chkAutoSelect")->setChecked(true);
    child<QComboBox>(form, "cmbNoticeDigest")->setCurrentText(u"1 hour"_s);
    folder(form, u"Plans"_s)->setCheckState(Qt::Checked);
    EXPECT_EQ(folder(form, u"Drafts"_s)->checkState(), Qt::Checked) << "subfolders follow";
    ok->click();
    ASSERT_EQ(form.result(), QDialog::Accepted)
        << prompt.texts().join(QLatin1Char('|')).toStdString();

    const UserRecord saved = *loadUser(db(), u"o'brien-Ægir"_s);
    EXPECT_TRUE(saved.joinTeam);
    const QString stored = storedPassword(saved.userId);
    EXPECT_TRUE(StoredPassword::matches(stored, u"ABCDEF"_s));

    // Reopened and saved untouched, the password stays; the folders come back ticked.
    USER_FORM again(session, prompt, u"OPEN"_s, u"O'Brien-Ægir"_s);
    EXPECT_EQ(folder(again, u"Drafts"_s)->checkState(), Qt::Checked);
    EXPECT_EQ(child<QComboBox>(again, "cmbNoticeDigest")->currentData().toInt(), 60);
    EXPECT_TRUE(child<QLabel>(again, "lblNoAccess")->isHidden()) << "admin sees every folder";
    child<QPushButton>(again, "OKButton")->click();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(storedPassword(u"O'Brien-Ægir"_s), stored);
}

TEST_F(UserWindowsTest, TreeWindowAndPickers)
{
    F_USER tree(session, prompt);
    auto* view = child<QTreeWidget>(tree, "tvUsers");
    EXPECT_EQ(view->topLevelItemCount(), 2) << "admin and bob";

    ASSERT_TRUE(tree.locate(u"BOB"_s));
    prompt.answer(PromptAnswer::Cancel);
    child<QAction>(tree, "DISABLE")->trigger();
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(loadUser(db(), u"bob"_s)->disabled);

    prompt.answerInput(u"nobody"_s);
    child<QAction>(tree, "LOCATE")->trigger();
    EXPECT_EQ(prompt.last().text, u"Unable to locate User"_s);
    prompt.answerInput(u"nobody"_s);
    child<QAction>(tree, "FIND")->trigger();
    EXPECT_EQ(prompt.last().text, u"User not found."_s);

    db().execute(u"UPDATE LU_USER SET Disabled = -1 WHERE USER_ID = 'bob'"_s);
    dlgUsers picker(session, prompt);
    picker.setChosenUsers({u" CAROL"_s});
    EXPECT_EQ(picker.chosenUsers(), QStringList{u"carol"_s})
        << "carol moves to the top while her supervisor is disabled";
    AddUser add(session, prompt, {u"Admin"_s});
    EXPECT_EQ(child<QListWidget>(add, "lstUsers")->count(), 1);
}
