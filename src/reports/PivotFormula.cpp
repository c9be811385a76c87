#include "reports/PivotFormula.h"

#include <cmath>
#include <limits>

namespace bx::pivot {

namespace {

QString syntaxError(const QString& title, const QString& at)
{
    if (at.isEmpty())
        return QStringLiteral("The formula of \"%1\" ends too soon.").arg(title);
    return QStringLiteral("The formula of \"%1\" is not valid at \"%2\".").arg(title, at);
}

bool startsName(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_');
}

bool continuesName(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

} // namespace

/** Recursive descent over the expression, writing postfix operations. */
class FormulaParser
{
public:
    FormulaParser(const QString& title, const QString& text, const QList<Fact>& facts)
        : m_title(title)
        , m_text(text)
        , m_facts(facts)
    {
    }

    Outcome<Formula> run()
    {
        skipBlanks();
        expression();
        if (!m_error && m_pos < m_text.size())
            fail(rest());
        if (m_error)
            return RefusalOf<>{*m_error};
        return m_formula;
    }

private:
    void expression()
    {
        term();
        while (!m_error && (peek() == u'+' || peek() == u'-')) {
            const bool add = take() == u'+';
            term();
            push(add ? Formula::Op::Add : Formula::Op::Subtract);
        }
    }

    void term()
    {
        factor();
        while (!m_error && (peek() == u'*' || peek() == u'/')) {
            const bool multiply = take() == u'*';
            factor();
            push(multiply ? Formula::Op::Multiply : Formula::Op::Divide);
        }
    }

    void factor()
    {
        if (m_error)
            return;
        // Each parenthesis and sign nests the descent once more; a formula stored by anyone must
        // not run the stack out.
        if (m_depth == kMaxNesting) {
            fail(rest(), QStringLiteral("The formula of \"%1\" is nested more than %2 levels deep.")
                             .arg(m_title)
                             .arg(kMaxNesting));
            return;
        }
        ++m_depth;
        nestedFactor();
        --m_depth;
    }

    void nestedFactor()
    {
        const QChar c = peek();
        if (c == u'-' || c == u'+') {
            take();
            factor();
            if (c == u'-')
                push(Formula::Op::Negate);
        } else if (c == u'(') {
            take();
            expression();
            if (!m_error && peek() != u')')
                fail(rest());
            else if (!m_error)
                take();
        } else if (c.isDigit() || c == u'.') {
            number();
        } else if (startsName(c) || c == u'[') {
            name();
        } else {
            fail(rest());
        }
    }

    void number()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && (m_text[m_pos].isDigit() || m_text[m_pos] == u'.'))
            ++m_pos;
        bool ok = false;
        const double value = m_text.mid(start, m_pos - start).toDouble(&ok);
        if (!ok) {
            m_pos = start;
            fail(rest());
            return;
        }
        m_formula.m_ops.push_back({Formula::Op::Number, value, -1});
        skipBlanks();
    }

    void name()
    {
        const qsizetype start = m_pos;
        QString word;
        if (m_text[m_pos] == u'[') {
            const qsizetype close = m_text.indexOf(u']', m_pos + 1);
            if (close < 0) {
                fail(rest());
                return;
            }
            word = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
            m_pos = close + 1;
        } else {
            while (m_pos < m_text.size() && continuesName(m_text[m_pos]))
                ++m_pos;
            word = m_text.mid(start, m_pos - start);
        }
        skipBlanks();
        const int fact = resolve(word);
        if (fact >= 0)
            m_formula.m_ops.push_back({Formula::Op::FactValue, 0, fact});
    }

    /** The fact a name fits: by title first, then by name; -1 after failing. */
    int resolve(const QString& word)
    {
        for (const bool byTitle : {true, false}) {
            int found = -1;
            for (int i = 0; i < m_facts.size(); ++i) {
                const Fact& f = m_facts[i];
                if (f.formula || (byTitle ? f.title : f.name).compare(word, Qt::CaseInsensitive))
                    continue;
                if (found >= 0) {
                    fail({}, QStringLiteral("\"%1\" fits two facts in the formula of \"%2\".")
                                 .arg(word, m_title));
                    return -1;
                }
                found = i;
            }
            if (found >= 0)
                return found;
        }
        fail({},
             QStringLiteral("Unknown fact \"%1\" in the formula of \"%2\".").arg(word, m_title));
        return -1;
    }

    QChar peek() const { return m_pos < m_text.size() ? m_text[m_pos] : QChar(); }

    QChar take()
    {
        const QChar c = m_text[m_pos++];
        skipBlanks();
        return c;
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    QString rest() const { return m_text.mid(m_pos, 12).trimmed(); }

    void push(Formula::Op::Kind kind)
    {
        if (!m_error)
            m_formula.m_ops.push_back({kind, 0, -1});
    }

    void fail(const QString& at, const QString& message = {})
    {
        if (!m_error)
            m_error = message.isEmpty() ? syntaxError(m_title, at) : message;
    }

    const QString& m_title;
    const QString& m_text;
    const QList<Fact>& m_facts;
    static constexpr int kMaxNesting = 200;

    qsizetype m_pos = 0;
    int m_depth = 0;
    std::optional<QString> m_error;
    Formula m_formula;
};

Outcome<Formula> Formula::parse(const QString& title, const QString& expression,
                                const QList<Fact>& facts)
{
    return FormulaParser(title, expression, facts).run();
}

double Formula::evaluate(const double* values) const
{
    constexpr double empty = std::numeric_limits<double>::quiet_NaN();
    double stack[64];
    std::vector<double> deep;
    double* top = stack;
    if (m_ops.size() > std::size(stack)) {
        deep.resize(m_ops.size());
        top = deep.data();
    }
    double* const base = top;
    for (const Op& op : m_ops) {
        switch (op.kind) {
        case Op::Number:
            *top++ = op.number;
            continue;
        case Op::FactValue:
            *top++ = values[op.fact];
            continue;
        case Op::Negate:
            top[-1] = -top[-1];
            continue;
        default:
            break;
        }
        const double right = *--top;
        double& left = top[-1];
        switch (op.kind) {
        case Op::Add:
            left += right;
            break;
        case Op::Subtract:
            left -= right;
            break;
        case Op::Multiply:
            left *= right;
            break;
        default:
            left = right == 0 ? empty : left / right;
            break;
        }
    }
    return top == base ? empty : base[0];
}

std::optional<RefusalOf<>> checkFormula(const QString& title, const QString& expression,
                                        const QList<Fact>& facts)
{
    return Formula::parse(title, expression, facts).refusal();
}

} // namespace bx::pivot
