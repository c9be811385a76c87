#include "core/db/Database.h"
#include "core/db/SecondConnection.h"
#include "reports/Analyses.h"
#include "reports/ui/BIViewer.h"
#include "reports/ui/dlgBI.h"
#include "reports/ui/dlgBIScreen.h"
#include "reports/ui/dlgNewFormula.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;
using olap::Aggregate;
using olap::DatePart;

namespace {

const QString kName = u"O'Brien's tasks"_s;
const QString kQuery =
    u"SELECT SCR_Owner_User_ID AS Owner, SCR_Request_Date AS Asked, 1 AS Tasks FROM SCR"_s;

/** A signed-in analyst with two tasks in his workshop. */
class AnalysisWindowsTest : public WindowTest
{
protected:
    void arrange() override
    {
        session.user.record.businessIntelligence = true;
        enterWorkshop(7, u"O'Neil's desk"_s);
        for (int day : {1, 2})
            addOwnTask(
                {{u"SCR_Group_ID"_s, 7},
                 {u"SCR_Request_Date"_s, QDateTime(QDate(2024, 3, day), QTime(9, 0), Qt::UTC)}});
    }

    void TearDown() override { session.closeDatabase(); }

    /** Stores an analysis of `title`: owner down, the tasks summed. */
    qlonglong store(const QString& title, const QString& query = kQuery)
    {
        Analysis a;
        a.title = title;
        a.query = query;
        a.items = {AnalysisItem::dimension(u"Owner"_s, u"Owner"_s, AnalysisArea::Vertical),
                   AnalysisItem::fact(u"Tasks"_s, u"Tasks"_s, Aggregate::Sum)};
        return writeAnalysis(db(), a, false);
    }

    int stored(const QString& title) { return analysesNamed(db(), title); }

    std::unique_ptr<dlgBI> window()
    {
        return std::make_unique<dlgBI>(session, prompt, secondConnectionTo(db()));
    }

    static void choose(dlgBI& bi, const QString& title)
    {
        const QList<QTreeWidgetItem*> found =
            bi.tree()->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << title.toStdString();
        bi.tree()->setCurrentItem(found.first());
    }

    /** A designer over kQuery with its columns read and `column` chosen. */
    std::unique_ptr<dlgBIScreen> designer()
    {
        auto screen = std::make_unique<dlgBIScreen>(session, prompt);
        child<QPlainTextEdit>(*screen, "txtSQL")->setPlainText(kQuery);
        EXPECT_TRUE(screen->readColumns()) << prompt.texts().join(u'\n').toStdString();
        return screen;
    }

    static void chooseColumn(dlgBIScreen& screen, const char* column)
    {
        auto* fields = child<QListWidget>(screen, "lstFields");
        const QList<QListWidgetItem*> found =
            fields->findItems(QString::fromLatin1(column), Qt::MatchStartsWith);
        ASSERT_EQ(found.size(), 1) << column;
        fields->setCurrentItem(found.first());
    }
};

} // namespace

// The tree: "Built-in" with its two, "Custom" with every stored analysis (the delivered ones
// first) by ID.
TEST_F(AnalysisWindowsTest, TreeListsBuiltInAndStoredAnalyses)
{
    QStringList custom;
    for (const AnalysisSummary& s : listAnalyses(db()))
        custom << s.title;
    ASSERT_FALSE(custom.isEmpty());
    const qlonglong first = store(kName);
    const qlonglong second = store(u"<b>Plain</b>"_s);
    custom << kName << u"<b>Plain</b>"_s;
    const auto bi = window();
    QTreeWidget* tree = bi->tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    const auto children = [](const QTreeWidgetItem* root) {
        QStringList out;
        for (int i = 0; i < root->childCount(); ++i)
            out << root->child(i)->text(0);
        return out;
    };
    EXPECT_EQ(tree->topLevelItem(0)->text(0), u"Built-in"_s);
    EXPECT_EQ(children(tree->topLevelItem(0)),
              (QStringList{u"Common Task Information"_s, u"Task ownership over time"_s}));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), u"Custom"_s);
    EXPECT_EQ(children(tree->topLevelItem(1)), custom);
    EXPECT_EQ(
        tree->topLevelItem(1)->child(custom.size() - 1)->data(0, Qt::UserRole + 1).toLongLong(),
        second);
    EXPECT_LT(first, second);
}

