#include "core/Session.h"
#include "core/StoredTextDocument.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "reports/ReportRunner.h"
#include "reports/ReportShelf.h"
#include "reports/ui/frmARDesigner.h"
#include "reports/ui/frmARWizard.h"
#include "reports/ui/frmReportProperties.h"
#include "support/ReportSamples.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;

namespace {

/** Stored reports in memory, as the window sees the store. */
class MemoryShelf final : public ReportShelf
{
public:
    Outcome<QList<StoredReport>> list() override { return reports; }
    Outcome<QByteArray> load(qlonglong number) override { return texts.value(number); }
    Outcome<qlonglong> publish(qlonglong number, const QString& fileName, const QString& title,
                               const QByteArray& layout) override
    {
        if (number == 0)
            number = 100 + reports.size();
        reports.removeIf([&](const StoredReport& r) { return r.number == number; });
        reports << StoredReport{number, fileName, title, 7};
        texts.insert(number, layout);
        return number;
    }
    Outcome<Done> remove(qlonglong number) override
    {
        reports.removeIf([&](const StoredReport& r) { return r.number == number; });
        texts.remove(number);
        return Done{};
    }

    QList<StoredReport> reports;
    QMap<qlonglong, QByteArray> texts;
};

/** Two tasks of workshop 7, "First" and "Second", and a stored report asking for a title. */
class ReportDesignerWindowTest : public WindowTest
{
protected:
    void arrange() override
    {
        enterWorkshop(7, u"Desk"_s);
        for (const char* title : {"First", "Second"})
            addOwnTask({{scr::Title, QString::fromLatin1(title)}, {scr::GroupId, 7}});
        asking.title = u"<b>R&D</b> & Co"_s;
        asking.query = u"PARAMETERS pWorkshop Long, pTitle Text;\nSELECT SCR.SCR_Number, "
                       "SCR.SCR_Title FROM SCR WHERE SCR.SCR_Group_ID = [pWorkshop] "
                       "AND SCR.SCR_Title = [pTitle]"_s;
        asking.parameters = {
            {u"pWorkshop"_s, u"Workshop"_s, ReportParameterType::Workshop, u"currentWorkshop"_s,
             false},
            {u"pTitle"_s, u"Title"_s, ReportParameterType::Text, u"First"_s, true}};
        asking.columns = {{u"SCR_Title"_s, u"Title"_s}};
        shelf.publish(0, u"Asking.rpx"_s, asking.title, asking.toJson());
    }

    void TearDown() override { session.closeDatabase(); }

    /** The layout over the workshop's tasks that "Blank Report" starts from. */
    static ReportLayout blankReport()
    {
        ReportLayout l;
        l.title = u"New Report"_s;
        reportrun::useSource(l, reportrun::Source::Tasks);
        l.columns = {{u"SCR_Number"_s, u"ID"_s}, {u"SCR_Title"_s, u"Title"_s}};
        return l;
    }

    /** Signs in as "ann", who has the reports right but not the global-reports one. */
    void signInWithoutGlobalReports()
    {
        session.user.userId = u"ann"_s;
        session.user.record.userId = u"ann"_s;
        session.user.record.reports = true;
        session.user.record.globalReports = false;
    }

    /** The viewer's text; the viewer shows stored text, so it must load no resource. */
    QString shown(frmARDesigner& window)
    {
        const auto* viewer = child<QTextBrowser>(window, "arvViewer");
        EXPECT_NE(qobject_cast<StoredTextDocument*>(viewer->document()), nullptr);
        return viewer->toPlainText();
    }

