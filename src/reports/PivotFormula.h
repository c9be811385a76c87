#pragma once

#include "reports/Pivot.h"

#include <QString>

#include <optional>
#include <vector>

namespace bx::pivot {

/**
 * A formula fact, parsed: numbers, fact names, + - * / and parentheses, with the usual
 * precedence and unary minus. A name is a run of letters, digits and "_" not starting with a
 * digit, or any text in square brackets ("[Late tasks]"). It names the aggregate fact whose Title
 * it is, else the one whose Name (column) it is, without case; fitting two facts is an error, as
 * is fitting none. Formula facts are not candidates.
 */
class Formula
{
public:
    /**
     * Parses `expression`, the formula of the fact titled `title` (named in the refusals), against
     * the analysis's facts.
     */
    static Outcome<Formula> parse(const QString& title, const QString& expression,
                                  const QList<Fact>& facts);

    /**
     * The value over one cell's aggregates (`values[i]` is fact i's, NaN when empty). NaN when an
     * operand is empty or a divisor is zero.
     */
    double evaluate(const double* values) const;

private:
    struct Op
    {
        enum Kind
        {
            Number,
            FactValue,
            Negate,
            Add,
            Subtract,
            Multiply,
            Divide,
        } kind;
        double number = 0;
        int fact = -1;
    };
    friend class FormulaParser;

    std::vector<Op> m_ops; ///< postfix
};

/** The check the formula dialog makes before it takes a formula: nothing, or why not. */
std::optional<RefusalOf<>> checkFormula(const QString& title, const QString& expression,
                                        const QList<Fact>& facts);

} // namespace bx::pivot
