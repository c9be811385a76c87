// pivot::Formula::parse, the stored formula facts of an analysis: a refused formula says why,
// naming its fact; an accepted one evaluates over any values, empty ones and zero divisors
// included, without failing.

#include "FuzzCheck.h"
#include "reports/PivotFormula.h"

#include <cmath>
#include <limits>

using namespace bx;
using namespace bx::pivot;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QList<Fact> facts = {
        {QStringLiteral("Hours"), QStringLiteral("Spent"), olap::Aggregate::Sum, false},
        {QStringLiteral("Priority"), QStringLiteral("Late tasks"), olap::Aggregate::Max, false},
        {QStringLiteral("SCR_Number"), QStringLiteral("Tasks"), olap::Aggregate::Count, false},
        {QStringLiteral("Spent / Tasks"), QStringLiteral("Ratio"), olap::Aggregate::Sum, true},
    };
    const QString title = QStringLiteral("Formula \"F\"");
    const Outcome<Formula> formula = Formula::parse(title, fuzz::text(data, size), facts);
    if (!formula) {
        fuzz::check(formula.refusal()->message.contains(title), "a refusal names its fact",
                    formula.refusal()->message);
        return 0;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double sets[][4] = {
        {1, 2, 3, 0}, {0, 0, 0, 0}, {nan, 5, nan, 0}, {-1e308, 1e308, 1e-308, 0}};
    for (const auto& values : sets)
        (void)formula->evaluate(values);
    return 0;
}