    MemoryShelf shelf;
    ReportLayout asking;
    QTemporaryDir files;
};

// Only the parameters that ask are asked, with their defaults; the answer decides the rows.
TEST_F(ReportDesignerWindowTest, RunsAStoredReportAskingItsParameters)
{
    frmARDesigner window(session, prompt, shelf);
    ASSERT_EQ(child<QTreeWidget>(window, "lvReports")->topLevelItemCount(), 1);
    ASSERT_TRUE(window.selectKey(u"Key100"_s));
    ASSERT_TRUE(window.modifySelected());
    EXPECT_EQ(*window.layout(), asking);

    prompt.answerInput(u"Second"_s);
    ASSERT_TRUE(window.run());
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_EQ(prompt.records().first().text, u"Title"_s);
    EXPECT_TRUE(shown(window).contains(u"Second"_s));
    EXPECT_FALSE(shown(window).contains(u"First"_s));
    EXPECT_TRUE(shown(window).contains(asking.title)) << shown(window).toStdString();

    // Cancelling the question runs nothing.
    prompt.answerInput(std::nullopt);
    EXPECT_FALSE(window.run());
}

TEST_F(ReportDesignerWindowTest, AFailingReportIsAReportDesignerError)
{
    ReportLayout broken = asking;
    broken.query = u"DELETE FROM SCR"_s;
    broken.parameters.clear();
    const QString path = files.filePath(u"broken.rpx"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(broken.toJson());
    file.close();

    frmARDesigner window(session, prompt, shelf);
    ASSERT_TRUE(window.openFile(path));
    EXPECT_FALSE(window.run());
    ASSERT_FALSE(prompt.records().isEmpty());
    EXPECT_EQ(prompt.last().title, u"Report Designer Error"_s);
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM SCR"_s).toInt(), 2);

    // Without the global-reports right a statement of one's own from a file is not published.
    signInWithoutGlobalReports();
    prompt.clear();
    EXPECT_FALSE(window.publish());
    EXPECT_EQ(prompt.last().text, UserRights::kNoGlobalReports);
    EXPECT_EQ(shelf.reports.size(), 1);

    // A file of a newer format is refused the same way.
    QByteArray newer = broken.toJson();
    newer.replace("\"format\": 1", "\"format\": 9").replace("\"format\": 2", "\"format\": 9");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(newer);
    file.close();
    prompt.clear();
    EXPECT_FALSE(window.openFile(path));
    EXPECT_EQ(prompt.last().title, u"Report Designer Error"_s);
}

// Closing over a report never saved asks; Cancel stays, Yes saves where the user chooses, and the
// file reads back equal. Publishing stores the report and lists it.
TEST_F(ReportDesignerWindowTest, SavesPublishesAndAsksBeforeLosingAReport)
{
    frmARDesigner window(session, prompt, shelf);
    const QString path = files.filePath(u"new.rpx"_s);
    window.setFileChooser([&](frmARDesigner::FileKind) { return path; });
    window.setPropertiesEditor([](const ReportLayout& layout) { return layout; });
    window.show();
    ASSERT_TRUE(window.newReport());

    prompt.answer(PromptAnswer::Cancel);
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(prompt.last().text, u"Save changes to the report?"_s);

    prompt.answer(PromptAnswer::Yes);
    window.close();
    EXPECT_FALSE(window.isVisible());
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const std::optional<ReportLayout> read = ReportLayout::fromJson(saved.readAll());
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, *window.layout());

    ASSERT_TRUE(window.publish());
    EXPECT_EQ(window.publishedNumber(), 101);
    EXPECT_EQ(shelf.texts.value(101), window.layout()->toJson());
    EXPECT_EQ(child<QTreeWidget>(window, "lvReports")->topLevelItemCount(), 2);
    EXPECT_FALSE(window.unsaved());
}

// Export writes what ran: a PDF, or the page as HTML with the database's text escaped.
TEST_F(ReportDesignerWindowTest, ExportsPdfAndHtml)
{
    frmARDesigner window(session, prompt, shelf);
    ASSERT_TRUE(window.selectKey(u"Key100"_s));
    ASSERT_TRUE(window.modifySelected());
    prompt.answerInput(u"First"_s);
    const QString pdf = files.filePath(u"r.pdf"_s);
    const QString html = files.filePath(u"r.html"_s);
    ASSERT_TRUE(window.exportTo(pdf));
    ASSERT_TRUE(window.exportTo(html));
    QFile a(pdf);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll().startsWith("%PDF"));
    QFile b(html);
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    const QByteArray page = b.readAll();
    EXPECT_TRUE(page.contains("&lt;b&gt;R&amp;D&lt;/b&gt; &amp; Co")) << page.toStdString();
}

// "Blank Report" opens the properties on the workshop's tasks; after OK the report is held, not
// saved, and closing asks about it. Cancel holds nothing.
TEST_F(ReportDesignerWindowTest, BlankReportOpensItsPropertiesAndHoldsTheResultUnsaved)
{
    frmARDesigner window(session, prompt, shelf);
    window.show();
    QString source;
    const auto answer = [&](bool ok) {
        QTimer::singleShot(0, [&, ok] {
            auto* dialog = qobject_cast<frmReportProperties*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no properties dialog";
                if (QWidget* other = QApplication::activeModalWidget())
                    other->close();
                return;
            }
            source = child<QComboBox>(*dialog, "cboSource")->currentText();
            child<QLineEdit>(*dialog, "txtTitle")->setText(u"O'Neil's tasks"_s);
            QTest::mouseClick(child<QPushButton>(*dialog, ok ? "cmdOK" : "cmdCancel"),
                              Qt::LeftButton);
        });
    };
    QAction* blank = window.findChild<QAction*>(u"New"_s);
    ASSERT_NE(blank, nullptr);

    answer(false);
    blank->trigger();
    EXPECT_EQ(source, u"Tasks"_s);
    EXPECT_FALSE(window.layout());

    answer(true);
    blank->trigger();
    ASSERT_TRUE(window.layout());
    EXPECT_EQ(window.layout()->title, u"O'Neil's tasks"_s);
    EXPECT_EQ(reportrun::sourceOf(window.layout()->query)->source, reportrun::Source::Tasks);
    EXPECT_TRUE(window.unsaved());
    EXPECT_EQ(shelf.texts.size(), 1) << "nothing published";
}

