#include "mainwindow/TaskPreview.h"

#include "core/db/Database.h"
#include "support/FixedClock.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kObrien = u"O'Brien"_s;

class TaskPreviewTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {kObrien, u"carl"_s});
        test::addCategories(db(), {u"Bob's & co"_s});
        test::addWorkshop(db(), 7);
        // Local time is GMT - 5 hours.
        clock.setStandardOffsetSeconds(-5 * 3600);
    }

    qlonglong addTask(const QVariantMap& columns)
    {
        return test::addTaskRow(db(),
                                {{u"SCR_Title"_s, u"<b>O'Brien"_s},
                                 {u"SCR_Status"_s, u"C"_s},
                                 {u"SCR_Owner_User_ID"_s, kObrien},
                                 {u"SCR_Request_ID"_s, u"carl"_s},
                                 {u"SCR_Category"_s, u"Bob's & co"_s},
                                 {u"SCR_StartDate"_s, naive(QDate(2024, 3, 1), QTime(2, 30))}},
                                columns);
    }

    test::FixedClock clock;
};

TEST_P(TaskPreviewTest, DatabaseTextIsShownLiterallyAndDatesInLocalTime)
{
    const qlonglong n = addTask({{u"SCR_Comments_AsText"_s, u"call <i>her</i> & \"him\""_s}});
    const QString html = taskPreviewHtml(db(), clock, n);
    EXPECT_TRUE(html.contains(u"&lt;b&gt;O'Brien"_s)) << html.toStdString();
    EXPECT_FALSE(html.contains(u"<b>O'Brien"_s));
    EXPECT_TRUE(html.contains(u"Bob's &amp; co"_s));
    EXPECT_TRUE(html.contains(u"call &lt;i&gt;her&lt;/i&gt; &amp; &quot;him&quot;"_s));
    EXPECT_TRUE(html.contains(u"carl"_s));
    EXPECT_TRUE(html.contains(u"Complete"_s));
    // 02:30 GMT on 1 March is 21:30 local on the day before.
    EXPECT_TRUE(html.contains(u"2024-02-29 21:30"_s)) << html.toStdString();

    // Formatted comments show as plain text when no plain copy is kept.
    const qlonglong formatted =
        addTask({{u"SCR_Comments"_s,
                  u"<html><head><style>p { margin: 0 }</style></head>\n<body><p>Ring "
                  "<b>O'Brien</b> &lt;soon&gt;</p>\n<p>a &amp;lt; b&#33;</p></body></html>"_s}});
    const QString plain = taskPreviewHtml(db(), clock, formatted);
    EXPECT_TRUE(plain.contains(u"Ring O'Brien &lt;soon&gt;\na &amp;lt; b!"_s))
        << plain.toStdString();
    EXPECT_FALSE(plain.contains(u"margin"_s));
}

} // namespace

BX_INSTANTIATE_ENGINES(TaskPreviewTest);