// Stored and built-in analyses run away from the window and show in the viewer; Edit and
// Remove wake for the custom one shown.
TEST_F(AnalysisWindowsTest, RunsAnalysesAwayFromTheWindow)
{
    const qlonglong id = store(kName);
    db().execute(u"UPDATE OLAP_REPORT SET AllowPivot = ?, AllowTitle = ? WHERE ID = ?"_s,
                 {false, false, id});
    const auto bi = window();
    QSignalSpy ended(bi.get(), &dlgBI::runEnded);
    bi->tree()->setCurrentItem(nullptr);
    EXPECT_FALSE(child<QAction>(*bi, "cmdRemove")->isEnabled());
    bi->RunOLAPReport(id);
    EXPECT_TRUE(bi->busy());
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_TRUE(ended.first().first().toBool()) << prompt.texts().join(u'\n').toStdString();
    ASSERT_NE(bi->viewer()->grid(), nullptr);
    // The analysis's options reach the viewer: no title, no pivoting.
    EXPECT_TRUE(child<QLabel>(*bi, "lblTitle")->isHidden());
    EXPECT_FALSE(child<QAction>(*bi, "mnuPivot")->isVisible());
    bi->tree()->setCurrentItem(nullptr);
    EXPECT_TRUE(child<QAction>(*bi, "cmdEdit")->isEnabled());
    EXPECT_TRUE(child<QAction>(*bi, "cmdRemove")->isEnabled());

    choose(*bi, AnalysisText::kTaskOwnership);
    bi->ShowReport();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_TRUE(ended.last().first().toBool()) << prompt.texts().join(u'\n').toStdString();
    EXPECT_FALSE(child<QLabel>(*bi, "lblTitle")->isHidden());
    EXPECT_TRUE(child<QAction>(*bi, "mnuPivot")->isVisible());
    EXPECT_TRUE(prompt.texts().isEmpty());
}

// Closing the window stops the read it runs: nothing is reported afterwards.
TEST_F(AnalysisWindowsTest, ClosingStopsTheRunningAnalysis)
{
    const qlonglong id =
        store(kName, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM "
                     "n WHERE i < 100000000) SELECT 'x' AS Owner, i AS Tasks FROM n"_s);
    const auto bi = window();
    QSignalSpy ended(bi.get(), &dlgBI::runEnded);
    bi->RunOLAPReport(id);
    ASSERT_TRUE(bi->busy());
    QTest::qWait(100);
    bi->reject();
    EXPECT_FALSE(bi->busy());
    EXPECT_FALSE(ended.wait(500));
    EXPECT_EQ(bi->viewer()->grid(), nullptr);
    EXPECT_TRUE(prompt.texts().isEmpty());
}

// Built-in analyses are neither edited nor removed; a stored one goes on Yes.
TEST_F(AnalysisWindowsTest, RemovingAsksAndBuiltInsAreRefused)
{
    store(kName);
    const auto bi = window();
    choose(*bi, AnalysisText::kCommonTaskInformation);
    child<QAction>(*bi, "cmdRemove")->trigger();
    child<QAction>(*bi, "cmdEdit")->trigger();
    EXPECT_EQ(prompt.texts(), (QStringList{u"Built-in report couln't be removed."_s,
                                           u"Built-in report couldn't be edited."_s}));

    const int others = bi->tree()->topLevelItem(1)->childCount() - 1;
    prompt.clear();
    choose(*bi, kName);
    prompt.answer(PromptAnswer::Yes);
    child<QAction>(*bi, "cmdRemove")->trigger();
    EXPECT_EQ(prompt.texts(),
              QStringList{u"Do you really want to remove the report from Database?"_s});
    EXPECT_EQ(stored(kName), 0);
    EXPECT_EQ(bi->tree()->topLevelItem(1)->childCount(), others);
}

