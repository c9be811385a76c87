#include "reports/Pivot.h"

#include "core/db/RecordSet.h"
#include "reports/PivotFormula.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace bx::pivot {

namespace {

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();

QString grouped(qsizetype n)
{
    return QLocale(QLocale::English).toString(qlonglong(n));
}

/** A member while the rows are read: how it sorts, and what it shows. */
struct Candidate
{
    enum Class
    {
        Numeric, ///< numbers and date parts
        Moment,
        Word,
        Nothing, ///< the empty member, last
    } cls = Nothing;
    double number = 0;
    QDateTime moment;
    QString text;
    QVariant value;
    QString label;
};

bool before(const Candidate& a, const Candidate& b)
{
    if (a.cls != b.cls)
        return a.cls < b.cls;
    switch (a.cls) {
    case Candidate::Numeric:
        return a.number < b.number;
    case Candidate::Moment:
        return a.moment < b.moment;
    case Candidate::Word:
        if (const int c = a.text.compare(b.text, Qt::CaseInsensitive))
            return c < 0;
        return a.text < b.text;
    case Candidate::Nothing:
        break;
    }
    return false;
}

int partOf(const QDate& d, olap::DatePart part)
{
    switch (part) {
    case olap::DatePart::Year:
        return d.year();
    case olap::DatePart::Quarter:
        return (d.month() - 1) / 3 + 1;
    case olap::DatePart::Month:
        return d.month();
    case olap::DatePart::TenDays:
        return std::min((d.day() - 1) / 10 + 1, 3);
    case olap::DatePart::WeekOfYear:
        return d.weekNumber();
    case olap::DatePart::DayOfWeek:
        return d.dayOfWeek();
    case olap::DatePart::DayOfMonth:
        return d.day();
    }
    return 0;
}

QString partLabel(int value, olap::DatePart part)
{
    const QLocale english(QLocale::English);
    switch (part) {
    case olap::DatePart::Quarter:
        return QStringLiteral("Q%1").arg(value);
    case olap::DatePart::Month:
        return english.standaloneMonthName(value);
    case olap::DatePart::DayOfWeek:
        return english.standaloneDayName(value);
    default:
        return QString::number(value);
    }
}

/** One dimension while the rows are read: its source column and the members met so far. */
class DimensionReader
{
public:
    DimensionReader(int column, ColumnKind kind, std::optional<olap::DatePart> part, int bias,
                    QVariantList hidden)
        : m_column(column)
        , m_kind(kind)
        , m_part(part)
        , m_bias(bias)
        , m_hidden(std::move(hidden))
    {
    }

    /** Whether a member (as memberOf numbers it) is one the dimension leaves out. */
    bool isHidden(int member)
    {
        if (m_hidden.isEmpty())
            return false;
        while (m_hiddenFlags.size() < m_found.size()) {
            const QVariant& value = m_found[m_hiddenFlags.size()].value;
            bool hidden = false;
            for (const QVariant& h : std::as_const(m_hidden))
                hidden = hidden || (h.isNull() ? value.isNull() : !value.isNull() && h == value);
            m_hiddenFlags.push_back(hidden);
        }
        return m_hiddenFlags[std::size_t(member)];
    }

    /** The member (in the order met) of a row. */
    int memberOf(const QVariantList& row)
    {
        const QVariant& raw = m_column < row.size() ? row[m_column] : m_null;
        if (raw.isNull())
            return emptyMember();
        if (m_part) {
            const QDate date = localDate(raw);
            if (!date.isValid())
                return emptyMember();
            const int value = partOf(date, *m_part);
            auto [it, added] = m_parts.try_emplace(value, int(m_found.size()));
            if (added) {
                Candidate c;
                c.cls = Candidate::Numeric;
                c.number = value;
                c.value = value;
                c.label = partLabel(value, *m_part);
                m_found.push_back(std::move(c));
            }
            return it->second;
        }
        if (m_kind == ColumnKind::Date)
            return momentOf(raw);
        if (m_kind == ColumnKind::Number) {
            bool numeric = false;
            const double number = raw.toDouble(&numeric);
            if (numeric) {
                auto [it, added] =
                    m_numbers.try_emplace(number == 0 ? 0.0 : number, int(m_found.size()));
                if (added) {
                    Candidate c;
                    c.cls = Candidate::Numeric;
                    c.number = number;
                    c.value = number;
                    c.label = QString::number(number, 'g', 15);
                    m_found.push_back(std::move(c));
                }
                return it->second;
            }
        }
        const QString text = raw.toString();
        if (text.isEmpty())
            return emptyMember();
        auto it = m_keys.constFind(text);
        if (it != m_keys.constEnd())
            return *it;
        Candidate c;
        c.cls = Candidate::Word;
        c.text = text;
        c.value = text;
        c.label = text;
        return add(text, std::move(c));
    }

