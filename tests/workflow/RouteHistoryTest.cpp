#include "workflow/RouteHistory.h"

#include "core/db/Database.h"
#include "support/FixedClock.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/** Local time is GMT + 1 hour; today is 31 January 2024 there. */
class RouteHistoryTest : public bx::test::CurrentSchemaTest
{
protected:
    void arrange() override { clock.setStandardOffsetSeconds(3600); }

    void addRow(qlonglong task, const QString& user, const QDateTime& in, const QDateTime& out,
                const QString& action, const QString& note = {}, const QDateTime& target = {})
    {
        db().insertNumbered(
            u"ROUTE"_s, u"Route_Number"_s,
            {u"SCR_Number"_s, u"USER_ID"_s, u"Route_Date_In"_s, u"Route_Date_Out"_s,
             u"Route_Target_Date"_s, u"Route_Status"_s, u"Route_Action"_s, u"Route_Note"_s},
            {task, user, in, out.isValid() ? QVariant(out) : QVariant(),
             target.isValid() ? QVariant(target) : QVariant(), u"A"_s, action, note});
    }

    /** The body rows of the page's table, one string per row. */
    static QStringList bodyRows(const QString& page)
    {
        QStringList rows;
        for (const QString& line : page.split(u'\n'))
            if (line.startsWith(u"<tr><td"_s))
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
        {"Reopen", "BXNormalFont"},     {"YES ", "BXNormalFont"},
        {"", "BXNormalFont"},           {"Task routed to 'ann'", "BXNormalFont"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RouteHistory::rowClass(QString::fromUtf8(c.action)), QString::fromUtf8(c.cls))
            << c.action;
}

TEST_P(RouteHistoryTest, PageListsTheTaskNewestFirstInLocalTime)
{
    const QDateTime gmt = naive(QDate(2024, 1, 30), QTime(23, 15, 0));
    addRow(7, u"ann"_s, gmt, gmt.addSecs(60), u"Create Request"_s);
    addRow(8, u"other"_s, gmt, gmt, u"YES"_s, u"not ours"_s);
    addRow(7, u"O'Brien"_s, gmt.addSecs(60), gmt.addSecs(120), u"YES"_s,
           u"<script>alert('x')</script> & \"quoted\""_s, naive(QDate(2024, 2, 29), QTime(8, 0)));
    addRow(7, u"bob"_s, gmt.addSecs(120), {}, QString());

    const QString page = RouteHistory(db(), clock, tempDir()).html(7);

    // Today's date in local time heads the page.
    EXPECT_TRUE(page.contains(u" Today: 2024-01-31</span>"_s));
    const QStringList rows = bodyRows(page);
    ASSERT_EQ(rows.size(), 3);
    const auto row = [](const char* cls, const QStringList& cells) {
        QString html = u"<tr>"_s;
        for (const QString& cell : cells)
            html += u"<td class=\"%1\">%2</td>"_s.arg(QString::fromUtf8(cls), cell);
        return html + u"</tr>"_s;
    };
    const QString none = u"&nbsp;"_s;
    EXPECT_EQ(rows.at(0), row("BXNormalFont", {u"bob"_s, u"2024-01-31 00:17:00"_s, none, none,
                                               u"A"_s, none, none}));
    EXPECT_EQ(rows.at(1),
              row("BXNormaGREENFont",
                  {u"O'Brien"_s, u"2024-01-31 00:16:00"_s, u"2024-02-29 09:00:00"_s,
                   u"2024-01-31 00:17:00"_s, u"A"_s, u"YES"_s,
                   u"&lt;script&gt;alert('x')&lt;/script&gt; &amp; &quot;quoted&quot;"_s}));
    EXPECT_TRUE(rows.at(2).contains(u">Create Request</td>"_s));
    EXPECT_FALSE(page.contains(u"<script>"_s));
    EXPECT_FALSE(page.contains(u"not ours"_s));
}

BX_INSTANTIATE_ENGINES(RouteHistoryTest);

} // namespace
