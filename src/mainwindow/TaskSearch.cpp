#include "mainwindow/TaskSearch.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/TaskViews.h"
#include "tasks/DateRange.h"

#include <QHash>
#include <QSet>

namespace bx {

namespace {

/** The name of the fast-search table of the embedded engine, kept by triggers on SCR. */
const QString kTaskSearchIndex = QStringLiteral("SCR_SEARCH");

const QChar kWildcard = QLatin1Char('*');

bool refusedPattern(const QString& pattern)
{
    return pattern.contains(QLatin1Char('[')) && pattern.contains(QLatin1Char(']'));
}

/** The names of the task-list columns, without their table. */
const QStringList& listColumnNames()
{
    static const QStringList names = [] {
        QStringList out;
        for (QString c : taskListColumns().split(QLatin1Char(','))) {
            c = c.trimmed();
            out << c.mid(c.indexOf(QLatin1Char('.')) + 1);
        }
        return out;
    }();
    return names;
}

/**
 * One way a task can match a typed pattern: a SCR column holding it. The embedded engine answers
 * from its trigram table when the pattern has a run of three plain characters and no character
 * that LIKE would treat specially (the trigram table takes LIKE without ESCAPE); the server engine
 * matches the text form of the column, which its trigram indexes cover.
 */
struct ColumnMatch
{
    QString column;  ///< SCR_Title, SCR_Comments_AsText or SCR_Custom_Field
    QString pattern; ///< as typed, "*" the wildcard
};

class Matcher
{
public:
    explicit Matcher(Database& db)
        : m_db(db)
        , m_trigramTable(db.hasFullTextTable(kTaskSearchIndex))
    {
    }

    /** A condition true when any of the matches holds; its values are appended to `params`. */
    QString anyOf(const QList<ColumnMatch>& matches, QVariantList& params) const
    {
        bool allIndexed = m_trigramTable;
        for (const ColumnMatch& m : matches)
            allIndexed = allIndexed && indexed(m.pattern);
        if (allIndexed) {
            // One look-up in the trigram table per column, the task rows fetched by number.
            QStringList parts;
            for (const ColumnMatch& m : matches) {
                parts << QStringLiteral("SELECT rowid FROM %1 WHERE %2 LIKE ?")
                             .arg(kTaskSearchIndex, m.column);
                params << likePattern(m.pattern);
            }
            return QStringLiteral("SCR.%1 IN (%2)")
                .arg(scr::Number, parts.join(QStringLiteral(" UNION ")));
        }
        QStringList terms;
        for (const ColumnMatch& m : matches) {
            const LikeClause like =
                m_db.dialect().searchLike(QStringLiteral("SCR.") + m.column, m.pattern);
            terms << like.sql;
            params << like.pattern;
        }
        return QLatin1Char('(') + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }

private:
    static bool indexed(const QString& typed)
    {
        int run = 0;
        int longest = 0;
        for (const QChar ch : typed) {
            if (ch == QLatin1Char('%') || ch == QLatin1Char('_') || ch == QLatin1Char('\\'))
                return false;
            run = ch == kWildcard ? 0 : run + 1;
            longest = std::max(longest, run);
        }
        return longest >= 3;
    }
    QString likePattern(const QString& typed) const
    {
        return m_db.dialect().like(typed).pattern.toString();
    }

    Database& m_db;
    bool m_trigramTable;
};

/** Collects the hits in order, each task once. */
class HitList
{
public:
    HitList(Database& db, const QString& userId)
        : m_userId(userId)
    {
        const RecordSet disabled =
            db.query(QStringLiteral("SELECT USER_ID FROM LU_USER WHERE Disabled <> 0"));
        for (const QVariantList& row : disabled.rows())
            m_disabled.insert(row.value(0).toString().trimmed().toLower());
    }