    /** The members in natural order, with each found member's place in it. */
    QList<Member> sorted(std::vector<int>& rankOf) const
    {
        std::vector<int> order(m_found.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return before(m_found[a], m_found[b]); });
        rankOf.assign(m_found.size(), 0);
        QList<Member> members;
        members.reserve(qsizetype(order.size()));
        for (std::size_t i = 0; i < order.size(); ++i) {
            rankOf[order[i]] = int(i);
            members.append({m_found[order[i]].value, m_found[order[i]].label});
        }
        return members;
    }

private:
    /** A date column taken as it is: the local moment. */
    int momentOf(const QVariant& raw)
    {
        const QDateTime gmt = RecordSet::toDateTime(raw);
        if (!gmt.isValid())
            return emptyMember();
        Candidate c;
        c.cls = Candidate::Moment;
        c.moment = gmt.addSecs(m_bias);
        c.value = c.moment;
        c.label = c.moment.time() == QTime(0, 0)
                      ? c.moment.date().toString(Qt::ISODate)
                      : c.moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        auto it = m_keys.constFind(c.label);
        if (it != m_keys.constEnd())
            return *it;
        const QString key = c.label;
        return add(key, std::move(c));
    }

    /**
     * The local date of a stored moment. The stored text form is read digit by digit, as parsing
     * it whole for every row of a large analysis would take most of the time.
     */
    QDate localDate(const QVariant& raw) const
    {
        if (raw.typeId() == QMetaType::QString) {
            const QString text = raw.toString();
            const auto digits = [&](int from, int count) {
                int n = 0;
                for (int i = from; i < from + count; ++i) {
                    if (i >= text.size() || !text[i].isDigit())
                        return -1;
                    n = n * 10 + text[i].digitValue();
                }
                return n;
            };
            const bool dated = text.size() >= 10 && text[4] == u'-' && text[7] == u'-';
            const bool timed =
                text.size() == 19 && text[10] == u' ' && text[13] == u':' && text[16] == u':';
            if (dated && (text.size() == 10 || timed)) {
                const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
                const int h = timed ? digits(11, 2) : 0;
                const int m = timed ? digits(14, 2) : 0;
                const int sec = timed ? digits(17, 2) : 0;
                if (date.isValid() && h >= 0 && m >= 0 && sec >= 0) {
                    const qint64 local = qint64(h) * 3600 + m * 60 + sec + m_bias;
                    return date.addDays(local >= 0 ? local / 86400 : -((86399 - local) / 86400));
                }
            }
        }
        const QDateTime gmt = RecordSet::toDateTime(raw);
        return gmt.isValid() ? gmt.addSecs(m_bias).date() : QDate();
    }

    int add(const QString& key, Candidate c)
    {
        const int id = int(m_found.size());
        m_keys.insert(key, id);
        m_found.push_back(std::move(c));
        return id;
    }

    int emptyMember()
    {
        if (m_empty < 0) {
            m_empty = int(m_found.size());
            m_found.push_back(Candidate());
        }
        return m_empty;
    }

    int m_column;
    ColumnKind m_kind;
    std::optional<olap::DatePart> m_part;
    int m_bias;
    QVariantList m_hidden;
    std::vector<char> m_hiddenFlags; ///< per member found, once asked
    QVariant m_null;
    std::vector<Candidate> m_found;
    QHash<QString, int> m_keys;
    std::unordered_map<int, int> m_parts;
    std::unordered_map<double, int> m_numbers;
    int m_empty = -1;
};

struct TupleHash
{
    std::size_t operator()(const std::vector<int>& t) const noexcept
    {
        std::size_t h = t.size();
        for (int v : t)
            h = h * 1000003u ^ std::size_t(v);
        return h;
    }
};

