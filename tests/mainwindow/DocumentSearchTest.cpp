#include "mainwindow/DocumentSearch.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QDate kToday(2024, 1, 31);

TEST(DocFindInputTest, OnlyThePeriodIsRefused)
{
    DocFindInput in;
    in.title = u"  plan "_s;
    in.period = {SearchPeriodKind::LastDays, {}, QString(), {}, {}};
    EXPECT_EQ(checkDocFindInput(in, kToday).message, u"Please specify Number of Days"_s);
    in.period = {SearchPeriodKind::Range, {}, {}, kToday, kToday};
    const DocFindCheck ok = checkDocFindInput(in, kToday);
    ASSERT_TRUE(ok.search);
    EXPECT_EQ(ok.search->title, u"plan"_s);
    EXPECT_EQ(ok.search->from, kToday);
}

class DocumentSearchTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        clock.set(naive(kToday, QTime(9, 0)));
        clock.setStandardOffsetSeconds(3600);
        // Sees every folder: the folders here are the search's.
        session.user.userId = u"admin"_s;
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"O'Brien"_s});
        test::addCategories(db(), {u"Bob's"_s, u"Plans"_s, u"Zeta"_s});
        test::grantFolder(db(), u"O'Brien"_s, u"Plans"_s);
        test::grantFolder(db(), u"O'Brien"_s, u"Bob's"_s);
        test::grantFolder(db(), u"bob"_s, u"Zeta"_s);
    }

    void addDocument(const QString& title, const QString& file, const QVariant& category,
                     const QDateTime& dateGmt, bool published = true)
    {
        db().insertNumbered(
            u"ATTACH"_s, u"Attach_Number"_s,
            {u"SCR_Number"_s, u"Attach_Title"_s, u"Attach_Type"_s, u"Attach_Filename"_s,
             u"Category"_s, u"Attach_Date"_s, u"Publish"_s},
            {0, title, u"F"_s, file, category, dateGmt, db().dialect().flag(published)});
    }

    QStringList titles(const DocumentSearch* search)
    {
        const TaskCriteria q = documentTreeQuery(search, session);
        return test::columnTexts(session.db(), q.sql, q.params, u"Attach_Title"_s);
    }
};

TEST_P(DocumentSearchTest, FoldersAreThoseGranted)
{
    EXPECT_EQ(grantedFolders(db(), u"o'brien"_s), (QStringList{u"Bob's"_s, u"Plans"_s}));
    EXPECT_EQ(grantedFolders(db(), u"Admin"_s), (QStringList{u"Bob's"_s, u"Plans"_s, u"Zeta"_s}));
    EXPECT_TRUE(grantedFolders(db(), u"ann"_s).isEmpty());
}

// The clock's zone is one hour ahead of GMT: the local days of the period begin an hour earlier
// in stored time.
TEST_P(DocumentSearchTest, TheConditionLimitsTitlePeriodAndFolders)
{
    const auto gmt = [](int d, int h) { return naive(QDate(2024, 1, d), QTime(h, 0)); };
    addDocument(u"O'Brien's plan v1"_s, u"p.txt"_s, u"Plans"_s, gmt(10, 8));
    addDocument(u"O'Brien's plan v2"_s, u"p.txt"_s, u"Plans"_s, gmt(20, 8));
    addDocument(u"Loose plan"_s, u"l.txt"_s, QVariant(), gmt(20, 9));
    addDocument(u"Empty plan"_s, u"e.txt"_s, QString(), gmt(20, 9));
    addDocument(u"Zeta plan"_s, u"z.txt"_s, u"Zeta"_s, gmt(20, 9));
    addDocument(u"Late plan"_s, u"t.txt"_s, u"Bob's"_s, gmt(31, 22));
    addDocument(u"Next day plan"_s, u"n.txt"_s, u"Bob's"_s, naive(QDate(2024, 2, 1)));
    addDocument(u"Unpublished plan"_s, u"u.txt"_s, u"Plans"_s, gmt(20, 9), false);

    EXPECT_EQ(titles(nullptr).size(), 6) << "newest version of each published document";

    struct Case
    {
        const char* title;
        QDate from;
        const char* folders;
        const char* expected;
    };
    const Case cases[] = {
        {"plan", QDate(2024, 1, 1), "Plans|Bob's", "Late plan|O'Brien's plan v2"},
        {"'brien", QDate(2024, 1, 1), "Plans|Bob's|Zeta", "O'Brien's plan v2"},
        {"PLAN", QDate(2024, 1, 21), "Plans|Bob's", "Late plan"},
        {"", QDate(2024, 1, 1), "Unspecified Folder", "Empty plan|Loose plan"},
        {"plan", QDate(2024, 1, 1), "", ""},
        {"v1", QDate(2024, 1, 1), "Plans", ""},
    };
    for (const Case& c : cases) {
        DocumentSearch s{QString::fromUtf8(c.title), c.from, kToday, {}};
        if (*c.folders)
            s.folders = QString::fromUtf8(c.folders).split(QLatin1Char('|'));
        QStringList found = titles(&s);
        found.sort();
        EXPECT_EQ(found.join(QLatin1Char('|')), QString::fromUtf8(c.expected)) << c.title;
    }
}

BX_INSTANTIATE_ENGINES(DocumentSearchTest);

} // namespace
