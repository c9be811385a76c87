#include "core/schema/TableClasses.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

class TableClassesTest : public test::CurrentSchemaTest
{
};

} // namespace

// A table that a step adds must be given its class, or the server leaves its rights to chance;
// and the catalogue names no table the schema lacks.
TEST_P(TableClassesTest, EveryTableOfTheSchemaHasItsClass)
{
    QStringList unclassified;
    QStringList present;
    for (const QString& table : db().tables()) {
        if (tableClassOf(table))
            present << table.toLower();
        else
            unclassified << table;
    }
    EXPECT_TRUE(unclassified.isEmpty()) << unclassified.join(u", "_s).toStdString();
    QStringList missing;
    for (const TableClassEntry& entry : tableClasses()) {
        if (!present.contains(entry.table.toLower()))
            missing << entry.table;
    }
    EXPECT_TRUE(missing.isEmpty()) << missing.join(u", "_s).toStdString();
}

BX_INSTANTIATE_ENGINES(TableClassesTest);