    void add(const RecordSet& rows, const QString& attachmentColumn = {})
    {
        for (int r = 0; r < rows.rowCount(); ++r) {
            if (!taskVisibleTo(rows, r, m_userId))
                continue;
            const qlonglong number = rows.value(r, scr::Number).toLongLong();
            auto found = m_index.constFind(number);
            int at = 0;
            if (found == m_index.cend()) {
                SearchHit hit;
                hit.number = number;
                for (const QString& c : listColumnNames())
                    hit.row.insert(c, rows.value(r, c));
                hit.ownerDisabled = isDisabled(hit.text(scr::OwnerUserId));
                hit.requesterDisabled = isDisabled(hit.text(scr::RequestId));
                at = int(result.hits.size());
                m_index.insert(number, at);
                result.hits << hit;
            } else {
                at = found.value();
            }
            if (!attachmentColumn.isEmpty()) {
                const QString title = rows.value(r, attachmentColumn).toString();
                QStringList& titles = result.hits[at].attachmentTitles;
                if (!titles.contains(title))
                    titles << title;
            }
        }
    }

    SearchResult result;

private:
    bool isDisabled(const QString& id) const { return m_disabled.contains(id.trimmed().toLower()); }

    QString m_userId;
    QSet<QString> m_disabled;
    QHash<qlonglong, int> m_index;
};

/** The catalogue's spelling of a name, or "" when the list lacks it. */
QString spelled(const QStringList& names, const QString& name)
{
    for (const QString& n : names) {
        if (n.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

QString columnOf(Database& db, const QString& table, const QString& column)
{
    QStringList names;
    for (const ColumnInfo& c : db.columns(table))
        names << c.name;
    const QString found = spelled(names, column);
    if (found.isEmpty())
        throw db.unknownColumn(table, column);
    return found;
}

/** The statement of one SEARCH_TABLES row; names not in the catalogue fail as the engine would. */
TaskCriteria extraTableQuery(Database& db, const QStringList& tables, const QString& tableName,
                             const QString& numberField, const QString& fieldName,
                             const QString& pattern)
{
    const QString table = spelled(tables, tableName);
    if (table.isEmpty())
        throw db.unknownTable(tableName);
    const QString t = Dialect::quoteIdentifier(table);
    const QString number =
        t + QLatin1Char('.') + Dialect::quoteIdentifier(columnOf(db, table, numberField));
    const QString field =
        t + QLatin1Char('.') + Dialect::quoteIdentifier(columnOf(db, table, fieldName));
    const LikeClause like = db.dialect().like(pattern);
    return {
        QStringLiteral("SELECT ") + taskListColumns() + QStringLiteral(" FROM SCR JOIN ") + t +
            QStringLiteral(" ON SCR.%1 = ").arg(scr::Number) + number +
            QStringLiteral(" WHERE UPPER(CAST(") + field +
            QStringLiteral(" AS TEXT)) LIKE UPPER(?) ESCAPE '\\' ORDER BY SCR.%1").arg(scr::Number),
        {like.pattern}};
}

} // namespace

SearchPeriodCheck checkSearchPeriod(const SearchPeriodInput& input, const QDate& today)
{
    if (input.kind == SearchPeriodKind::AnyDate)
        return {today.addYears(-50), today.addYears(10), {}};
    DateRangeInput range;
    range.months = input.months;
    range.days = input.days;
    range.start = input.from;
    range.end = input.to;
    switch (input.kind) {
    case SearchPeriodKind::LastMonths:
        range.kind = DateRangeKind::LastMonths;
        break;
    case SearchPeriodKind::LastDays:
        range.kind = DateRangeKind::LastDays;
        break;
    case SearchPeriodKind::Range:
    case SearchPeriodKind::AnyDate:
        range.kind = DateRangeKind::Between;
        break;
    }
    const DateRangeCheck check = checkDateRange(range, today);
    if (!check.choice)
        return {{}, {}, check.message};
    return {check.choice->start, check.choice->end, {}};
}

FindCheck checkFindInput(const FindInput& input, const QDate& today)
{
    SearchOptions o;
    o.titlePattern = input.title.trimmed();
    o.customPattern = input.custom.trimmed();
    if (refusedPattern(o.titlePattern))
        return {std::nullopt,
                QStringLiteral("Please define another Pattern of Task Title to Search.")};
    if (refusedPattern(o.customPattern))
        return {std::nullopt,
                QStringLiteral("Please define another Pattern for Custom Field to Search")};
    if (o.titlePattern.isEmpty() && o.customPattern.isEmpty())
        return {std::nullopt, QStringLiteral("Please specify a Task Title or Custom Field")};
    o.comments = input.comments;
    o.attachments = input.attachments;
    o.extraTables = input.extraTables;
    for (const QChar code : QStringLiteral("ACIX")) {
        if (input.statuses.contains(code, Qt::CaseInsensitive))
            o.statuses += code;
    }
    o.dateField = input.dateField.isEmpty() ? scr::StartDate : input.dateField;
    const SearchPeriodCheck period = checkSearchPeriod(input.period, today);
    if (!period.message.isEmpty())
        return {std::nullopt, period.message};
    o.from = period.from;
    o.to = period.to;
    o.searchMode = true;
    return {o, {}};
}

TaskCriteria taskSearchStatement(Session& session, const SearchOptions& options)
{
    Database& db = session.db();
    const Matcher matcher(db);
    const QString& title = options.titlePattern;
    const QString& custom = options.customPattern;

    // The user's workshops, the patterns, then the search's own criteria.
    TaskCriteria main;
    QStringList conditions;
    if (!title.isEmpty()) {
        QList<ColumnMatch> titleMatches{{scr::Title, title}};
        if (options.comments)
            titleMatches << ColumnMatch{scr::CommentsAsText,
                                        QString(kWildcard) + title + kWildcard};
        conditions << matcher.anyOf(titleMatches, main.params);
    }
    if (!custom.isEmpty())
        conditions << matcher.anyOf({{scr::CustomField, QString(kWildcard) + custom + kWildcard}},
                                    main.params);
    if (conditions.isEmpty())
        return main;
    TaskViewFilter filter;
    filter.search.on = true;
    filter.search.statuses = options.statuses;
    filter.search.window.on = true;
    filter.search.window.field = options.dateField;
    filter.search.window.from = options.from;
    filter.search.window.to = options.to;
    main.sql = QStringLiteral("SELECT ") + taskListColumns() +
               QStringLiteral(" FROM SCR JOIN GROUPLINK ON SCR.%1 = GROUPLINK.GROUP_ID WHERE "
                              "GROUPLINK.USER_ID = ? AND ")
                   .arg(scr::GroupId) +
               conditions.join(QStringLiteral(" AND "));
    main.params.prepend(session.user.userId);
    main += buildTaskCriteria(filter, session);
    main.sql += QStringLiteral(" ORDER BY SCR.%1").arg(scr::Number);
    return main;
}

SearchResult runTaskSearch(Session& session, SearchOptions& options)
{
    Database& db = session.db();
    std::optional<HitList> hits;
    try {
        hits.emplace(db, session.user.userId);
        const QString& title = options.titlePattern;
        const QString anywhere = QString(kWildcard) + title + kWildcard;
        const TaskCriteria main = taskSearchStatement(session, options);
        if (!main.sql.isEmpty())
            hits->add(db.query(main.sql, main.params));

        if (!title.isEmpty() && options.attachments) {
            const LikeClause like = db.dialect().like(anywhere);
            hits->add(db.query(QStringLiteral("SELECT ") + taskListColumns() +
                                   QStringLiteral(", ATTACH.Attach_Title FROM SCR JOIN ATTACH ON "
                                                  "SCR.%1 = ATTACH.%1 WHERE "
                                                  "UPPER(ATTACH.Attach_Title) LIKE UPPER(?) "
                                                  "ESCAPE '\\' ORDER BY SCR.%1, "
                                                  "ATTACH.Attach_Number")
                                       .arg(scr::Number),
                               {like.pattern}),
                      QStringLiteral("Attach_Title"));
        }

        if (!title.isEmpty() && options.extraTables) {
            const RecordSet rows = db.query(
                QStringLiteral("SELECT TableName, SCR_Number_Field, FieldName FROM SEARCH_TABLES"));
            const QStringList tables = db.tables();
            for (int r = 0; r < rows.rowCount(); ++r) {
                const TaskCriteria q = extraTableQuery(
                    db, tables, rows.value(r, QStringLiteral("TableName")).toString(),
                    rows.value(r, QStringLiteral("SCR_Number_Field")).toString(),
                    rows.value(r, QStringLiteral("FieldName")).toString(), title);
                hits->add(db.query(q.sql, q.params));
            }
        }
    } catch (const DbError& e) {
        options.searchMode = false;
        SearchResult partial = hits ? hits->result : SearchResult{};
        partial.error = e;
        return partial;
    }
    options.searchMode = false;
    return hits->result;
}

} // namespace bx
