#include "mainwindow/QuickReports.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/TeamTree.h"
#include "support/Lifecycles.h"
#include "support/SampleFiles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using quick::QuickReport;

namespace {

constexpr qlonglong kShop = 7;
const QString kRnD = u"<b>R&D</b> & Co"_s;
/** A requester whose name the old windows-1252 pages could not hold. */
const QString kLucja = u"\u0141ucja"_s;

/** A naive local moment on the fixed clock's calendar (now is 2024-01-31 14:05 local). */
QDateTime local(int day, int hour, int minute = 0)
{
    return naive(QDate(2024, 1, 1).addDays(day - 1), QTime(hour, minute));
}

/**
 * Tasks of bob (asked for by carl) in workshop 7, read by ann on a clock two hours east of GMT,
 * so that a local day starts at 22:00 GMT the day before.
 */
class QuickReportsTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        clock.set(local(31, 14, 5));
        clock.setStandardOffsetSeconds(2 * 3600);
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carl"_s, u"zed"_s, kLucja});
        test::addWorkshop(db(), kShop);
        test::addCategories(db(), {u"O'Brien's"_s});
        for (const QString& p : {u"Status"_s, u"Weekly Status"_s})
            db().execute(u"INSERT INTO LU_PRIORITY (Priority) VALUES (?)"_s, {p});
        session.currentWorkshopId = int(kShop);
    }

    const GmtConverter gmt{clock};

    qlonglong addTask(const QString& title, const QVariantMap& columns = {})
    {
        return test::addTaskRow(db(),
                                {{scr::Title, title},
                                 {scr::OwnerUserId, u"bob"_s},
                                 {scr::RequestId, u"carl"_s},
                                 {scr::StartDate, gmt.toGmt(local(2, 9))},
                                 {scr::MeetingId, 0}},
                                columns);
    }
    void complete(qlonglong task, const QDateTime& localMoment)
    {
        db().insertNumbered(u"ROUTE"_s, u"Route_Number"_s,
                            {u"SCR_Number"_s, u"USER_ID"_s, u"Route_Status"_s, u"Route_Date_In"_s},
                            {task, u"bob"_s, u"C"_s, gmt.toGmt(localMoment)});
    }

    /** The plug-in's status-report tables, with the columns the reports read. */
    void createStatusTables()
    {
        const Dialect& d = db().dialect();
        db().executeScript(u"CREATE TABLE MR_STATUS (SCR_Number %1, Attach_Date %2, Progress %3, "
                           "Issues %3, Recommendations %3, Satisfied %3, OnSchedule %3)"_s.arg(
                               d.columnType(ColumnType::Integer),
                               d.columnType(ColumnType::DateTime), d.textType()));
        db().executeScript(u"CREATE TABLE MR_WEEKLY_STATUS (SCR_Number %1)"_s.arg(
            d.columnType(ColumnType::Integer)));
    }
    void addStatus(qlonglong task, const QDateTime& localMoment, const QString& progress,
                   const QString& issues, const QString& satisfied)
    {
        db().execute(
            u"INSERT INTO MR_STATUS (SCR_Number, Attach_Date, Progress, "
            "Issues, Recommendations, Satisfied, OnSchedule) VALUES (?, "
            "?, ?, ?, ?, ?, ?)"_s,
            {task, gmt.toGmt(localMoment), progress, issues, u"rec"_s, satisfied, u"Yes"_s});
    }

    /** Runs a report for bob, ann and carl; the page's text, or the refusal's message. */
    QString run(QuickReport report, const QStringList& owners = {u"bob"_s, u"ann"_s, u"carl"_s})
    {
        const Outcome<QString> written =
            quick::writeReport(session, report, owners, pages.path(), logoDir.path());
        if (!written)
            return written.refusal() ? written.refusal()->message : u"declined"_s;
        return QString::fromUtf8(bx::test::fileBytes(*written));
    }

    static bool lists(const QString& page, const QString& text)
    {
        return page.contains(u"<td>"_s + text + u"</td>"_s);
    }

    QTemporaryDir pages;
    QTemporaryDir logoDir;
};

struct ListCase
{
    QuickReport report;
    QStringList in;
    QStringList out;
};

