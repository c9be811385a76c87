#include "core/BuildInfo.h"
#include "core/ErrorLog.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/Vars.h"
#include "dbadmin/UpgradeStep.h"
#include "dbadmin/ui/dlgUpgrade.h"
#include "dbadmin/ui/frmWizard.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

struct WizardHarness
{
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(u"MRBX.conf"_s)};
    FixedClock clock;
    ErrorLog log{dir.filePath(u"QVErrorLog.txt"_s), clock};
    ScriptedPrompt prompt;
    frmWizard wizard{settings, prompt, clock, log, QCoreApplication::applicationDirPath()};

    template <typename W> W* get(const char* name)
    {
        W* w = wizard.findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void nav(int which)
    {
        get<QPushButton>(u"cmdNav(%1)"_s.arg(which).toLatin1().constData())->click();
    }
    int page() { return get<QStackedWidget>("fraStep")->currentIndex(); }
};

} // namespace

TEST(frmWizard, CreatesAnEmbeddedDatabaseWhereTheUserSays)
{
    WizardHarness h;
    h.get<QRadioButton>("rbDBType(0)")->setChecked(true);
    h.nav(1);
    h.get<QRadioButton>("Option1")->setChecked(true);
    h.nav(1);
    EXPECT_FALSE(h.get<QPushButton>("cmdNav(1)")->isEnabled());
    EXPECT_TRUE(h.get<QPushButton>("cmdNav(2)")->isEnabled());

    h.get<QLineEdit>("txtAccessDBName")->clear();
    h.nav(2);
    EXPECT_EQ(h.prompt.texts(), QStringList{u"Please define new database file name."_s});
    EXPECT_TRUE(h.wizard.isVisible() || h.wizard.result() != QDialog::Accepted);

    const QString folder = h.dir.filePath(u"o'brien dir"_s);
    h.get<QLineEdit>("Dir1")->setText(folder);
    h.get<QLineEdit>("txtAccessDBName")->setText(u"o'brien.mdb"_s);
    h.prompt.answer(PromptAnswer::No);
    h.nav(2);
    EXPECT_EQ(h.wizard.result(), QDialog::Accepted);
    EXPECT_FALSE(h.wizard.launchAdmin());
    EXPECT_TRUE(h.prompt.last().text.startsWith(
        u"Your database has been configured with the user='admin' (no password)."_s));
    const QString path = QDir(folder).filePath(u"o'brien.mdb"_s);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(h.settings, false), path);
    EXPECT_EQ(Vars::buildNumber(*SqliteDatabase::open(path)), BuildInfo::buildNumber());
}

TEST(frmWizard, ServerPageWantsAServerAndALogin)
{
    WizardHarness h;
    h.get<QRadioButton>("rbDBType(1)")->setChecked(true);
    h.nav(1);
    h.get<QRadioButton>("Option2")->setChecked(true);
    h.nav(1);
    h.get<QComboBox>("ServerName")->setEditText(QString());
    h.nav(1);
    h.get<QComboBox>("ServerName")->setEditText(u"db.example:5433"_s);
    h.get<QLineEdit>("SA")->clear();
    h.nav(1);
    EXPECT_EQ(h.prompt.texts(),
              (QStringList{u"Please specify SQL Server Name "_s, u"Please specify Login "_s}));
    h.get<QLineEdit>("SA")->setText(u"postgres"_s);
    h.nav(1);
    EXPECT_EQ(h.page(), 4) << "the last page, ready to finish";

    // The shared login for a new database comes from the settings, with the program's defaults.
    h.nav(0);
    h.nav(0);
    h.get<QRadioButton>("Option1")->setChecked(true);
    h.nav(1);
    h.get<QCheckBox>("Check1")->setChecked(true);
    EXPECT_EQ(h.get<QLineEdit>("SA")->text(), u"brindlepaxSQL"_s);
    EXPECT_EQ(h.get<QLineEdit>("SAPWD")->text(), u"KWRMZ"_s);
    h.get<QCheckBox>("Check1")->setChecked(false);
    EXPECT_EQ(h.get<QLineEdit>("SA")->text(), u"postgres"_s);
    EXPECT_TRUE(h.get<QLineEdit>("SAPWD")->text().isEmpty());
}

TEST(frmWizard, ShowsTheSslModeRememberedForTheServerAndWantsACaFileForVerifyFull)
{
    WizardHarness h;
    const QString server = u"db.example:5433"_s;
    DatabaseOpener::rememberServerSsl(h.settings, server, u"verify-full"_s, u"/etc/pax/ca.pem"_s);
    h.get<QRadioButton>("rbDBType(1)")->setChecked(true);
    h.nav(1);
    h.get<QRadioButton>("Option2")->setChecked(true);
    h.nav(1);
    auto* mode = h.get<QComboBox>("cboSSLMode");
    auto* ca = h.get<QLineEdit>("txtSSLRootCert");
    h.get<QComboBox>("ServerName")->setEditText(u"db.example"_s);
    EXPECT_EQ(mode->currentText(), u"prefer"_s);
    EXPECT_FALSE(ca->isEnabled());
    EXPECT_FALSE(h.get<QPushButton>("cmdBrowseCA")->isEnabled());

    h.get<QComboBox>("ServerName")->setEditText(server);
    EXPECT_EQ(mode->currentText(), u"verify-full"_s);
    EXPECT_EQ(ca->text(), u"/etc/pax/ca.pem"_s);
    EXPECT_TRUE(ca->isEnabled());
    EXPECT_TRUE(h.get<QPushButton>("cmdBrowseCA")->isEnabled());

    // Without a CA file verify-full is refused before any connection is tried.
    ca->clear();
    h.nav(1);
    h.nav(2);
    EXPECT_EQ(h.prompt.texts(),
              QStringList{u"The SSL mode verify-full needs a CA file to check the server's "
                          "certificate against."_s});
    EXPECT_NE(h.wizard.result(), QDialog::Accepted);
    EXPECT_TRUE(DatabaseOpener::rememberedDatabase(h.settings, true).isEmpty());
}

TEST(dlgUpgrade, ListsThePendingStepsAndAppliesThemOnOk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"old.db"_s);
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + u"/pax.md_"_s, path));
    auto db = SqliteDatabase::open(path);
    FixedClock clock;
    ScriptedPrompt prompt;
    dlgUpgrade dialog(*db, prompt, {QCoreApplication::applicationDirPath(), &clock});
    auto* list = dialog.findChild<QTreeWidget*>(u"ListView1"_s);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->topLevelItemCount(), int(allUpgradeSteps().size()));
    EXPECT_EQ(list->topLevelItem(0)->text(0), u"Copy table GROUP to LU_GROUP"_s);

    dialog.findChild<QPushButton*>(u"OKButton"_s)->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"The Database has been updated."_s});
    EXPECT_TRUE(dialog.upgraded());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    dlgUpgrade again(*db, prompt, {QCoreApplication::applicationDirPath(), &clock});
    EXPECT_EQ(again.findChild<QTreeWidget*>(u"ListView1"_s)->topLevelItemCount(), 0);
}