// "Modify" and "Properties..." edit the report held: a change is held unsaved under the same
// number; OK without a change leaves it saved.
TEST_F(ReportDesignerWindowTest, PropertiesOfAStoredReportAreHeldUnsaved)
{
    frmARDesigner window(session, prompt, shelf);
    window.setPropertiesEditor([&](const ReportLayout& layout) {
        frmReportProperties properties(session, prompt, layout);
        EXPECT_TRUE(properties.apply());
        return properties.layout();
    });
    ASSERT_TRUE(window.selectKey(u"Key100"_s));
    ASSERT_TRUE(window.modifySelected());
    EXPECT_FALSE(window.editProperties());

    window.setPropertiesEditor([&](const ReportLayout& layout) {
        frmReportProperties properties(session, prompt, layout);
        child<QComboBox>(properties, "cboOrientation")->setCurrentIndex(1);
        EXPECT_TRUE(properties.apply());
        return properties.layout();
    });
    EXPECT_TRUE(window.editProperties());
    EXPECT_TRUE(window.unsaved());
    EXPECT_EQ(window.layout()->orientation, ReportOrientation::Landscape);
    EXPECT_EQ(window.publishedNumber(), 100);
    EXPECT_EQ(ReportLayout::fromJson(shelf.texts.value(100))->orientation,
              ReportOrientation::Portrait);
}

// OK hands back every key of the layout as it came when nothing was touched, a preset source's
// groups and sorts too.
TEST_F(ReportDesignerWindowTest, PropertiesHandBackEveryKeyUnchanged)
{
    ReportLayout sorted = blankReport();
    sorted.columns.prepend(
        {u"SCR_Owner_User_ID"_s, u"Owner"_s, 9, ReportAlign::Center, ReportFormat::Text, -1, true});
    sorted.grouping = {{u"SCR_Owner_User_ID"_s, u"Owner"_s, false, true}};
    sorted.totals = {{u"SCR_Number"_s, ReportFunction::Max, ReportLevel::Group, u"Last"_s}};
    reportrun::useSource(sorted, reportrun::Source::Tasks,
                         {{u"SCR_Owner_User_ID"_s, false}, {u"SCR_Title"_s, true}});
    for (const ReportLayout& layout : {bx::test::everyKeyReportLayout(), sorted}) {
        SCOPED_TRACE(layout.title.toStdString());
        frmReportProperties properties(session, prompt, layout);
        ASSERT_TRUE(properties.apply()) << prompt.texts().join(u'|').toStdString();
        EXPECT_EQ(properties.layout(), layout);
        EXPECT_EQ(properties.result(), QDialog::Accepted);
    }
}

