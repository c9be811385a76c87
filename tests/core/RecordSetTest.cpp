#include "core/db/RecordSet.h"

#include <gtest/gtest.h>

using namespace bx;

TEST(RecordSet, ColumnsAreFoundWithoutRegardToCase)
{
    RecordSet rs({QStringLiteral("SCR_Number"), QStringLiteral("scr_title")},
                 {{QVariant(qlonglong(7)), QVariant()}});
    EXPECT_EQ(rs.number(QStringLiteral("scr_number")), 7);
    EXPECT_EQ(rs.text(QStringLiteral("SCR_TITLE")), QString());
}
