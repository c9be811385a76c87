#include "mainwindow/DocumentSearch.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QDate kToday(2024, 1, 31);

TEST(DocFindInputTest, OnlyThePeriodIsRefused)
{
    DocFindInput in;
    in.title = QStringLiteral("  plan ");
    in.period = {SearchPeriodKind::LastDays, {}, QString(), {}, {}};
    EXPECT_EQ(checkDocFindInput(in, kToday).message,
              QStringLiteral("Please specify Number of Days"));
    in.period = {SearchPeriodKind::Range, {}, {}, kToday, kToday};
    const DocFindCheck ok = checkDocFindInput(in, kToday);
    ASSERT_TRUE(ok.search);
    EXPECT_EQ(ok.search->title, QStringLiteral("plan"));
    EXPECT_EQ(ok.search->from, kToday);
}

class DocumentSearchTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        clock.set(naive(kToday, QTime(9, 0)));
        clock.setStandardOffsetSeconds(3600);
        if (IsSkipped() || HasFatalFailure())
            return;
        // Sees every folder: the folders here are the search's.
        session.user.userId = QStringLiteral("admin");
        test::addUsers(db(),
                       {QStringLiteral("ann"), QStringLiteral("bob"), QStringLiteral("O'Brien")});
        test::addCategories(
            db(), {QStringLiteral("Bob's"), QStringLiteral("Plans"), QStringLiteral("Zeta")});
        test::grantFolder(db(), QStringLiteral("O'Brien"), QStringLiteral("Plans"));
        test::grantFolder(db(), QStringLiteral("O'Brien"), QStringLiteral("Bob's"));
        test::grantFolder(db(), QStringLiteral("bob"), QStringLiteral("Zeta"));
    }

    void addDocument(const QString& title, const QString& file, const QVariant& category,
                     const QDateTime& dateGmt, bool published = true)
    {
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Title"),
                             QStringLiteral("Attach_Type"), QStringLiteral("Attach_Filename"),
                             QStringLiteral("Category"), QStringLiteral("Attach_Date"),
                             QStringLiteral("Publish")},
                            {0, title, QStringLiteral("F"), file, category, dateGmt,
                             db().dialect().flag(published)});
    }

    QStringList titles(const DocumentSearch* search)
    {
        const TaskCriteria q = documentTreeQuery(search, session);
        QStringList out;
        const RecordSet rows = session.db().query(q.sql, q.params);
        for (const QVariantList& row : rows.rows())
            out << row.value(2).toString();
        return out;
    }
};

TEST_P(DocumentSearchTest, FoldersAreThoseGranted)
{
    EXPECT_EQ(grantedFolders(db(), QStringLiteral("o'brien")),
              (QStringList{QStringLiteral("Bob's"), QStringLiteral("Plans")}));
    EXPECT_EQ(
        grantedFolders(db(), QStringLiteral("Admin")),
        (QStringList{QStringLiteral("Bob's"), QStringLiteral("Plans"), QStringLiteral("Zeta")}));
    EXPECT_TRUE(grantedFolders(db(), QStringLiteral("ann")).isEmpty());
}

// The clock's zone is one hour ahead of GMT: the local days of the period begin an hour earlier
// in stored time.
TEST_P(DocumentSearchTest, TheConditionLimitsTitlePeriodAndFolders)
{
    const auto gmt = [](int d, int h) { return naive(QDate(2024, 1, d), QTime(h, 0)); };
    addDocument(QStringLiteral("O'Brien's plan v1"), QStringLiteral("p.txt"),
                QStringLiteral("Plans"), gmt(10, 8));
    addDocument(QStringLiteral("O'Brien's plan v2"), QStringLiteral("p.txt"),
                QStringLiteral("Plans"), gmt(20, 8));
    addDocument(QStringLiteral("Loose plan"), QStringLiteral("l.txt"), QVariant(), gmt(20, 9));
    addDocument(QStringLiteral("Empty plan"), QStringLiteral("e.txt"), QString(), gmt(20, 9));
    addDocument(QStringLiteral("Zeta plan"), QStringLiteral("z.txt"), QStringLiteral("Zeta"),
                gmt(20, 9));
    addDocument(QStringLiteral("Late plan"), QStringLiteral("t.txt"), QStringLiteral("Bob's"),
                gmt(31, 22));
    addDocument(QStringLiteral("Next day plan"), QStringLiteral("n.txt"), QStringLiteral("Bob's"),
                naive(QDate(2024, 2, 1)));
    addDocument(QStringLiteral("Unpublished plan"), QStringLiteral("u.txt"),
                QStringLiteral("Plans"), gmt(20, 9), false);

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