/**
 * One axis while the rows are read: each row's member combination, then the entries in display
 * order and, for each combination, the entry it falls into at each nesting depth.
 */
class AxisBuilder
{
public:
    explicit AxisBuilder(std::vector<DimensionReader> readers)
        : m_readers(std::move(readers))
    {
    }

    /**
     * Reads one row's members (so that every member is known, hidden or not); false when one of
     * them is hidden.
     */
    bool read(const QVariantList& row)
    {
        m_tuple.resize(m_readers.size());
        bool shown = true;
        for (std::size_t d = 0; d < m_readers.size(); ++d) {
            m_tuple[d] = m_readers[d].memberOf(row);
            shown = shown && !m_readers[d].isHidden(m_tuple[d]);
        }
        return shown;
    }

    /** Counts the row last read; returns its combination's number. */
    int add()
    {
        auto [it, added] = m_combinations.try_emplace(m_tuple, int(m_tuples.size()));
        if (added)
            m_tuples.push_back(m_tuple);
        return it->second;
    }

    /** The number of entries finish() will make: combinations, subtotals and the grand total. */
    qsizetype entryCount()
    {
        sortCombinations();
        const std::size_t depth = m_readers.size();
        if (depth == 0)
            return 1;
        qsizetype count = 1;
        for (std::size_t i = 0; i < m_order.size(); ++i)
            count += qsizetype(depth - std::min(commonWithNext(i), depth - 1));
        return count;
    }

    /** Lays out the entries; entryAt(combination, depth) holds from then on. */
    void finish(Axis& axis)
    {
        sortCombinations();
        const std::size_t depth = m_readers.size();
        m_entryAt.assign(m_tuples.size() * (depth + 1), 0);
        if (depth == 0) {
            axis.entries.append(AxisEntry{});
            return;
        }
        std::vector<std::size_t> groupStart(depth + 1, 0);
        for (std::size_t i = 0; i < m_order.size(); ++i) {
            const std::vector<int>& ranks = m_ranked[m_order[i]];
            m_entryAt[m_order[i] * (depth + 1) + depth] = int(axis.entries.size());
            axis.entries.append({QList<int>(ranks.begin(), ranks.end())});
            // Close the groups that end here, innermost first: a subtotal after its lines.
            const std::size_t common = std::min(commonWithNext(i), depth - 1);
            for (std::size_t level = depth - 1; level > common && level >= 1; --level) {
                for (std::size_t j = groupStart[level]; j <= i; ++j)
                    m_entryAt[m_order[j] * (depth + 1) + level] = int(axis.entries.size());
                axis.entries.append({QList<int>(ranks.begin(), ranks.begin() + level)});
                groupStart[level] = i + 1;
            }
        }
        for (std::size_t c = 0; c < m_tuples.size(); ++c)
            m_entryAt[c * (depth + 1)] = int(axis.entries.size());
        axis.entries.append(AxisEntry{});
    }

    int depth() const { return int(m_readers.size()); }
    int entryAt(int combination, int level) const
    {
        return m_entryAt[std::size_t(combination) * (m_readers.size() + 1) + level];
    }

    QList<QList<Member>> members()
    {
        sortCombinations();
        return m_members;
    }

private:
    void sortCombinations()
    {
        if (m_sorted)
            return;
        m_sorted = true;
        std::vector<std::vector<int>> rankOf(m_readers.size());
        for (std::size_t d = 0; d < m_readers.size(); ++d)
            m_members.append(m_readers[d].sorted(rankOf[d]));
        m_ranked.resize(m_tuples.size());
        for (std::size_t c = 0; c < m_tuples.size(); ++c) {
            m_ranked[c].resize(m_readers.size());
            for (std::size_t d = 0; d < m_readers.size(); ++d)
                m_ranked[c][d] = rankOf[d][m_tuples[c][d]];
        }
        m_order.resize(m_tuples.size());
        std::iota(m_order.begin(), m_order.end(), std::size_t(0));
        std::sort(m_order.begin(), m_order.end(),
                  [&](std::size_t a, std::size_t b) { return m_ranked[a] < m_ranked[b]; });
    }

