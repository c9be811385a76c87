#include "mainwindow/ViewListing.h"

#include "core/db/RecordSet.h"
#include "mainwindow/TeamTree.h"
#include "support/FixedClock.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kLongTitle =
    QStringLiteral("A task title far too long for the name column of a page");

TreeNode* add(TreeNode& parent, TreeNodeKind kind, const QString& text, qlonglong key = 0)
{
    auto node = std::make_unique<TreeNode>();
    node->kind = kind;
    node->text = text;
    node->key = key;
    node->parent = &parent;
    node->row = parent.childCount();
    parent.children.push_back(std::move(node));
    return parent.children.back().get();
}

QDateTime gmt(int day, int hour)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, 0), Qt::UTC);
}

/** Workshop > user "O'Brien" > folder > task 1 > sub-task 2, and task 3 read as nothing. */
class ViewListingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TreeNode* shop = add(root, TreeNodeKind::Workshop, QStringLiteral("Shop"));
        TreeNode* user = add(*shop, TreeNodeKind::User, QStringLiteral("O'Brien"));
        TreeNode* folder = add(*user, TreeNodeKind::Folder, QStringLiteral("Plans"), 5);
        TreeNode* task = add(*folder, TreeNodeKind::Task, QStringLiteral("Task 1"), 1);
        add(*task, TreeNodeKind::Task, kLongTitle, 2);
        add(*user, TreeNodeKind::Task, QStringLiteral("Task 3"), 3);
        // Dates in GMT; the clock is ten hours east, so 20:00 GMT is the next local day.
        tasks = RecordSet({QStringLiteral("SCR_Number"), QStringLiteral("SCR_Owner_User_ID"),
                           QStringLiteral("SCR_StartDate"), QStringLiteral("SCR_Owner_Date_In"),
                           QStringLiteral("SCR_Owner_Date_Viewed"),
                           QStringLiteral("SCR_Owner_Target_Date"),
                           QStringLiteral("SCR_Request_Date"), QStringLiteral("SCR_Status")},
                          {{1, QStringLiteral("O'Brien"), gmt(1, 20), gmt(2, 8), QVariant(),
                            gmt(9, 20), gmt(1, 3), QStringLiteral("A")},
                           // The embedded engine hands dates back as text.
                           {2, QStringLiteral("an-owner-id-longer-than-its-column"),
                            QStringLiteral("2026-03-04 21:30:00"), QVariant(), QVariant(),
                            QVariant(), QVariant(), QStringLiteral("I")}});
        lines = viewListing(root, tasks, clock, QStringLiteral("Team View (Active)"));
    }

    QList<int> offsets() const
    {
        QList<int> result;
        int at = 0;
        for (const ListingColumn& c : listingColumns()) {
            result << at;
            at += c.width;
        }
        return result;
    }

    /** The fields of a listed line, blanks trimmed. */
    QStringList fields(const QString& line) const
    {
        QStringList result;
        int at = 0;
        for (const ListingColumn& c : listingColumns()) {
            result << line.mid(at, c.width).trimmed();
            at += c.width;
        }
        return result;
    }

    TreeNode root;
    RecordSet tasks;
    test::FixedClock clock{QDateTime(QDate(2026, 3, 10), QTime(12, 0)), 10 * 3600};
    QStringList lines;
};

TEST_F(ViewListingTest, TitleThenHeadersAndEveryLineKeepsTheColumnOffsets)
{
    ASSERT_EQ(lines.size(), 3 + 6);
    EXPECT_EQ(lines.at(0), QStringLiteral("Team View (Active)"));
    EXPECT_EQ(lines.at(1), QString());
    EXPECT_EQ(fields(lines.at(2)),
              (QStringList{QStringLiteral("User/Folder/Folder/Task Name"), QStringLiteral("Owner"),
                           QStringLiteral("Start Date"), QStringLiteral("Date In"),
                           QStringLiteral("Viewed"), QStringLiteral("Due"),
                           QStringLiteral("Request"), QStringLiteral("Status")}));
    const QList<int> at = offsets();
    for (int i = 2; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        EXPECT_EQ(line.size(), lines.at(2).size()) << line.toStdString();
        // Each column ends in a blank, so no text runs into the next one.
        for (int c = 1; c < at.size(); ++c)
            EXPECT_EQ(line.at(at.at(c) - 1), QLatin1Char(' ')) << line.toStdString();
    }
}

TEST_F(ViewListingTest, NodesInTreeOrderIndentedByDepth)
{
    QStringList names;
    for (int i = 3; i < lines.size(); ++i)
        names << lines.at(i).left(listingColumns().at(0).width).trimmed().left(6);
    EXPECT_EQ(names, (QStringList{QStringLiteral("Shop"), QStringLiteral("O'Brie"),
                                  QStringLiteral("Plans"), QStringLiteral("Task 1"),
                                  QStringLiteral("A task"), QStringLiteral("Task 3")}));
    const QList<int> indents{0, 2, 4, 6, 8, 4};
    for (int i = 0; i < indents.size(); ++i) {
        const QString& line = lines.at(3 + i);
        EXPECT_EQ(line.indexOf(line.trimmed()), indents.at(i)) << line.toStdString();
    }
}

TEST_F(ViewListingTest, TaskLinesFillTheirColumnsWithLocalDates)
{
    const QString none;
    const QList<QStringList> expected{
        {QStringLiteral("Shop"), none, none, none, none, none, none, none},
        {QStringLiteral("Task 1"), QStringLiteral("O'Brien"), QStringLiteral("2026-03-02"),
         QStringLiteral("2026-03-02"), none, QStringLiteral("2026-03-10"),
         QStringLiteral("2026-03-01"), QStringLiteral("Active")},
        // Overlong name and owner are cut at their column.
        {QStringLiteral("A task title far too long for t"), QStringLiteral("an-owner-id-"),
         QStringLiteral("2026-03-05"), none, none, none, none, QStringLiteral("Incomplete")},
        // A task missing from the rows keeps only its name.
        {QStringLiteral("Task 3"), none, none, none, none, none, none, none}};
    const int lineOf[] = {3, 6, 7, 8};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(fields(lines.at(lineOf[i])), expected.at(i)) << lineOf[i];
}

} // namespace
