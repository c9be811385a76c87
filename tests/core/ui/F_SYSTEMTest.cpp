#include "core/ui/F_SYSTEM.h"

#include "core/db/Database.h"
#include "core/settings/SearchTables.h"
#include "support/WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/** A newly created embedded database, open in a session of "admin". */
class F_SYSTEMTest : public test::WindowTest
{
protected:
    void arrange() override { session.connection.location = dir.filePath(u"pax.db"_s); }
};

} // namespace

TEST_F(F_SYSTEMTest, MemoryOutsideTheBoundsIsRefusedWithTheFocusOnItsBox)
{
    F_SYSTEM window(session, prompt);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(test::child<QLineEdit>(window, "edtLogin")->isEnabled());
    EXPECT_FALSE(test::child<QLineEdit>(window, "edtPwd")->isEnabled());
    EXPECT_TRUE(test::child<QCheckBox>(window, "chbWinLogin")->isEnabled());

    auto* memory = test::child<QLineEdit>(window, "Text2");
    auto* ok = test::child<QPushButton>(window, "cmdOK");
    test::child<QLineEdit>(window, "Text5")->setText(u"30"_s);
    memory->setText(u"1999"_s);
    test::child<QLineEdit>(window, "Text1")->setFocus();
    ok->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Allocated memory must be between 2,000 and 32,000"_s});
    EXPECT_EQ(QApplication::focusWidget(), memory);
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(session.db().scalar(u"SELECT Chunk_Size FROM SYSTEM"_s).toInt(), 1999);

    prompt.clear();
    memory->setText(u"2000"_s);
    ok->click();
    EXPECT_TRUE(prompt.texts().isEmpty());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(session.db().scalar(u"SELECT Chunk_Size FROM SYSTEM"_s).toInt(), 2000);
}

TEST_F(F_SYSTEMTest, UnsavedSearchFieldsAreSavedBeforeAnotherTableIsShown)
{
    session.db().executeScript(
        u"CREATE TABLE Alpha (SCR_No INTEGER, Note TEXT); CREATE TABLE Beta (Ref INTEGER)"_s);
    F_SYSTEM window(session, prompt);
    auto* tables = test::child<QListWidget>(window, "lstTables");
    auto* fields = test::child<QListWidget>(window, "lstFields");
    auto* number = test::child<QComboBox>(window, "cboSCRField");
    ASSERT_EQ(tables->count(), 2);
    tables->setCurrentRow(0);
    test::child<QPushButton>(window, "cmdAdd")->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please choose Field to add into Search Table."_s});
    fields->item(1)->setSelected(true);
    test::child<QPushButton>(window, "cmdAdd")->click();

    // Yes with no number field: refused, and the choices stay on screen.
    prompt.clear();
    prompt.answer(PromptAnswer::Yes);
    tables->setCurrentRow(1);
    EXPECT_EQ(prompt.texts(),
              (QStringList{u"You haven't saved previous changes, do you want to save them now?"_s,
                           u"Please specify SCR_Number Field in Plug-in Table."_s}));
    EXPECT_EQ(tables->currentItem()->text(), u"Alpha"_s);
    EXPECT_EQ(test::child<QListWidget>(window, "lstSearchFields")->count(), 1);

    number->setEditText(u"scr_no"_s);
    prompt.answer(PromptAnswer::Yes);
    tables->setCurrentRow(1);
    EXPECT_EQ(fields->item(0)->text(), u"Ref"_s);
    const SearchTableChoice saved =
        SearchTables(session.db(), session.user.record).load(u"Alpha"_s);
    EXPECT_EQ(saved.fields, QStringList{u"Note"_s});
    EXPECT_EQ(saved.scrNumberField, u"SCR_No"_s);
}
