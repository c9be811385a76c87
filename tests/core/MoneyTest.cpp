#include "core/db/Money.h"

#include "support/EngineFixture.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

TEST(MoneyTest, ValuesReadAsWholeTenThousandths)
{
    const struct
    {
        QVariant value;
        std::optional<qint64> units;
    } cases[] = {
        {u"33.3300"_s, 333300},
        {u"33.33"_s, 333300},
        {u"-12.5"_s, -125000},
        {u"0.00005"_s, 1}, // beyond the scale: half away from zero
        {u"-0.00005"_s, -1},
        {u"0.00004999"_s, 0},
        {u"922337203685477.5807"_s, std::numeric_limits<qint64>::max()},
        {u"922337203685477.5808"_s, std::nullopt},
        {u"12a"_s, std::nullopt},
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
    EXPECT_EQ(money::dollars(5000), u"$00050.00"_s);
    EXPECT_EQ(money::dollars(1), u"$00000.01"_s);
    EXPECT_EQ(money::dollars(0), u"$00000.00"_s);
    EXPECT_EQ(money::dollars(123456789), u"$1234567.89"_s);
    EXPECT_EQ(money::dollars(-250), u"-$00002.50"_s);
}

class MoneyColumnTest : public bx::test::EngineTest
{
};

TEST_P(MoneyColumnTest, AMoneyColumnReadsExactlyOnEitherEngine)
{
    db().executeScript(u"CREATE TABLE M (N integer, Rate "_s +
                       db().dialect().columnType(ColumnType::Money) + u')');
    db().executeScript(u"INSERT INTO M VALUES (1, 33.33); INSERT INTO M VALUES (2, "
                       "0.1); INSERT INTO M VALUES (3, 1234.5678); INSERT INTO M "
                       "VALUES (4, NULL); INSERT INTO M VALUES (5, 25)"_s);
    QList<std::optional<qint64>> read;
    const RecordSet rs = db().query(
        u"SELECT %1 FROM M ORDER BY N"_s.arg(money::readable(db().dialect(), u"Rate"_s)));
    for (const QVariantList& row : rs.rows())
        read << money::moneyOf(row.first());
    EXPECT_EQ(read, (QList<std::optional<qint64>>{333300, 1000, 12345678, std::nullopt, 250000}));
}

} // namespace

BX_INSTANTIATE_ENGINES(MoneyColumnTest);