// Each report's rows: the moments on local days, the team's tasks only, sensitive ones only for
// the user's own, the status tables' latest rows and weekly issues within the team.
TEST_P(QuickReportsTest, EachReportListsItsRows)
{
    createStatusTables();
    const auto active = [&](const QString& title, const QVariantMap& columns = {}) {
        return addTask(title, columns);
    };
    complete(addTask(u"seven back"_s, {{scr::Status, u"C"_s}}), local(24, 0, 30));
    complete(addTask(u"eight back"_s, {{scr::Status, u"C"_s}}), local(23, 23, 30));
    active(u"late"_s, {{scr::OwnerTargetDate, gmt.toGmt(local(30, 23, 30))}});
    active(u"due today"_s, {{scr::OwnerTargetDate, gmt.toGmt(local(31, 0, 30))}});
    const qlonglong noDue = active(u"no due"_s);
    const qlonglong wants =
        active(u"wants status"_s, {{scr::Priority, u"Weekly Status"_s},
                                   {scr::OwnerTargetDate, gmt.toGmt(local(40, 12))}});
    const qlonglong reported =
        active(u"reported"_s,
               {{scr::Priority, u"Status"_s}, {scr::OwnerTargetDate, gmt.toGmt(local(41, 12))}});
    db().execute(u"INSERT INTO MR_WEEKLY_STATUS (SCR_Number) VALUES (?)"_s, {reported});
    const qlonglong elsewhere = active(u"other team"_s, {{scr::OwnerUserId, u"zed"_s}});
    active(u"their secret"_s, {{scr::Sensitive, true}});
    active(u"my secret"_s, {{scr::Sensitive, true}, {scr::RequestId, u"ann"_s}});

    addStatus(wants, local(21, 10), u"p-old"_s, u"old issue"_s, u"Yes"_s);
    addStatus(wants, local(29, 10), u"p-new"_s, u"   "_s, u"Yes"_s);
    addStatus(reported, local(30, 10), u"p-rd"_s, kRnD, u"Yes"_s);
    addStatus(noDue, local(11, 10), u"p-unhappy"_s, QString(), u"No"_s);
    addStatus(elsewhere, local(30, 10), u"p-zed"_s, u"theirs"_s, u"No"_s);

    const QStringList allActive{u"late"_s,         u"due today"_s, u"no due"_s,
                                u"wants status"_s, u"reported"_s,  u"my secret"_s};
    const QStringList notShown{u"other team"_s, u"their secret"_s, u"seven back"_s};
    const ListCase cases[] = {
        {QuickReport::CompletedThisWeek, {u"seven back"_s}, {u"eight back"_s, u"late"_s}},
        {QuickReport::CurrentWork, allActive, notShown},
        {QuickReport::OverDue, {u"late"_s}, {u"due today"_s, u"no due"_s}},
        {QuickReport::NoDueDate, {u"no due"_s, u"my secret"_s}, {u"late"_s, u"their secret"_s}},
        {QuickReport::NoStatusReport, {u"wants status"_s}, {u"reported"_s, u"late"_s}},
        {QuickReport::LatestStatus,
         {u"p-new"_s, u"p-rd"_s, u"p-unhappy"_s},
         {u"p-old"_s, u"p-zed"_s}},
        {QuickReport::StatusReports,
         {u"p-old"_s, u"p-new"_s, u"p-rd"_s, u"p-unhappy"_s},
         {u"p-zed"_s}},
        {QuickReport::WeeklyStatus,
         {u"p-new"_s, u"p-rd"_s},
         {u"p-old"_s, u"p-unhappy"_s, u"p-zed"_s}},
        // Blank issues do not count; another team's dissatisfaction stays out.
        {QuickReport::WeeklyIssues,
         {u"p-rd"_s, u"p-unhappy"_s},
         {u"p-new"_s, u"p-old"_s, u"p-zed"_s}},
    };
    for (const ListCase& c : cases) {
        const QString title = quick::infoOf(c.report).title;
        const QString page = run(c.report);
        EXPECT_TRUE(page.contains(u"<hr noshade>\n<p class=\"BXHeaderFont\">"_s +
                                  title.toHtmlEscaped() + u"</p>\n<hr noshade>"_s))
            << title.toStdString() << ": " << page.left(300).toStdString();
        for (const QString& t : c.in)
            EXPECT_TRUE(lists(page, t)) << title.toStdString() << " lacks " << t.toStdString();
        for (const QString& t : c.out)
            EXPECT_FALSE(lists(page, t)) << title.toStdString() << " lists " << t.toStdString();
    }
}