    /** How many leading members the i-th combination shares with the next; 0 for the last. */
    std::size_t commonWithNext(std::size_t i) const
    {
        if (i + 1 >= m_order.size())
            return 0;
        const std::vector<int>& a = m_ranked[m_order[i]];
        const std::vector<int>& b = m_ranked[m_order[i + 1]];
        std::size_t n = 0;
        while (n < a.size() && a[n] == b[n])
            ++n;
        return n;
    }

    std::vector<DimensionReader> m_readers;
    std::vector<int> m_tuple;
    std::unordered_map<std::vector<int>, int, TupleHash> m_combinations;
    std::vector<std::vector<int>> m_tuples;
    bool m_sorted = false;
    QList<QList<Member>> m_members;
    std::vector<std::vector<int>> m_ranked;
    std::vector<std::size_t> m_order;
    std::vector<int> m_entryAt;
};

/** The running aggregate of one fact in one cell. */
struct Accumulator
{
    double sum = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    qint64 count = 0;   ///< non-Null values
    qint64 numbers = 0; ///< values that are numbers

    /** One row's value, read once for all the cells it falls into. */
    struct Input
    {
        bool present = false; ///< not Null
        bool numeric = false;
        double number = 0;
    };

    static Input read(const QVariant& v)
    {
        Input in;
        in.present = !v.isNull();
        if (in.present)
            in.number = v.toDouble(&in.numeric);
        return in;
    }

    void add(const Input& in)
    {
        if (!in.present)
            return;
        ++count;
        if (!in.numeric)
            return;
        const double d = in.number;
        ++numbers;
        sum += d;
        min = std::min(min, d);
        max = std::max(max, d);
    }

    double result(olap::Aggregate aggregate) const
    {
        if (aggregate == olap::Aggregate::Count)
            return double(count);
        if (numbers == 0)
            return kEmpty;
        switch (aggregate) {
        case olap::Aggregate::Min:
            return min;
        case olap::Aggregate::Max:
            return max;
        case olap::Aggregate::Average:
            return sum / double(numbers);
        default:
            return sum;
        }
    }
};

} // namespace

QString tooManyRowsMessage(qsizetype cap)
{
    return QStringLiteral("The analysis reads more than %1 rows. Narrow its query.")
        .arg(grouped(cap));
}

QString Axis::label(int entry, int level) const
{
    const QList<int>& path = entries[entry].path;
    return level < path.size() ? members[level][path[level]].label : QString();
}

QVariant Grid::value(int row, int column, int fact) const
{
    const int slot = m_slotOf[std::size_t(row) * m_columns.entries.size() + column];
    if (slot < 0)
        return {};
    const double v = m_values[std::size_t(slot) * m_facts.size() + fact];
    if (std::isnan(v))
        return {};
    if (!m_facts[fact].formula && m_facts[fact].aggregate == olap::Aggregate::Count)
        return qlonglong(v);
    return v;
}

