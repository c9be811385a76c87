#include "core/AppPaths.h"
#include "core/Session.h"
#include "core/StoredTextDocument.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "reports/TimeSheets.h"
#include "reports/ui/dlgTSHReport.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"<b>R&D</b>"_s;
const QString kTitleEscaped = u"&lt;b&gt;R&amp;D&lt;/b&gt;"_s;

/** ann, at a rate of 33.33, has booked 1:30 today on the task "<b>R&D</b>" of her workshop. */
class TimeSheetReportWindowTest : public WindowTest
{
protected:
    void arrange() override
    {
        addUsers(db(), {u"ann"_s});
        db().execute(u"UPDATE LU_USER SET Rate = 33.33 WHERE USER_ID = 'ann'"_s);
        session.user.userId = session.user.record.userId = u"ann"_s;
        enterWorkshop(7, u"O'Neil's desk"_s);
        const qlonglong task =
            addOwnTask({{scr::Title, kTitle}, {scr::GroupId, session.currentWorkshopId}});
        ASSERT_TRUE(timesheet::addBooking(
            session, task, {clock.nowLocal().date(), QTime(9, 0), u"1"_s, u"30"_s, QString()}));
        QFile::remove(pagePath());
    }

    void TearDown() override { session.closeDatabase(); }

    static QString pagePath() { return QDir(AppPaths::dataDir()).filePath(u"RepTmp.html"_s); }

    static QByteArray page()
    {
        QFile file(pagePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// The window writes its page as RepTmp.html in the user's data folder, the task's title escaped,
// and shows the title as it was typed.
TEST_F(TimeSheetReportWindowTest, WritesThePageAndShowsTheTextLiterally)
{
    dlgTSHReport report(session, prompt);
    report.show();
    ASSERT_TRUE(report.refresh());
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();

    const QByteArray written = page();
    EXPECT_TRUE(written.contains(kTitleEscaped.toUtf8())) << written.toStdString();
    EXPECT_FALSE(written.contains(kTitle.toUtf8()));
    const auto* view = child<QTextBrowser>(report, "WebBrowser1");
    EXPECT_TRUE(view->toPlainText().contains(kTitle)) << view->toPlainText().toStdString();
    // The page holds stored text: its view loads no file or network resource.
    EXPECT_NE(qobject_cast<StoredTextDocument*>(view->document()), nullptr);
}

// A period the window cannot read is refused with the focus on its box; no page is written.
TEST_F(TimeSheetReportWindowTest, PeriodRefusals)
{
    const struct
    {
        const char* option;
        const char* box;
        const char* text;
        const char* message;
    } cases[] = {
        {"optMonths", "txtMonths", "", "Please specify Number of Months"},
        {"optDays", "txtDays", "a week", "Please specify Number of Days"},
        {"optDates", "DTPicker1", "", "Start Date is more then the End one."},
    };
    for (const auto& c : cases) {
        prompt.clear();
        dlgTSHReport report(session, prompt);
        report.show();
        child<QRadioButton>(report, c.option)->setChecked(true);
        if (auto* edit = report.findChild<QLineEdit*>(QLatin1String(c.box)))
            edit->setText(QLatin1String(c.text));
        auto* from = child<QDateEdit>(report, "DTPicker1");
        from->setDate(child<QDateEdit>(report, "DTPicker2")->date().addDays(1));
        EXPECT_FALSE(report.refresh()) << c.option;
        EXPECT_EQ(prompt.texts(), QStringList{QLatin1String(c.message)}) << c.option;
        EXPECT_EQ(report.focusWidget(), child<QWidget>(report, c.box)) << c.option;
        EXPECT_FALSE(QFile::exists(pagePath())) << c.option;
    }
}

} // namespace
