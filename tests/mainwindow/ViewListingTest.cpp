#include "mainwindow/ViewListing.h"

#include "core/db/RecordSet.h"
#include "mainwindow/TeamTree.h"
#include "support/FixedClock.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kLongTitle = u"A task title far too long for the name column of a page"_s;

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
        TreeNode* shop = add(root, TreeNodeKind::Workshop, u"Shop"_s);
        TreeNode* user = add(*shop, TreeNodeKind::User, u"O'Brien"_s);
        TreeNode* folder = add(*user, TreeNodeKind::Folder, u"Plans"_s, 5);
        TreeNode* task = add(*folder, TreeNodeKind::Task, u"Task 1"_s, 1);
        add(*task, TreeNodeKind::Task, kLongTitle, 2);
        add(*user, TreeNodeKind::Task, u"Task 3"_s, 3);
        // Dates in GMT; the clock is ten hours east, so 20:00 GMT is the next local day.
        tasks = RecordSet(
            {u"SCR_Number"_s, u"SCR_Owner_User_ID"_s, u"SCR_StartDate"_s, u"SCR_Owner_Date_In"_s,
             u"SCR_Owner_Date_Viewed"_s, u"SCR_Owner_Target_Date"_s, u"SCR_Request_Date"_s,
             u"SCR_Status"_s},
            {{1, u"O'Brien"_s, gmt(1, 20), gmt(2, 8), QVariant(), gmt(9, 20), gmt(1, 3), u"A"_s},
             // The embedded engine hands dates back as text.
             {2, u"an-owner-id-longer-than-its-column"_s, u"2026-03-04 21:30:00"_s, QVariant(),
              QVariant(), QVariant(), QVariant(), u"I"_s}});
        lines = viewListing(root, tasks, clock, u"Team View (Active)"_s);
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
    EXPECT_EQ(lines.at(0), u"Team View (Active)"_s);
    EXPECT_EQ(lines.at(1), QString());
    EXPECT_EQ(fields(lines.at(2)),
              (QStringList{u"User/Folder/Folder/Task Name"_s, u"Owner"_s, u"Start Date"_s,
                           u"Date In"_s, u"Viewed"_s, u"Due"_s, u"Request"_s, u"Status"_s}));
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
    EXPECT_EQ(names, (QStringList{u"Shop"_s, u"O'Brie"_s, u"Plans"_s, u"Task 1"_s, u"A task"_s,
                                  u"Task 3"_s}));
    const QList<int> indents{0, 2, 4, 6, 8, 4};
    for (int i = 0; i < indents.size(); ++i) {
        const QString& line = lines.at(3 + i);
        EXPECT_EQ(line.indexOf(line.trimmed()), indents.at(i)) << line.toStdString();
    }
}

TEST_F(ViewListingTest, TaskLinesFillTheirColumnsWithLocalDates)
{
    const QString none;
    const QList<QStringList> expected{{u"Shop"_s, none, none, none, none, none, none, none},
                                      {u"Task 1"_s, u"O'Brien"_s, u"2026-03-02"_s, u"2026-03-02"_s,
                                       none, u"2026-03-10"_s, u"2026-03-01"_s, u"Active"_s},
                                      // Overlong name and owner are cut at their column.
                                      {u"A task title far too long for t"_s, u"an-owner-id-"_s,
                                       u"2026-03-05"_s, none, none, none, none, u"Incomplete"_s},
                                      // A task missing from the rows keeps only its name.
                                      {u"Task 3"_s, none, none, none, none, none, none, none}};
    const int lineOf[] = {3, 6, 7, 8};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(fields(lines.at(lineOf[i])), expected.at(i)) << lineOf[i];
}

} // namespace
