#include "workflow/RouteHistory.h"

#include "core/db/Database.h"
#include "support/FixedClock.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

/** Local time is GMT + 1 hour; today is 31 January 2024 there. */
class RouteHistoryTest : public bx::test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        clock.setStandardOffsetSeconds(3600);
    }

    void addRow(qlonglong task, const QString& user, const QDateTime& in, const QDateTime& out,
                const QString& action, const QString& note = {}, const QDateTime& target = {})
    {
        db().insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID"),
                             QStringLiteral("Route_Date_In"), QStringLiteral("Route_Date_Out"),
                             QStringLiteral("Route_Target_Date"), QStringLiteral("Route_Status"),
                             QStringLiteral("Route_Action"), QStringLiteral("Route_Note")},
                            {task, user, in, out.isValid() ? QVariant(out) : QVariant(),
                             target.isValid() ? QVariant(target) : QVariant(), QStringLiteral("A"),
                             action, note});
    }

    /** The body rows of the page's table, one string per row. */
    static QStringList bodyRows(const QString& page)
    {
        QStringList rows;
        for (const QString& line : page.split(QLatin1Char('\n')))
            if (line.startsWith(QStringLiteral("<tr><td")))
                rows.append(line);
        return rows;
    }

    bx::test::FixedClock clock;
};

TEST(RouteHistoryRowClass, FollowsTheExactActionWord)
{
    const struct
    {
        const char* action;
        const char* cls;
    } cases[] = {
        {"ROUTE", "BXNormaBLUEFont"},   {"REOPEN", "BXNormaBLUEFont"},
        {"RESTART", "BXNormaBLUEFont"}, {"YES", "BXNormaGREENFont"},
        {"NO", "BXNormaREDFont"},       {"CANCEL", "BXNormaREDFont"},
        {"Reopen", "BXNormalFont"},     {"Cancel", "BXNormalFont"},
        {"yes", "BXNormalFont"},        {"YES ", "BXNormalFont"},
        {"", "BXNormalFont"},           {"Task routed to 'ann'", "BXNormalFont"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RouteHistory::rowClass(QString::fromUtf8(c.action)), QString::fromUtf8(c.cls))
            << c.action;
}

TEST_P(RouteHistoryTest, PageListsTheTaskNewestFirstInLocalTime)
{
    const QDateTime gmt = naive(QDate(2024, 1, 30), QTime(23, 15, 0));
    addRow(7, QStringLiteral("ann"), gmt, gmt.addSecs(60), QStringLiteral("Create Request"));
    addRow(8, QStringLiteral("other"), gmt, gmt, QStringLiteral("YES"), QStringLiteral("not ours"));
    addRow(7, QStringLiteral("O'Brien"), gmt.addSecs(60), gmt.addSecs(120), QStringLiteral("YES"),
           QStringLiteral("<script>alert('x')</script> & \"quoted\""),
           naive(QDate(2024, 2, 29), QTime(8, 0)));
    addRow(7, QStringLiteral("bob"), gmt.addSecs(120), {}, QString());

    const QString page = RouteHistory(db(), clock, tempDir()).html(7);

    // Today's date in local time heads the page.
    EXPECT_TRUE(page.contains(QStringLiteral(" Today: 2024-01-31</span>")));
    const QStringList rows = bodyRows(page);
    ASSERT_EQ(rows.size(), 3);
    const auto row = [](const char* cls, const QStringList& cells) {
        QString html = QStringLiteral("<tr>");
        for (const QString& cell : cells)
            html += QStringLiteral("<td class=\"%1\">%2</td>").arg(QString::fromUtf8(cls), cell);
        return html + QStringLiteral("</tr>");
    };
    const QString none = QStringLiteral("&nbsp;");
    EXPECT_EQ(rows.at(0),
              row("BXNormalFont", {QStringLiteral("bob"), QStringLiteral("2024-01-31 00:17:00"),
                                   none, none, QStringLiteral("A"), none, none}));
    EXPECT_EQ(
        rows.at(1),
        row("BXNormaGREENFont",
            {QStringLiteral("O'Brien"), QStringLiteral("2024-01-31 00:16:00"),
             QStringLiteral("2024-02-29 09:00:00"), QStringLiteral("2024-01-31 00:17:00"),
             QStringLiteral("A"), QStringLiteral("YES"),
             QStringLiteral("&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;quoted&quot;")}));
    EXPECT_TRUE(rows.at(2).contains(QStringLiteral(">Create Request</td>")));
    EXPECT_FALSE(page.contains(QStringLiteral("<script>")));
    EXPECT_FALSE(page.contains(QStringLiteral("not ours")));
}

BX_INSTANTIATE_ENGINES(RouteHistoryTest);

} // namespace
