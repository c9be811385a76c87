#include "core/db/RecordSet.h"

#include "core/Clock.h"

namespace bx {

namespace {

/** The number in s[from, from + n) when those are all digits, else -1. */
int digitsAt(QStringView s, qsizetype from, qsizetype n)
{
    int value = 0;
    for (qsizetype i = from; i < from + n; ++i) {
        const QChar c = s.at(i);
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

/**
 * The stored forms "yyyy-MM-dd", "yyyy-MM-dd HH:mm" and "yyyy-MM-dd HH:mm:ss" (also with 'T'),
 * read field by field: a list of many rows reads every date this way, and a general parser that
 * consults the time zone for each value would dominate the time.
 */
QDateTime fastStoredForm(QStringView s)
{
    const qsizetype n = s.size();
    if ((n != 10 && n != 16 && n != 19) || s.at(4) != u'-' || s.at(7) != u'-')
        return {};
    const int year = digitsAt(s, 0, 4);
    const int month = digitsAt(s, 5, 2);
    const int day = digitsAt(s, 8, 2);
    if (year < 0 || month < 0 || day < 0)
        return {};
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    if (n == 10)
        return naive(date);
    if ((s.at(10) != u' ' && s.at(10) != u'T') || s.at(13) != u':' || (n == 19 && s.at(16) != u':'))
        return {};
    const QTime time(digitsAt(s, 11, 2), digitsAt(s, 14, 2), n == 19 ? digitsAt(s, 17, 2) : 0);
    return time.isValid() ? naive(date, time) : QDateTime();
}

/**
 * The other stored forms: "yyyy-MM-dd HH:mm:ss.zzz" and what the fast path does not take. The
 * date and the time are read apart: read together they would be a local time, and the hour that
 * daylight saving skips in spring does not exist there, so such a value would be lost.
 */
QDateTime generalStoredForm(const QString& s)
{
    struct Form
    {
        QChar separator;
        const char* time; ///< nullptr: the date alone
    };
    static const Form forms[] = {{u' ', "HH:mm:ss"},
                                 {u' ', "HH:mm:ss.zzz"},
                                 {u'T', "HH:mm:ss"},
                                 {u' ', "HH:mm"},
                                 {{}, nullptr}};
    for (const Form& form : forms) {
        const qsizetype split = form.time ? s.indexOf(form.separator) : s.size();
        if (split < 0)
            continue;
        const QDate date = QDate::fromString(s.left(split), QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid())
            continue;
        if (!form.time)
            return naive(date);
        const QTime time = QTime::fromString(s.mid(split + 1), QLatin1String(form.time));
        if (time.isValid())
            return naive(date, time);
    }
    return {};
}

} // namespace

RecordSet::RecordSet(QStringList columns, QList<QVariantList> rows)
    : m_columns(std::move(columns))
    , m_rows(std::move(rows))
{
    for (int i = 0; i < m_columns.size(); ++i) {
        const QString key = m_columns.at(i).toLower();
        if (!m_index.contains(key))
            m_index.insert(key, i);
    }
}

int RecordSet::columnIndex(const QString& name) const
{
    return m_index.value(name.toLower(), -1);
}

QVariant RecordSet::value(const QString& column) const
{
    return value(m_pos, column);
}

int RecordSet::knownColumn(const QString& name) const
{
    const int c = columnIndex(name);
    Q_ASSERT_X(c >= 0, "RecordSet",
               qPrintable(QStringLiteral("no column \"%1\" among %2")
                              .arg(name, m_columns.join(QStringLiteral(", ")))));
    return c;
}

QVariant RecordSet::value(int row, const QString& column) const
{
    const int c = knownColumn(column);
    if (c < 0 || row < 0 || row >= m_rows.size())
        return {};
    return m_rows.at(row).at(c);
}

QStringList RecordSet::firstColumnTexts() const
{
    QStringList out;
    for (const QVariantList& row : m_rows)
        out << row.first().toString();
    return out;
}

QString RecordSet::text(const QString& column) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return v.toString();
}

qlonglong RecordSet::number(const QString& column) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return static_cast<qlonglong>(v.toDouble());
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (ok)
        return n;
    const double d = v.toString().trimmed().toDouble(&ok);
    return ok ? static_cast<qlonglong>(d) : 0;
}

double RecordSet::real(const QString& column) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return 0.0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : 0.0;
}

QDateTime RecordSet::dateTime(const QString& column) const
{
    return toDateTime(value(column));
}

QDateTime RecordSet::toDateTime(const QVariant& v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return naive(v.toDateTime());
    if (v.typeId() == QMetaType::QDate)
        return naive(v.toDate());
    const QString s = v.toString().trimmed();
    if (s.isEmpty())
        return {};
    if (const QDateTime fast = fastStoredForm(s); fast.isValid())
        return fast;
    return generalStoredForm(s);
}

bool RecordSet::findFirst(const QString& column, const QVariant& wanted)
{
    const int c = knownColumn(column);
    m_pos = 0;
    if (c < 0 || m_rows.isEmpty()) {
        m_pos = static_cast<int>(m_rows.size());
        return false;
    }
    const bool numeric =
        wanted.typeId() == QMetaType::Int || wanted.typeId() == QMetaType::LongLong ||
        wanted.typeId() == QMetaType::Double || wanted.typeId() == QMetaType::UInt ||
        wanted.typeId() == QMetaType::ULongLong;
    const QString wantedText = wanted.toString().trimmed();
    for (; m_pos < m_rows.size(); ++m_pos) {
        const QVariant& v = m_rows.at(m_pos).at(c);
        if (v.isNull())
            continue;
        if (numeric) {
            bool ok = false;
            const double d = v.toDouble(&ok);
            if (ok && d == wanted.toDouble())
                return true;
        } else if (v.toString().trimmed().compare(wantedText, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace bx