Outcome<Grid> build(const Source& source, const Definition& definition, const Limits& limits)
{
    if (source.rows.size() > limits.rows)
        return RefusalOf<>{tooManyRowsMessage(limits.rows)};

    const auto columnOf = [&](const QString& name) {
        for (int i = 0; i < source.columns.size(); ++i)
            if (!source.columns[i].compare(name, Qt::CaseInsensitive))
                return i;
        return -1;
    };
    const auto noColumn = [](const QString& name) {
        return RefusalOf<>{
            QStringLiteral("The analysis names \"%1\", which is no column of its query.")
                .arg(name)};
    };

    std::vector<DimensionReader> axisReaders[2];
    for (int a = 0; a < 2; ++a)
        for (const Dimension& d : a == 0 ? definition.rows : definition.columns) {
            const int column = columnOf(d.column);
            if (column < 0)
                return noColumn(d.column);
            const ColumnKind kind = source.kinds.value(column, ColumnKind::Text);
            if (d.part && kind != ColumnKind::Date)
                return RefusalOf<>{
                    QStringLiteral("The column \"%1\" holds no dates to split.").arg(d.column)};
            axisReaders[a].emplace_back(column, kind, d.part, source.biasSeconds, d.hidden);
        }

    // The aggregated facts first, in their order; formulas over their values.
    std::vector<int> factColumn;
    std::vector<int> aggregated; // definition fact index of each aggregated fact
    std::vector<std::pair<int, Formula>> formulas;
    for (int f = 0; f < definition.facts.size(); ++f) {
        const Fact& fact = definition.facts[f];
        if (fact.formula)
            continue;
        const int column = columnOf(fact.name);
        if (column < 0)
            return noColumn(fact.name);
        factColumn.push_back(column);
        aggregated.push_back(f);
    }
    for (int f = 0; f < definition.facts.size(); ++f) {
        const Fact& fact = definition.facts[f];
        if (!fact.formula)
            continue;
        Outcome<Formula> parsed = Formula::parse(fact.title, fact.name, definition.facts);
        if (!parsed)
            return *parsed.refusal();
        formulas.emplace_back(f, *parsed);
    }

    AxisBuilder axes[2] = {AxisBuilder(std::move(axisReaders[0])),
                           AxisBuilder(std::move(axisReaders[1]))};
    // Both axes read every row before either counts it, so a row left out by a member of one
    // axis adds no line to the other.
    std::vector<int> combination[2];
    std::vector<qsizetype> counted;
    counted.reserve(std::size_t(source.rows.size()));
    for (int a = 0; a < 2; ++a)
        combination[a].reserve(std::size_t(source.rows.size()));
    for (qsizetype r = 0; r < source.rows.size(); ++r) {
        const bool shownDown = axes[0].read(source.rows[r]);
        const bool shownAcross = axes[1].read(source.rows[r]);
        if (!shownDown || !shownAcross)
            continue;
        counted.push_back(r);
        combination[0].push_back(axes[0].add());
        combination[1].push_back(axes[1].add());
    }

    const qsizetype rowEntries = axes[0].entryCount();
    const qsizetype columnEntries = axes[1].entryCount();
    const qsizetype factCount = std::max<qsizetype>(definition.facts.size(), 1);
    if (double(rowEntries) * double(columnEntries) * double(factCount) > double(limits.cells))
        return RefusalOf<>{
            QStringLiteral("The analysis would show more than %1 cells. Choose fewer dimensions "
                           "or narrow its query.")
                .arg(grouped(limits.cells))};

    Grid grid;
    grid.m_facts = definition.facts;
    grid.m_rows.dimensions = definition.rows;
    grid.m_columns.dimensions = definition.columns;
    grid.m_rows.members = axes[0].members();
    grid.m_columns.members = axes[1].members();
    axes[0].finish(grid.m_rows);
    axes[1].finish(grid.m_columns);

    const std::size_t width = std::size_t(columnEntries);
    const std::size_t inputs = factColumn.size();
    grid.m_slotOf.assign(std::size_t(rowEntries) * width, -1);
    const std::size_t stride = std::max<std::size_t>(inputs, 1);
    std::vector<Accumulator> running;
    const int rowDepth = axes[0].depth();
    const int columnDepth = axes[1].depth();
    std::vector<Accumulator::Input> input(inputs);
    for (std::size_t r = 0; r < counted.size(); ++r) {
        const QVariantList& row = source.rows[counted[r]];
        for (std::size_t k = 0; k < inputs; ++k)
            input[k] =
                Accumulator::read(factColumn[k] < row.size() ? row[factColumn[k]] : QVariant());
        for (int i = 0; i <= rowDepth; ++i) {
            const std::size_t rowEntry = std::size_t(axes[0].entryAt(combination[0][r], i));
            for (int j = 0; j <= columnDepth; ++j) {
                int& slot = grid.m_slotOf[rowEntry * width +
                                          std::size_t(axes[1].entryAt(combination[1][r], j))];
                if (slot < 0) {
                    slot = int(running.size() / stride);
                    running.resize(running.size() + stride);
                }
                Accumulator* acc = running.data() + std::size_t(slot) * stride;
                for (std::size_t k = 0; k < inputs; ++k)
                    acc[k].add(input[k]);
            }
        }
    }

    const std::size_t slotCount = running.size() / stride;
    const std::size_t facts = std::size_t(definition.facts.size());
    grid.m_values.assign(slotCount * facts, kEmpty);
    for (std::size_t s = 0; s < slotCount; ++s) {
        double* values = grid.m_values.data() + s * facts;
        for (std::size_t k = 0; k < inputs; ++k)
            values[aggregated[k]] =
                running[s * stride + k].result(definition.facts[aggregated[k]].aggregate);
        for (const auto& [f, formula] : formulas)
            values[f] = formula.evaluate(values);
    }
    return grid;
}

} // namespace bx::pivot
