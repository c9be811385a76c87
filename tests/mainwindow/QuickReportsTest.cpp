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

using namespace bx;
using quick::QuickReport;

namespace {

constexpr qlonglong kShop = 7;
const QString kRnD = QStringLiteral("<b>R&D</b> & Co");
/** A requester whose name the old windows-1252 pages could not hold. */
const QString kLucja = QStringLiteral("\u0141ucja");

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
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        clock.set(local(31, 14, 5));
        clock.setStandardOffsetSeconds(2 * 3600);
        test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob"), QStringLiteral("carl"),
                              QStringLiteral("zed"), kLucja});
        test::addWorkshop(db(), kShop);
        test::addCategories(db(), {QStringLiteral("O'Brien's")});
        for (const QString& p : {QStringLiteral("Status"), QStringLiteral("Weekly Status")})
            db().execute(QStringLiteral("INSERT INTO LU_PRIORITY (Priority) VALUES (?)"), {p});
        session.currentWorkshopId = int(kShop);
    }

    const GmtConverter gmt{clock};

    qlonglong addTask(const QString& title, const QVariantMap& columns = {})
    {
        return test::addTaskRow(db(),
                                {{scr::Title, title},
                                 {scr::OwnerUserId, QStringLiteral("bob")},
                                 {scr::RequestId, QStringLiteral("carl")},
                                 {scr::StartDate, gmt.toGmt(local(2, 9))},
                                 {scr::MeetingId, 0}},
                                columns);
    }
    void complete(qlonglong task, const QDateTime& localMoment)
    {
        db().insertNumbered(
            QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
            {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID"),
             QStringLiteral("Route_Status"), QStringLiteral("Route_Date_In")},
            {task, QStringLiteral("bob"), QStringLiteral("C"), gmt.toGmt(localMoment)});
    }

    /** The plug-in's status-report tables, with the columns the reports read. */
    void createStatusTables()
    {
        const Dialect& d = db().dialect();
        db().executeScript(
            QStringLiteral("CREATE TABLE MR_STATUS (SCR_Number %1, Attach_Date %2, Progress %3, "
                           "Issues %3, Recommendations %3, Satisfied %3, OnSchedule %3)")
                .arg(d.columnType(ColumnType::Integer), d.columnType(ColumnType::DateTime),
                     d.textType()));
        db().executeScript(QStringLiteral("CREATE TABLE MR_WEEKLY_STATUS (SCR_Number %1)")
                               .arg(d.columnType(ColumnType::Integer)));
    }
    void addStatus(qlonglong task, const QDateTime& localMoment, const QString& progress,
                   const QString& issues, const QString& satisfied)
    {
        db().execute(QStringLiteral("INSERT INTO MR_STATUS (SCR_Number, Attach_Date, Progress, "
                                    "Issues, Recommendations, Satisfied, OnSchedule) VALUES (?, "
                                    "?, ?, ?, ?, ?, ?)"),
                     {task, gmt.toGmt(localMoment), progress, issues, QStringLiteral("rec"),
                      satisfied, QStringLiteral("Yes")});
    }

    /** Runs a report for bob, ann and carl; the page's text, or the refusal's message. */
    QString run(QuickReport report,
                const QStringList& owners = {QStringLiteral("bob"), QStringLiteral("ann"),
                                             QStringLiteral("carl")})
    {
        const Outcome<QString> written =
            quick::writeReport(session, report, owners, pages.path(), logoDir.path());
        if (!written)
            return written.refusal() ? written.refusal()->message : QStringLiteral("declined");
        return QString::fromUtf8(bx::test::fileBytes(*written));
    }

    static bool lists(const QString& page, const QString& text)
    {
        return page.contains(QStringLiteral("<td>") + text + QStringLiteral("</td>"));
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
    complete(addTask(QStringLiteral("seven back"), {{scr::Status, QStringLiteral("C")}}),
             local(24, 0, 30));
    complete(addTask(QStringLiteral("eight back"), {{scr::Status, QStringLiteral("C")}}),
             local(23, 23, 30));
    active(QStringLiteral("late"), {{scr::OwnerTargetDate, gmt.toGmt(local(30, 23, 30))}});
    active(QStringLiteral("due today"), {{scr::OwnerTargetDate, gmt.toGmt(local(31, 0, 30))}});
    const qlonglong noDue = active(QStringLiteral("no due"));
    const qlonglong wants =
        active(QStringLiteral("wants status"), {{scr::Priority, QStringLiteral("Weekly Status")},
                                                {scr::OwnerTargetDate, gmt.toGmt(local(40, 12))}});
    const qlonglong reported =
        active(QStringLiteral("reported"), {{scr::Priority, QStringLiteral("Status")},
                                            {scr::OwnerTargetDate, gmt.toGmt(local(41, 12))}});
    db().execute(QStringLiteral("INSERT INTO MR_WEEKLY_STATUS (SCR_Number) VALUES (?)"),
                 {reported});
    const qlonglong elsewhere =
        active(QStringLiteral("other team"), {{scr::OwnerUserId, QStringLiteral("zed")}});
    active(QStringLiteral("their secret"), {{scr::Sensitive, true}});
    active(QStringLiteral("my secret"),
           {{scr::Sensitive, true}, {scr::RequestId, QStringLiteral("ann")}});

    addStatus(wants, local(21, 10), QStringLiteral("p-old"), QStringLiteral("old issue"),
              QStringLiteral("Yes"));
    addStatus(wants, local(29, 10), QStringLiteral("p-new"), QStringLiteral("   "),
              QStringLiteral("Yes"));
    addStatus(reported, local(30, 10), QStringLiteral("p-rd"), kRnD, QStringLiteral("Yes"));
    addStatus(noDue, local(11, 10), QStringLiteral("p-unhappy"), QString(), QStringLiteral("No"));
    addStatus(elsewhere, local(30, 10), QStringLiteral("p-zed"), QStringLiteral("theirs"),
              QStringLiteral("No"));

    const QStringList allActive{QStringLiteral("late"),     QStringLiteral("due today"),
                                QStringLiteral("no due"),   QStringLiteral("wants status"),
                                QStringLiteral("reported"), QStringLiteral("my secret")};
    const QStringList notShown{QStringLiteral("other team"), QStringLiteral("their secret"),
                               QStringLiteral("seven back")};
    const ListCase cases[] = {
        {QuickReport::CompletedThisWeek,
         {QStringLiteral("seven back")},
         {QStringLiteral("eight back"), QStringLiteral("late")}},
        {QuickReport::CurrentWork, allActive, notShown},
        {QuickReport::OverDue,
         {QStringLiteral("late")},
         {QStringLiteral("due today"), QStringLiteral("no due")}},
        {QuickReport::NoDueDate,
         {QStringLiteral("no due"), QStringLiteral("my secret")},
         {QStringLiteral("late"), QStringLiteral("their secret")}},
        {QuickReport::NoStatusReport,
         {QStringLiteral("wants status")},
         {QStringLiteral("reported"), QStringLiteral("late")}},
        {QuickReport::LatestStatus,
         {QStringLiteral("p-new"), QStringLiteral("p-rd"), QStringLiteral("p-unhappy")},
         {QStringLiteral("p-old"), QStringLiteral("p-zed")}},
        {QuickReport::StatusReports,
         {QStringLiteral("p-old"), QStringLiteral("p-new"), QStringLiteral("p-rd"),
          QStringLiteral("p-unhappy")},
         {QStringLiteral("p-zed")}},
        {QuickReport::WeeklyStatus,
         {QStringLiteral("p-new"), QStringLiteral("p-rd")},
         {QStringLiteral("p-old"), QStringLiteral("p-unhappy"), QStringLiteral("p-zed")}},
        // Blank issues do not count; another team's dissatisfaction stays out.
        {QuickReport::WeeklyIssues,
         {QStringLiteral("p-rd"), QStringLiteral("p-unhappy")},
         {QStringLiteral("p-new"), QStringLiteral("p-old"), QStringLiteral("p-zed")}},
    };
    for (const ListCase& c : cases) {
        const QString title = quick::infoOf(c.report).title;
        const QString page = run(c.report);
        EXPECT_TRUE(page.contains(QStringLiteral("<hr noshade>\n<p class=\"BXHeaderFont\">") +
                                  title.toHtmlEscaped() + QStringLiteral("</p>\n<hr noshade>")))
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
                   {scr::Category, QStringLiteral("O'Brien's")}});
    ASSERT_TRUE(bx::test::writeFile(QDir(logoDir.path()).filePath(quick::kLogoFile), "png"));

    const QString page = run(QuickReport::CurrentWork);
    EXPECT_TRUE(page.contains(QStringLiteral("charset=utf-8")));
    EXPECT_FALSE(page.contains(QStringLiteral("windows-1252")));
    EXPECT_TRUE(lists(page, QStringLiteral("&lt;b&gt;R&amp;D&lt;/b&gt; &amp; Co")));
    EXPECT_FALSE(page.contains(kRnD));
    EXPECT_TRUE(lists(page, kLucja)) << "the requester under From";
    EXPECT_TRUE(lists(page, QStringLiteral("Yes")));
    EXPECT_TRUE(lists(page, QStringLiteral("2024-02-04"))) << "due 22:30 GMT the day before";
    EXPECT_TRUE(page.contains(QStringLiteral("#660099\">bob<"))) << "the owner's group";
    EXPECT_TRUE(page.contains(QStringLiteral("<b>O'Brien's</b>"))) << "the category's group";
    EXPECT_TRUE(page.contains(QStringLiteral("<th>From</th>")));
    EXPECT_EQ(bx::test::fileBytes(QDir(pages.path()).filePath(quick::kLogoFile)), QByteArray("png"))
        << "the logo lies beside the page";
}

