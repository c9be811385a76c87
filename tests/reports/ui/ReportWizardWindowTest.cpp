#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "reports/ui/frmARWizard.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;

namespace {

/** Signed in as admin, who may read any table. */
class ReportWizardWindowTest : public WindowTest
{
protected:
    void TearDown() override { session.closeDatabase(); }

    static void click(frmARWizard& window, const char* name)
    {
        QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
    }

    static QString pageName(frmARWizard& window)
    {
        return child<QStackedWidget>(window, "pages")->currentWidget()->objectName();
    }

    /** Checks the table, or selects the field, that the list shows under `text`. */
    static void pick(QListWidget* list, const QString& text, bool check = false)
    {
        const QList<QListWidgetItem*> items = list->findItems(text, Qt::MatchFixedString);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        if (check)
            items.first()->setCheckState(Qt::Checked);
        else
            items.first()->setSelected(true);
    }

    static void choose(QComboBox* combo, const QString& text)
    {
        const int index = combo->findText(text, Qt::MatchFixedString);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
    }
};

TEST_F(ReportWizardWindowTest, BuildsAReportOfATablePageByPage)
{
    frmARWizard window(session, prompt);
    EXPECT_EQ(pageName(window), u"pgData"_s);
    click(window, "cmdNext");
    EXPECT_EQ(prompt.texts(), QStringList{u"Choose at least one table for the report."_s});
    EXPECT_EQ(pageName(window), u"pgData"_s);

    pick(child<QListWidget>(window, "lstTables"), u"SCR"_s, true);
    click(window, "cmdNext");
    ASSERT_EQ(pageName(window), u"pgFields"_s);
    pick(child<QListWidget>(window, "lstAvailable"), QString(scr::Title));
    click(window, "cmdAdd");
    click(window, "cmdNext");
    EXPECT_EQ(pageName(window), u"pgGroups"_s) << "one table has no relations";
    click(window, "cmdNext");
    ASSERT_EQ(pageName(window), u"pgSorts"_s);
    choose(child<QComboBox>(window, "cboSortField"), QString(scr::Title));
    child<QComboBox>(window, "cboSortOrder")->setCurrentIndex(1);
    click(window, "cmdAddSort");
    click(window, "cmdNext");
    ASSERT_EQ(pageName(window), u"pgTitle"_s);
    QTest::keyClicks(child<QLineEdit>(window, "txtTitle"), u"O'Brien's titles"_s);
    choose(child<QComboBox>(window, "cboStyle"), u"Soft Gray"_s);
    click(window, "cmdNext");
    ASSERT_EQ(pageName(window), u"pgSummary"_s);
    EXPECT_TRUE(child<QPlainTextEdit>(window, "txtSummary")->toPlainText().contains(u"Dec"_s));

    click(window, "cmdFinish");
    ASSERT_TRUE(window.layout()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.layout()->style, ReportStyle::SoftGray);
    EXPECT_EQ(window.layout()->title, u"O'Brien's titles"_s);
    EXPECT_TRUE(window.layout()->query.contains(u"DESC"_s));
}

TEST_F(ReportWizardWindowTest, WithoutTheGlobalReportsRightOnlyTheSourcesAreOffered)
{
    session.user.userId = u"pat"_s;
    session.user.record.userId = u"pat"_s;
    session.user.record.globalReports = false;
    frmARWizard window(session, prompt);
    auto* data = child<QComboBox>(window, "cboData");
    ASSERT_EQ(data->count(), 3);
    EXPECT_EQ(child<QListWidget>(window, "lstTables")->count(), 0);
    EXPECT_FALSE(child<QCheckBox>(window, "chkShowSystem")->isEnabled());

    click(window, "cmdNext");
    ASSERT_EQ(pageName(window), u"pgFields"_s);
    pick(child<QListWidget>(window, "lstAvailable"), QString(scr::Title));
    click(window, "cmdAdd");
    click(window, "cmdFinish");
    EXPECT_EQ(prompt.texts(), QStringList{u"Give the report a title."_s});
    EXPECT_FALSE(window.layout());
}

} // namespace