// A refused save keeps the designer open; a save over the analysis of the name replaces it on Yes.
TEST_F(AnalysisWindowsTest, DesignerShowsARefusalAndSavesOverTheOldAnalysis)
{
    store(kName);
    const auto screen = designer();
    child<QLineEdit>(*screen, "txtName")->setText(kName);
    EXPECT_FALSE(screen->save());
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify at least one Vertical dimension. "_s});
    EXPECT_NE(screen->result(), QDialog::Accepted);

    prompt.clear();
    chooseColumn(*screen, "Owner");
    screen->AddDimension(AnalysisArea::Vertical);
    chooseColumn(*screen, "Tasks");
    screen->addFact();
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(screen->save());
    EXPECT_EQ(prompt.texts(), QStringList{AnalysisText::overwrite(kName)});
    EXPECT_EQ(screen->result(), QDialog::Accepted);
    EXPECT_EQ(stored(kName), 1);
    const std::optional<Analysis> saved = loadAnalysis(db(), screen->savedId());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->items.size(), 2);
    EXPECT_TRUE(saved->options.allowPivot);
}

// A date column placed as a dimension asks for its parts and is stored as one row per part.
TEST_F(AnalysisWindowsTest, ADateColumnIsStoredByItsParts)
{
    const auto screen = designer();
    QStringList asked;
    std::optional<QList<DatePart>> parts;
    screen->setPartChooser([&](const QString& column) {
        asked << column;
        return parts;
    });
    chooseColumn(*screen, "Asked");
    screen->AddDimension(AnalysisArea::Vertical);
    EXPECT_EQ(child<QListWidget>(*screen, "lstVertical")->count(), 0);
    parts = QList<DatePart>{DatePart::Year, DatePart::Month};
    screen->AddDimension(AnalysisArea::Vertical);
    EXPECT_EQ(asked, (QStringList(2, u"Asked"_s)));
    chooseColumn(*screen, "Tasks");
    screen->addFact();
    child<QLineEdit>(*screen, "txtName")->setText(kName);
    ASSERT_TRUE(screen->save()) << prompt.texts().join(u'\n').toStdString();
    const std::optional<Analysis> saved = loadAnalysis(db(), screen->savedId());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->items.at(0).name, u"YEAR_Asked"_s);
    EXPECT_EQ(saved->items.at(1).name, u"MONTH_Asked"_s);
}

// The designer opened on a stored analysis shows its name, query, options and items.
TEST_F(AnalysisWindowsTest, EditingStartsFromTheStoredAnalysis)
{
    std::optional<Analysis> analysis = loadAnalysis(db(), store(kName));
    ASSERT_TRUE(analysis);
    analysis->options.allowPivot = false;
    dlgBIScreen screen(session, prompt, analysis);
    EXPECT_EQ(child<QLineEdit>(screen, "txtName")->text(), kName);
    EXPECT_EQ(child<QPlainTextEdit>(screen, "txtSQL")->toPlainText(), kQuery);
    EXPECT_FALSE(child<QCheckBox>(screen, "chkAllowPivot")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(screen, "chkAllowFilter")->isChecked());
    EXPECT_EQ(child<QListWidget>(screen, "lstVertical")->count(), 1);
    EXPECT_EQ(screen.design().analysis().items, analysis->items);
}

// The formula window takes a name and a formula that reads.
TEST_F(AnalysisWindowsTest, FormulaWindowRefusesWhatWillNotDo)
{
    const QList<pivot::Fact> facts{{u"Hours"_s, u"Hours"_s, Aggregate::Sum, false}};
    const struct
    {
        const char* name;
        const char* formula;
        QString shown; ///< what the refusal begins with; empty: accepted
    } cases[] = {
        {"", "Hours / 2", u"Please enter Name of OLAP fact."_s},
        {"Half", "  ", u"Please enter Formula expression for OLAP fact."_s},
        {"Half", "Minutes / 2", u"Minutes"_s},
        {"Half", "Hours / 2", QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formula);
        prompt.clear();
        dlgNewFormula dialog(session, prompt, facts);
        child<QLineEdit>(dialog, "txtName")->setText(QString::fromLatin1(c.name));
        child<QLineEdit>(dialog, "txtFormula")->setText(QString::fromLatin1(c.formula));
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.shown.isEmpty());
        if (c.shown.isEmpty()) {
            EXPECT_TRUE(prompt.texts().isEmpty());
        } else {
            ASSERT_EQ(prompt.texts().size(), 1);
            EXPECT_TRUE(prompt.texts().first().contains(c.shown))
                << prompt.texts().first().toStdString();
        }
    }
}