// No rows, or only another's sensitive task: the message instead of a page; no owners: nothing.
TEST_P(QuickReportsTest, NoDataNoPageAndNoOwnersNoReport)
{
    EXPECT_EQ(run(QuickReport::CurrentWork), quick::kNoData);
    addTask(QStringLiteral("their secret"), {{scr::Sensitive, true}});
    EXPECT_EQ(run(QuickReport::CurrentWork), quick::kNoData);
    EXPECT_FALSE(QFile::exists(QDir(pages.path()).filePath(QStringLiteral("CurTasks.html"))));
    EXPECT_EQ(run(QuickReport::CurrentWork, {}), QStringLiteral("declined"));
    EXPECT_EQ(run(QuickReport::CurrentWork, {QStringLiteral("carl")}), quick::kNoData)
        << "the team's owners only";
}

// Without the plug-in's tables the status reports fail with the engine's error.
TEST_P(QuickReportsTest, StatusReportsWithoutTheirTablesFailWithTheDatabaseError)
{
    addTask(QStringLiteral("wants status"), {{scr::Priority, QStringLiteral("Status")}});
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
    db().execute(QStringLiteral("UPDATE LU_GROUP SET parent_workshop = ? WHERE GROUP_ID = ?"),
                 {kShop, kSub});
    test::addMembers(db(), kShop, {QStringLiteral("ann"), QStringLiteral("bob")});
    test::addMembers(db(), kSub, {QStringLiteral("bob"), QStringLiteral("carl")});
    TeamTree tree;
    tree.setOptions({QStringLiteral("ann"), false, clock.nowLocal()});
    tree.buildSkeleton(db(), kShop, false);
    QStringList owners = quick::reportOwners(tree, std::nullopt);
    owners.sort(Qt::CaseInsensitive);
    EXPECT_EQ(owners.join(u','), QStringLiteral("ann,bob,carl"));
    EXPECT_EQ(quick::reportOwners(tree, OwnerSet{OwnerKind::User, {QStringLiteral("ann")}}),
              QStringList{QStringLiteral("ann")});
}

BX_INSTANTIATE_ENGINES(QuickReportsTest);

} // namespace