// The page declares UTF-8 and holds names outside windows-1252 as such; database text is text,
// never markup; dates are local days; the firm flag reads Yes/No, the requester stands under From.
TEST_P(QuickReportsTest, PageIsUtf8WithEscapedTextLocalDatesAndTheLogo)
{
    addTask(kRnD, {{scr::RequestId, kLucja},
                   {scr::FirmTargetDate, true},
                   {scr::OwnerTargetDate, gmt.toGmt(local(35, 0, 30))},
                   {scr::Category, u"O'Brien's"_s}});
    ASSERT_TRUE(bx::test::writeFile(QDir(logoDir.path()).filePath(u"BXLogo.png"_s), "png"));

    const QString page = run(QuickReport::CurrentWork);
    EXPECT_TRUE(page.contains(u"charset=utf-8"_s));
    EXPECT_FALSE(page.contains(u"windows-1252"_s));
    EXPECT_TRUE(lists(page, u"&lt;b&gt;R&amp;D&lt;/b&gt; &amp; Co"_s));
    EXPECT_FALSE(page.contains(kRnD));
    EXPECT_TRUE(lists(page, kLucja)) << "the requester under From";
    EXPECT_TRUE(lists(page, u"Yes"_s));
    EXPECT_TRUE(lists(page, u"2024-02-04"_s)) << "due 22:30 GMT the day before";
    EXPECT_TRUE(page.contains(u"#660099\">bob<"_s)) << "the owner's group";
    EXPECT_TRUE(page.contains(u"<b>O'Brien's</b>"_s)) << "the category's group";
    EXPECT_TRUE(page.contains(u"<th>From</th>"_s));
    EXPECT_EQ(bx::test::fileBytes(QDir(pages.path()).filePath(u"BXLogo.png"_s)), QByteArray("png"))
        << "the logo lies beside the page";
}

// No rows, or only another's sensitive task: the message instead of a page; no owners: nothing.
TEST_P(QuickReportsTest, NoDataNoPageAndNoOwnersNoReport)
{
    EXPECT_EQ(run(QuickReport::CurrentWork), u"The report contains no data"_s);
    addTask(u"their secret"_s, {{scr::Sensitive, true}});
    EXPECT_EQ(run(QuickReport::CurrentWork), u"The report contains no data"_s);
    EXPECT_FALSE(QFile::exists(QDir(pages.path()).filePath(u"CurTasks.html"_s)));
    EXPECT_EQ(run(QuickReport::CurrentWork, {}), u"declined"_s);
    EXPECT_EQ(run(QuickReport::CurrentWork, {u"carl"_s}), u"The report contains no data"_s)
        << "the team's owners only";
}

// Without the plug-in's tables the status reports fail with the engine's error.
TEST_P(QuickReportsTest, StatusReportsWithoutTheirTablesFailWithTheDatabaseError)
{
    addTask(u"wants status"_s, {{scr::Priority, u"Status"_s}});
    for (const QuickReport report :
         {QuickReport::NoStatusReport, QuickReport::LatestStatus, QuickReport::StatusReports,
          QuickReport::WeeklyStatus, QuickReport::WeeklyIssues}) {
        try {
            run(report);
            ADD_FAILURE() << quick::infoOf(report).title.toStdString() << " ran";
        } catch (const DbError& e) {
            EXPECT_EQ(e.kind(), DbErrorKind::UnknownTable) << e.what();
        }
    }
}

// The team tree's users, each once; the user kept to his own tasks alone.
TEST_P(QuickReportsTest, OwnersAreTheTreesUsers)
{
    constexpr qlonglong kSub = 8;
    test::addWorkshop(db(), kSub);
    db().execute(u"UPDATE LU_GROUP SET parent_workshop = ? WHERE GROUP_ID = ?"_s, {kShop, kSub});
    test::addMembers(db(), kShop, {u"ann"_s, u"bob"_s});
    test::addMembers(db(), kSub, {u"bob"_s, u"carl"_s});
    TeamTree tree;
    tree.setOptions({u"ann"_s, false, clock.nowLocal()});
    tree.buildSkeleton(db(), kShop, false);
    QStringList owners = quick::reportOwners(tree, std::nullopt);
    owners.sort(Qt::CaseInsensitive);
    EXPECT_EQ(owners.join(u','), u"ann,bob,carl"_s);
    EXPECT_EQ(quick::reportOwners(tree, OwnerSet{OwnerKind::User, {u"ann"_s}}),
              QStringList{u"ann"_s});
}

BX_INSTANTIATE_ENGINES(QuickReportsTest);

} // namespace
