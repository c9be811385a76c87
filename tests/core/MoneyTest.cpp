#include "core/db/Money.h"

#include "support/EngineFixture.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

TEST(MoneyTest, ValuesReadAsWholeTenThousandths)
{
    const struct
    {
        QVariant value;
        std::optional<qint64> units;
    } cases[] = {
        {QStringLiteral("33.3300"), 333300},
        {QStringLiteral("33.33"), 333300},
        {QStringLiteral("-12.5"), -125000},
        {QStringLiteral("0.00005"), 1}, // beyond the scale: half away from zero
        {QStringLiteral("-0.00005"), -1},
        {QStringLiteral("0.00004999"), 0},
        {QStringLiteral("922337203685477.5807"), std::numeric_limits<qint64>::max()},
        {QStringLiteral("922337203685477.5808"), std::nullopt},
        {QStringLiteral("12a"), std::nullopt},
        {QStringLiteral("."), std::nullopt},
        {QVariant(), std::nullopt},
        {33.33, 333300},
        {0.1 + 0.2, 3000},
        {qlonglong(7), 70000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(money::moneyOf(c.value), c.units) << c.value.toString().toStdString();
}

TEST(MoneyTest, CostsAreRoundedOnceToCents)
{
    const struct
    {
        qint64 minutes;
        qint64 rate;
        qint64 cents;
    } cases[] = {
        {90, 333300, 5000}, // 1:30 at 33.33 is 49.995
        {10, 300, 1},       // 10 minutes at 0.03 is half a cent
        {10, 299, 0},
        {0, 333300, 0},
        {45, 0, 0},
        {-10, 300, -1},
        // 4200000000 hours at 10000.0000: the product needs more than 64 bits.
        {252000000000, 100000000, 4200000000000000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(money::costInCents(c.minutes, c.rate), c.cents) << c.minutes << " x " << c.rate;
}

TEST(MoneyTest, DollarsShowFiveWholeDigitsAtLeast)
{
    EXPECT_EQ(money::dollars(5000), QStringLiteral("$00050.00"));
    EXPECT_EQ(money::dollars(1), QStringLiteral("$00000.01"));
    EXPECT_EQ(money::dollars(0), QStringLiteral("$00000.00"));
    EXPECT_EQ(money::dollars(123456789), QStringLiteral("$1234567.89"));
    EXPECT_EQ(money::dollars(-250), QStringLiteral("-$00002.50"));
}

class MoneyColumnTest : public bx::test::EngineTest
{
};

TEST_P(MoneyColumnTest, AMoneyColumnReadsExactlyOnEitherEngine)
{
    db().executeScript(QStringLiteral("CREATE TABLE M (N integer, Rate ") +
                       db().dialect().columnType(ColumnType::Money) + QLatin1Char(')'));
    db().executeScript(QStringLiteral("INSERT INTO M VALUES (1, 33.33); INSERT INTO M VALUES (2, "
                                      "0.1); INSERT INTO M VALUES (3, 1234.5678); INSERT INTO M "
                                      "VALUES (4, NULL); INSERT INTO M VALUES (5, 25)"));
    QList<std::optional<qint64>> read;
    const RecordSet rs =
        db().query(QStringLiteral("SELECT %1 FROM M ORDER BY N")
                       .arg(money::readable(db().dialect(), QStringLiteral("Rate"))));
    for (const QVariantList& row : rs.rows())
        read << money::moneyOf(row.first());
    EXPECT_EQ(read, (QList<std::optional<qint64>>{333300, 1000, 12345678, std::nullopt, 250000}));
}

} // namespace

BX_INSTANTIATE_ENGINES(MoneyColumnTest);
