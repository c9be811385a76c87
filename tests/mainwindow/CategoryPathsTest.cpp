#include "mainwindow/CategoryPaths.h"

#include "core/db/Database.h"
#include "mainwindow/TaskMoves.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

class CategoryPathsTest : public test::SessionTest
{
};

// A folder's path from one read of the categories is the one the database gives parent by
// parent: names compared without case, a missing or blank parent ends it, and a loop in the
// table names each category once.
TEST_P(CategoryPathsTest, PathsFromOneReadAreThoseOfTheDatabase)
{
    const char* const table[][2] = {
        {"Shared", nullptr},  {"O'Brien's plans", "shared"}, {"Drawings", "O'BRIEN'S PLANS"},
        {"Blank", " "},       {"Own parent", "Own parent"},  {"Loop A", "Loop B"},
        {"Loop B", "Loop A"},
    };
    for (const auto& row : table)
        db().execute(
            u"INSERT INTO LU_CATEGORY (Category, Parent_Category) VALUES (?, ?)"_s,
            {QString::fromUtf8(row[0]), row[1] ? QVariant(QString::fromUtf8(row[1])) : QVariant()});
    const struct
    {
        const char* category;
        const char* path;
    } cases[] = {
        {"", "Unspecified Folder"},
        {"Shared", "Shared"},
        {"drawings", "shared\\O'BRIEN'S PLANS\\drawings"},
        {"Not filed", "Not filed"},
        {"Blank", "Blank"},
        {"Own parent", "Own parent"},
        {"Loop A", "Loop B\\Loop A"},
    };
    const CategoryPaths paths = CategoryPaths::read(db());
    for (const auto& c : cases) {
        const QString category = QString::fromUtf8(c.category);
        EXPECT_EQ(paths.path(category), QString::fromUtf8(c.path)) << c.category;
        EXPECT_EQ(categoryPath(db(), category), QString::fromUtf8(c.path)) << c.category;
    }
}

BX_INSTANTIATE_ENGINES(CategoryPathsTest);

} // namespace
