#include "mainwindow/TaskPreview.h"

#include "core/db/Database.h"
#include "support/FixedClock.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kObrien = QStringLiteral("O'Brien");

class TaskPreviewTest : public test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {kObrien, QStringLiteral("carl")});
        test::addCategories(db(), {QStringLiteral("Bob's & co")});
        test::addWorkshop(db(), 7);
        // Local time is GMT - 5 hours.
        clock.setStandardOffsetSeconds(-5 * 3600);
    }

    qlonglong addTask(const QVariantMap& columns)
    {
        return test::addTaskRow(
            db(),
            {{QStringLiteral("SCR_Title"), QStringLiteral("<b>O'Brien")},
             {QStringLiteral("SCR_Status"), QStringLiteral("C")},
             {QStringLiteral("SCR_Owner_User_ID"), kObrien},
             {QStringLiteral("SCR_Request_ID"), QStringLiteral("carl")},
             {QStringLiteral("SCR_Category"), QStringLiteral("Bob's & co")},
             {QStringLiteral("SCR_StartDate"), naive(QDate(2024, 3, 1), QTime(2, 30))}},
            columns);
    }

    test::FixedClock clock;
};

TEST_P(TaskPreviewTest, DatabaseTextIsShownLiterallyAndDatesInLocalTime)
{
    const qlonglong n = addTask(
        {{QStringLiteral("SCR_Comments_AsText"), QStringLiteral("call <i>her</i> & \"him\"")}});
    const QString html = taskPreviewHtml(db(), clock, n);
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;O'Brien"))) << html.toStdString();
    EXPECT_FALSE(html.contains(QStringLiteral("<b>O'Brien")));
    EXPECT_TRUE(html.contains(QStringLiteral("Bob's &amp; co")));
    EXPECT_TRUE(html.contains(QStringLiteral("call &lt;i&gt;her&lt;/i&gt; &amp; &quot;him&quot;")));
    EXPECT_TRUE(html.contains(QStringLiteral("carl")));
    EXPECT_TRUE(html.contains(QStringLiteral("Complete")));
    // 02:30 GMT on 1 March is 21:30 local on the day before.
    EXPECT_TRUE(html.contains(QStringLiteral("2024-02-29 21:30"))) << html.toStdString();

    // Formatted comments show as plain text when no plain copy is kept.
    const qlonglong formatted =
        addTask({{QStringLiteral("SCR_Comments"),
                  QStringLiteral(
                      "<html><head><style>p { margin: 0 }</style></head>\n<body><p>Ring "
                      "<b>O'Brien</b> &lt;soon&gt;</p>\n<p>a &amp;lt; b&#33;</p></body></html>")}});
    const QString plain = taskPreviewHtml(db(), clock, formatted);
    EXPECT_TRUE(plain.contains(QStringLiteral("Ring O'Brien &lt;soon&gt;\na &amp;lt; b!")))
        << plain.toStdString();
    EXPECT_FALSE(plain.contains(QStringLiteral("margin")));
}

} // namespace

BX_INSTANTIATE_ENGINES(TaskPreviewTest);
