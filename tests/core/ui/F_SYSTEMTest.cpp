#include "core/ui/F_SYSTEM.h"

#include "core/ErrorLog.h"
#include "core/Session.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SearchTables.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

/** A newly created embedded database, open in a session of "admin". */
class F_SYSTEMTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString path = dir.filePath(QStringLiteral("pax.db"));
        ErrorLog log(dir.filePath(QStringLiteral("QVErrorLog.txt")), clock);
        ScriptedPrompt quiet;
        DatabaseCreator creator(settings, quiet, clock, log,
                                QCoreApplication::applicationDirPath());
        ASSERT_TRUE(creator.createEmbedded(path));
        session.setDatabase(SqliteDatabase::open(path));
        session.connection.location = path;
        session.user.userId = session.user.record.userId = QStringLiteral("admin");
    }

    template <typename W> W* control(QWidget& window, const char* name)
    {
        W* w = window.findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
    FixedClock clock;
    Session session{settings, clock};
    ScriptedPrompt prompt;
};

} // namespace

TEST_F(F_SYSTEMTest, MemoryOutsideTheBoundsIsRefusedWithTheFocusOnItsBox)
{
    F_SYSTEM window(session, prompt);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(control<QLineEdit>(window, "edtLogin")->isEnabled());
    EXPECT_FALSE(control<QLineEdit>(window, "edtPwd")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>(window, "chbWinLogin")->isEnabled());

    auto* memory = control<QLineEdit>(window, "Text2");
    auto* ok = control<QPushButton>(window, "cmdOK");
    control<QLineEdit>(window, "Text5")->setText(QStringLiteral("30"));
    memory->setText(QStringLiteral("1999"));
    control<QLineEdit>(window, "Text1")->setFocus();
    ok->click();
    EXPECT_EQ(prompt.texts(),
              QStringList{QStringLiteral("Allocated memory must be between 2,000 and 32,000")});
    EXPECT_EQ(QApplication::focusWidget(), memory);
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(session.db().scalar(QStringLiteral("SELECT Chunk_Size FROM SYSTEM")).toInt(), 1999);

    prompt.clear();
    memory->setText(QStringLiteral("2000"));
    ok->click();
    EXPECT_TRUE(prompt.texts().isEmpty());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(session.db().scalar(QStringLiteral("SELECT Chunk_Size FROM SYSTEM")).toInt(), 2000);
}

TEST_F(F_SYSTEMTest, UnsavedSearchFieldsAreSavedBeforeAnotherTableIsShown)
{
    {
        F_SYSTEM fresh(session, prompt);
        EXPECT_EQ(control<QListWidget>(fresh, "lstTables")->count(), 0)
            << "a new database has no plug-in tables";
    }
    session.db().executeScript(QStringLiteral("CREATE TABLE Alpha (SCR_No INTEGER, Note TEXT); "
                                              "CREATE TABLE Beta (Ref INTEGER)"));
    F_SYSTEM window(session, prompt);
    auto* tables = control<QListWidget>(window, "lstTables");
    auto* fields = control<QListWidget>(window, "lstFields");
    auto* number = control<QComboBox>(window, "cboSCRField");
    ASSERT_EQ(tables->count(), 2);
    tables->setCurrentRow(0);
    control<QPushButton>(window, "cmdAdd")->click();
    EXPECT_EQ(prompt.texts(), QStringList{SearchTables::kChooseFieldToAdd});
    fields->item(1)->setSelected(true);
    control<QPushButton>(window, "cmdAdd")->click();

    // Yes with no number field: refused, and the choices stay on screen.
    prompt.clear();
    prompt.answer(PromptAnswer::Yes);
    tables->setCurrentRow(1);
    EXPECT_EQ(prompt.texts(),
              (QStringList{F_SYSTEM::kUnsavedQuestion, SearchTables::kSpecifyNumberField}));
    EXPECT_EQ(prompt.records().first().title, QStringLiteral("Confirm"));
    EXPECT_EQ(tables->currentItem()->text(), QStringLiteral("Alpha"));
    EXPECT_EQ(control<QListWidget>(window, "lstSearchFields")->count(), 1);

    number->setEditText(QStringLiteral("scr_no"));
    prompt.answer(PromptAnswer::Yes);
    tables->setCurrentRow(1);
    EXPECT_EQ(fields->item(0)->text(), QStringLiteral("Ref"));
    const SearchTableChoice saved =
        SearchTables(session.db(), session.user.record).load(QStringLiteral("Alpha"));
    EXPECT_EQ(saved.fields, QStringList{QStringLiteral("Note")});
    EXPECT_EQ(saved.scrNumberField, QStringLiteral("SCR_No"));
}