// What the controls say becomes the layout: general keys, a field of the source added as a
// column formatted after its kind, a format with decimals, a group level and a sort.
TEST_F(ReportDesignerWindowTest, PropertiesTurnTheControlsIntoTheLayout)
{
    frmReportProperties properties(session, prompt, blankReport());
    child<QComboBox>(properties, "cboStyle")->setCurrentText(u"Soft Gray"_s);
    child<QLineEdit>(properties, "txtFooter")->clear();
    QMenu* fields = child<QToolButton>(properties, "cmdFooterField")->menu();
    fields->actions().at(2)->trigger(); // {page}

    auto* list = child<QListWidget>(properties, "lstFields");
    ASSERT_GT(list->count(), 10) << "the source's fields are offered when the dialog opens";
    for (int i = 0; i < list->count(); ++i) {
        const QString field = list->item(i)->data(Qt::UserRole).toString();
        list->item(i)->setSelected(field == u"SCR_Owner_Target_Date"_s ||
                                   field == u"SCR_Percent_Complete"_s);
    }
    QTest::mouseClick(child<QPushButton>(properties, "cmdAddFields"), Qt::LeftButton);
    auto* columns = child<QTableWidget>(properties, "grdColumns");
    ASSERT_EQ(columns->rowCount(), 4);
    static_cast<QComboBox*>(columns->cellWidget(0, 2))->setCurrentText(u"number:2"_s);
    QTest::mouseClick(child<QPushButton>(properties, "cmdAddGroup"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(properties, "cmdAddSort"), Qt::LeftButton);
    auto* sorts = child<QTableWidget>(properties, "grdSorts");
    static_cast<QComboBox*>(sorts->cellWidget(0, 0))->setCurrentText(u"SCR_Title"_s);
    sorts->item(0, 1)->setCheckState(Qt::Checked);

    ASSERT_TRUE(properties.apply()) << prompt.texts().join(u'|').toStdString();
    const ReportLayout& l = properties.layout();
    EXPECT_EQ(l.style, ReportStyle::SoftGray);
    EXPECT_EQ(l.footer, u"{page}"_s);
    EXPECT_EQ(l.columns.at(0).decimals, 2);
    const ReportColumn* percent = l.column(u"SCR_Percent_Complete"_s);
    ASSERT_NE(percent, nullptr);
    EXPECT_EQ(percent->format, ReportFormat::Number);
    EXPECT_EQ(percent->align, ReportAlign::Right);
    const ReportColumn* due = l.column(u"SCR_Owner_Target_Date"_s);
    ASSERT_NE(due, nullptr);
    EXPECT_EQ(due->format, ReportFormat::Date);
    ASSERT_EQ(l.grouping.size(), 1);
    EXPECT_EQ(l.grouping.at(0).field, u"SCR_Number"_s);
    EXPECT_EQ(reportrun::sourceOf(l.query)->first,
              (QList<reportrun::ReportSort>{{u"SCR_Number"_s, false}, {u"SCR_Title"_s, true}}));
    EXPECT_TRUE(reportrun::runReport(session, l));
}

// Without the global-reports right "Write my own query" is refused and the source stays; an own
// query is shown but cannot be changed. A layout the format refuses keeps the dialog open.
TEST_F(ReportDesignerWindowTest, PropertiesRefuseWhatTheUserMayNotDo)
{
    signInWithoutGlobalReports();
    {
        frmReportProperties properties(session, prompt, blankReport());
        EXPECT_FALSE(properties.chooseSource(std::nullopt));
        EXPECT_EQ(prompt.last().text, UserRights::kNoGlobalReports);
        EXPECT_EQ(child<QComboBox>(properties, "cboSource")->currentText(), u"Tasks"_s);
        EXPECT_TRUE(child<QPlainTextEdit>(properties, "txtQuery")->isReadOnly());
    }
    {
        frmReportProperties properties(session, prompt, asking);
        EXPECT_TRUE(child<QPlainTextEdit>(properties, "txtQuery")->isReadOnly());
        EXPECT_FALSE(child<QTableWidget>(properties, "grdParameters")->isEnabled());
        ASSERT_TRUE(properties.apply());
        EXPECT_EQ(properties.layout(), asking);
    }
    {
        prompt.clear();
        frmReportProperties properties(session, prompt, asking);
        child<QLineEdit>(properties, "txtTitle")->clear();
        EXPECT_FALSE(properties.apply());
        EXPECT_EQ(prompt.last().title, u"Report Designer Error"_s);
        EXPECT_NE(properties.result(), QDialog::Accepted);
    }
}

// "New Report Wizard" first saves or gives up the report held, then holds the wizard's report,
// not yet saved.
TEST_F(ReportDesignerWindowTest, HoldsTheWizardsReportUnsaved)
{
    frmARDesigner window(session, prompt, shelf);
    window.setPropertiesEditor([](const ReportLayout& layout) { return layout; });
    window.newReport();
    QAction* wizard = window.findChild<QAction*>(u"NewWizard"_s);
    ASSERT_NE(wizard, nullptr);
    // Should the wizard open all the same, it is closed at once rather than waited for.
    QTimer::singleShot(0, &window, [] {
        if (QWidget* open = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the wizard opened";
            open->close();
        }
    });
    prompt.answer(PromptAnswer::Cancel);
    wizard->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompt.last().text, u"Save changes to the report?"_s);
    EXPECT_EQ(window.layout()->title, u"New Report"_s);

    reportwizard::Report report;
    report.title = u"From the wizard"_s;
    report.source = reportrun::Source::Tasks;
    report.fields = {{{}, QString(scr::Title), u"text"_s, reportwizard::FieldKind::Text, 30}};
    QTimer::singleShot(0, &window, [&] {
        auto* open = qobject_cast<frmARWizard*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        open->SetReport(report);
        EXPECT_TRUE(open->finish()) << prompt.texts().join(u'|').toStdString();
    });
    prompt.answer(PromptAnswer::No);
    wizard->trigger();
    ASSERT_TRUE(window.layout());
    EXPECT_EQ(window.layout()->title, report.title);
    EXPECT_TRUE(window.unsaved());
    EXPECT_EQ(window.publishedNumber(), 0);

    // A file takes its place only once it is saved or given up.
    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(window.openFile(u"/nonexistent/any.rpx"_s));
    EXPECT_EQ(window.layout()->title, report.title);
}

} // namespace
