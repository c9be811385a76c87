#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "reports/ReportRunner.h"
#include "reports/ReportShelf.h"
#include "reports/ui/frmARDesigner.h"
#include "reports/ui/frmARWizard.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;

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
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        enterWorkshop(7, QStringLiteral("Desk"));
        for (const char* title : {"First", "Second"})
            addOwnTask({{scr::Title, QString::fromLatin1(title)}, {scr::GroupId, 7}});
        asking.title = QStringLiteral("<b>R&D</b> & Co");
        asking.query = QStringLiteral(
            "PARAMETERS pWorkshop Long, pTitle Text;\n"
            "SELECT SCR.SCR_Number, SCR.SCR_Title FROM SCR WHERE SCR.SCR_Group_ID = [pWorkshop] "
            "AND SCR.SCR_Title = [pTitle]");
        asking.parameters = {{QStringLiteral("pWorkshop"), QStringLiteral("Workshop"),
                              ReportParameterType::Workshop, QStringLiteral("currentWorkshop"),
                              false},
                             {QStringLiteral("pTitle"), QStringLiteral("Title"),
                              ReportParameterType::Text, QStringLiteral("First"), true}};
        asking.columns = {{QStringLiteral("SCR_Title"), QStringLiteral("Title")}};
        shelf.publish(0, QStringLiteral("Asking.rpx"), asking.title, asking.toJson());
    }

    void TearDown() override { session.closeDatabase(); }

    QString shown(frmARDesigner& window)
    {
        return child<QTextBrowser>(window, "arvViewer")->toPlainText();
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
    ASSERT_TRUE(window.selectKey(QStringLiteral("Key100")));
    ASSERT_TRUE(window.modifySelected());
    EXPECT_EQ(*window.layout(), asking);

    prompt.answerInput(QStringLiteral("Second"));
    ASSERT_TRUE(window.run());
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_EQ(prompt.records().first().text, QStringLiteral("Title"));
    EXPECT_TRUE(shown(window).contains(QStringLiteral("Second")));
    EXPECT_FALSE(shown(window).contains(QStringLiteral("First")));
    EXPECT_TRUE(shown(window).contains(asking.title)) << shown(window).toStdString();

    // Cancelling the question runs nothing.
    prompt.answerInput(std::nullopt);
    EXPECT_FALSE(window.run());
}

TEST_F(ReportDesignerWindowTest, AFailingReportIsAReportDesignerError)
{
    ReportLayout broken = asking;
    broken.query = QStringLiteral("DELETE FROM SCR");
    broken.parameters.clear();
    const QString path = files.filePath(QStringLiteral("broken.rpx"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(broken.toJson());
    file.close();

    frmARDesigner window(session, prompt, shelf);
    ASSERT_TRUE(window.openFile(path));
    EXPECT_FALSE(window.run());
    ASSERT_FALSE(prompt.records().isEmpty());
    EXPECT_EQ(prompt.last().title, QStringLiteral("Report Designer Error"));
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM SCR")).toInt(), 2);

    // A file of a newer format is refused the same way.
    QByteArray newer = broken.toJson();
    newer.replace("\"format\": 1", "\"format\": 9").replace("\"format\": 2", "\"format\": 9");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(newer);
    file.close();
    prompt.clear();
    EXPECT_FALSE(window.openFile(path));
    EXPECT_EQ(prompt.last().title, QStringLiteral("Report Designer Error"));
}

// Closing over a report never saved asks; Cancel stays, Yes saves where the user chooses, and the
// file reads back equal. Publishing stores the report and lists it.
TEST_F(ReportDesignerWindowTest, SavesPublishesAndAsksBeforeLosingAReport)
{
    frmARDesigner window(session, prompt, shelf);
    const QString path = files.filePath(QStringLiteral("new.rpx"));
    window.setFileChooser([&](frmARDesigner::FileKind) { return path; });
    window.show();
    window.newReport();

    prompt.answer(PromptAnswer::Cancel);
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(prompt.last().text, QStringLiteral("Save changes to the report?"));

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
    ASSERT_TRUE(window.selectKey(QStringLiteral("Key100")));
    ASSERT_TRUE(window.modifySelected());
    prompt.answerInput(QStringLiteral("First"));
    const QString pdf = files.filePath(QStringLiteral("r.pdf"));
    const QString html = files.filePath(QStringLiteral("r.html"));
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

// "New Report Wizard" first saves or gives up the report held, then holds the wizard's report,
// not yet saved.
TEST_F(ReportDesignerWindowTest, HoldsTheWizardsReportUnsaved)
{
    frmARDesigner window(session, prompt, shelf);
    window.newReport();
    QAction* wizard = window.findChild<QAction*>(QStringLiteral("NewWizard"));
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
    EXPECT_EQ(prompt.last().text, QStringLiteral("Save changes to the report?"));
    EXPECT_EQ(window.layout()->title, QStringLiteral("New Report"));

    reportwizard::Report report;
    report.title = QStringLiteral("From the wizard");
    report.source = reportrun::Source::Tasks;
    report.fields = {
        {{}, QString(scr::Title), QStringLiteral("text"), reportwizard::FieldKind::Text, 30}};
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
    EXPECT_TRUE(window.run());
    EXPECT_TRUE(shown(window).contains(QStringLiteral("Second")));
}

} // namespace
