#include "reports/ReportWizard.h"

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"

#include <algorithm>

namespace bx::reportwizard {

namespace {

QString quoted(const QString& name)
{
    return Dialect::quoteIdentifier(name);
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/** One column of the statement's result: a field shown, or a group field that is not. */
struct Output
{
    QString table;
    QString field;
    QString name; ///< its name in the result
    const SelectedField* shown = nullptr;
};

bool readsTables(const Report& report)
{
    return !report.source && report.tables.size() > 1;
}

/** A field as the statement names it: qualified when the report reads more than one table. */
QString reference(const Report& report, const QString& table, const QString& field)
{
    return readsTables(report) ? quoted(table) + QLatin1Char('.') + quoted(field) : quoted(field);
}

/** A field as the summary names it. */
QString label(const Report& report, const QString& table, const QString& field)
{
    return readsTables(report) ? table + QLatin1Char('.') + field : field;
}

QList<Output> outputsOf(const Report& report)
{
    QList<Output> out;
    const auto has = [&](const QString& table, const QString& field) {
        return std::any_of(out.cbegin(), out.cend(), [&](const Output& o) {
            return sameName(o.table, table) && sameName(o.field, field);
        });
    };
    for (const SelectedField& f : report.fields) {
        if (!has(f.table, f.field))
            out.append({f.table, f.field, f.field, &f});
    }
    for (const GroupField& g : report.groups) {
        if (!has(g.table, g.field))
            out.append({g.table, g.field, g.field, nullptr});
    }
    // Two tables may give a field the same name; the result, and so the layout, needs it once.
    for (Output& o : out) {
        const auto twins = std::count_if(out.cbegin(), out.cend(), [&](const Output& other) {
            return sameName(other.field, o.field);
        });
        if (twins > 1)
            o.name = o.table + QLatin1Char('_') + o.field;
    }
    return out;
}

/** The source's parameter declarations and its statement. */
std::pair<QString, QString> sourceParts(reportrun::Source source)
{
    ReportLayout layout;
    reportrun::useSource(layout, source);
    const qsizetype end = layout.query.indexOf(QLatin1Char(';'));
    return {layout.query.left(end + 1), layout.query.mid(end + 1).trimmed()};
}

QStringList sourceTables(reportrun::Source source)
{
    switch (source) {
    case reportrun::Source::Tasks:
        return {QStringLiteral("SCR")};
    case reportrun::Source::Attachments:
        return {QStringLiteral("SCR"), QStringLiteral("ATTACH")};
    case reportrun::Source::History:
        return {QStringLiteral("SCR"), QStringLiteral("ROUTE")};
    }
    return {};
}

RefusalOf<> refusal(const QString& message)
{
    return {message};
}

/** Why the report cannot be made, or "" when it can. */
QString whatIsMissing(const Report& report)
{
    if (report.title.trimmed().isEmpty())
        return QStringLiteral("Give the report a title.");
    if (report.fields.isEmpty())
        return QStringLiteral("Choose at least one field for the report.");
    if (report.source)
        return {};
    if (report.tables.isEmpty())
        return QStringLiteral("Choose at least one table for the report.");
    const auto chosen = [&](const QString& table) {
        return std::any_of(report.tables.cbegin(), report.tables.cend(),
                           [&](const QString& t) { return sameName(t, table); });
    };
    const auto notRead = [](const QString& table) {
        return QStringLiteral("The report does not read the table \"") + table +
               QStringLiteral("\".");
    };
    for (const SelectedField& f : report.fields) {
        if (!chosen(f.table))
            return notRead(f.table);
    }
    for (const GroupField& g : report.groups) {
        if (!chosen(g.table))
            return notRead(g.table);
    }
    for (const SortField& s : report.sorts) {
        if (!chosen(s.table))
            return notRead(s.table);
    }
    for (const WizRelation& r : report.relations) {
        if (!chosen(r.TablePrimary))
            return notRead(r.TablePrimary);
        if (!chosen(r.TableForeign))
            return notRead(r.TableForeign);
    }
    return {};
}

ReportColumn columnOf(const Output& o)
{
    ReportColumn c;
    c.field = o.name;
    c.caption = o.field;
    if (!o.shown) {
        c.hidden = true;
        return c;
    }
    c.width = o.shown->width;
    switch (o.shown->kind) {
    case FieldKind::Number:
        c.format = ReportFormat::Number;
        c.align = ReportAlign::Right;
        break;
    case FieldKind::Currency:
        c.format = ReportFormat::Currency;
        c.align = ReportAlign::Right;
        break;
    case FieldKind::Date:
        c.format = ReportFormat::Date;
        break;
    case FieldKind::Text:
    case FieldKind::Binary:
        break;
    }
    return c;
}

} // namespace

FieldKind kindOfType(const QString& type)
{
    const QString t = type.toLower();
    const auto has = [&](const char* part) { return t.contains(QLatin1String(part)); };
    if (has("money") || has("currency"))
        return FieldKind::Currency;
    if (has("blob") || has("bytea") || has("binary") || t == QLatin1String("oid"))
        return FieldKind::Binary;
    if (has("date") || has("time"))
        return FieldKind::Date;
    if (has("int") || has("real") || has("double") || has("float") || has("numeric") ||
        has("decimal"))
        return FieldKind::Number;
    return FieldKind::Text;
}

int defaultWidth(FieldKind kind)
{
    switch (kind) {
    case FieldKind::Number:
        return 10;
    case FieldKind::Currency:
    case FieldKind::Date:
        return 12;
    case FieldKind::Text:
    case FieldKind::Binary:
        break;
    }
    return 20;
}

QString groupOptionName(GroupOption option)
{
    return option == GroupOption::HeaderOnly ? QStringLiteral("Header Only")
                                             : QStringLiteral("Footer with Count and Sums");
}

QString query(const Report& report)
{
    QStringList select;
    for (const Output& o : outputsOf(report)) {
        QString item = reference(report, o.table, o.field);
        if (o.name != o.field)
            item += QStringLiteral(" AS ") + quoted(o.name);
        select << item;
    }
    QStringList order;
    for (const GroupField& g : report.groups)
        order << reference(report, g.table, g.field);
    for (const SortField& s : report.sorts) {
        order << reference(report, s.table, s.field) +
                     (s.order == SortOrder::Descending ? QStringLiteral(" DESC") : QString());
    }

    QString sql;
    if (report.source) {
        const auto [declarations, statement] = sourceParts(*report.source);
        sql = declarations + QLatin1Char('\n') + QStringLiteral("SELECT ") +
              select.join(QStringLiteral(", ")) + QStringLiteral("\nFROM (") + statement +
              QStringLiteral(") src");
    } else {
        QStringList from;
        for (const QString& t : report.tables)
            from << quoted(t);
        sql = QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) +
              QStringLiteral("\nFROM ") + from.join(QStringLiteral(", "));
        QStringList where;
        for (const WizRelation& r : report.relations) {
            where << quoted(r.TablePrimary) + QLatin1Char('.') + quoted(r.ColumnPrimary) +
                         QStringLiteral(" = ") + quoted(r.TableForeign) + QLatin1Char('.') +
                         quoted(r.ColumnForeign);
        }
        if (!where.isEmpty())
            sql += QStringLiteral("\nWHERE ") + where.join(QStringLiteral(" AND "));
    }
    if (!order.isEmpty())
        sql += QStringLiteral("\nORDER BY ") + order.join(QStringLiteral(", "));
    return sql;
}

QString summary(const Report& report)
{
    const QString indent = QStringLiteral("    ");
    QStringList lines;
    lines << QStringLiteral("Report Title: ") + report.title;
    lines << QStringLiteral("From Tables: ") + (report.source
                                                    ? reportrun::sourceName(*report.source)
                                                    : report.tables.join(QStringLiteral(", ")));
    lines << QStringLiteral("Selected Fields: ");
    for (const SelectedField& f : report.fields) {
        lines << indent + label(report, f.table, f.field) + QStringLiteral(" Type = ") + f.type +
                     QStringLiteral(" Width = ") + QString::number(f.width);
    }
    lines << QStringLiteral("Summary Group Levels: ");
    for (const GroupField& g : report.groups) {
        lines << indent + label(report, g.table, g.field) + QStringLiteral(" Group Option = ") +
                     groupOptionName(g.option);
    }
    lines << QStringLiteral("Order By: ");
    for (const SortField& s : report.sorts) {
        lines << indent + label(report, s.table, s.field) + QStringLiteral(" Sort Order = ") +
                     (s.order == SortOrder::Descending ? QStringLiteral("Dec")
                                                       : QStringLiteral("Asc"));
    }
    return lines.join(QLatin1Char('\n'));
}

Outcome<ReportLayout> makeLayout(const Session& session, const Report& report)
{
    if (!report.source && !UserRights::hasGlobalReports(session.user.record))
        return refusal(UserRights::kNoGlobalReports);
    if (const QString missing = whatIsMissing(report); !missing.isEmpty())
        return refusal(missing);

    ReportLayout layout;
    if (report.source)
        reportrun::useSource(layout, *report.source);
    layout.title = report.title.trimmed();
    layout.style = report.style;
    layout.query = query(report);
    layout.header = QStringLiteral("{title}");
    layout.footer = QStringLiteral("Page {page} of {pages}");

    const QList<Output> outputs = outputsOf(report);
    for (const Output& o : outputs)
        layout.columns << columnOf(o);
    const auto resultName = [&](const QString& table, const QString& field) {
        for (const Output& o : outputs) {
            if (sameName(o.table, table) && sameName(o.field, field))
                return o.name;
        }
        return field;
    };
    bool footers = false;
    for (const GroupField& g : report.groups) {
        const bool footer = g.option == GroupOption::FooterWithTotals;
        layout.grouping << ReportGroup{resultName(g.table, g.field), g.field, true, footer};
        footers = footers || footer;
    }
    if (footers) {
        const QString first = layout.columns.first().field;
        layout.totals << ReportTotal{first, ReportFunction::Count, ReportLevel::Group,
                                     QStringLiteral("Count")};
        for (const ReportColumn& c : layout.columns) {
            if (!c.hidden &&
                (c.format == ReportFormat::Number || c.format == ReportFormat::Currency)) {
                layout.totals << ReportTotal{c.field, ReportFunction::Sum, ReportLevel::Group,
                                             QStringLiteral("Sum")};
            }
        }
    }
    if (const QString error = layout.validationError(); !error.isEmpty())
        return refusal(error);
    return layout;
}

Outcome<CDataSource> CDataSource::openTables(Session& session, bool showSystem)
{
    if (!UserRights::hasGlobalReports(session.user.record))
        return refusal(UserRights::kNoGlobalReports);
    CDataSource source(session);
    Database& db = session.db();
    for (const QString& t : db.tables())
        source.m_tables << WizTableDef{t, false};
    if (showSystem) {
        for (const QString& t : db.systemTables())
            source.m_tables << WizTableDef{t, true};
    }
    return source;
}

CDataSource CDataSource::openSource(Session& session, reportrun::Source source)
{
    CDataSource data(session);
    data.m_source = source;
    return data;
}

WizFieldInfos CDataSource::fields(const QString& table)
{
    const QString key = table.toUpper();
    if (const auto it = m_fields.constFind(key); it != m_fields.cend())
        return *it;
    Database& db = m_session->db();
    QList<ColumnInfo> columns;
    if (m_source) {
        // The names as the source's statement gives them (the server engine reports them in
        // lower case), read from a run that finds no workshop; the types from its tables.
        ReportLayout layout;
        reportrun::useSource(layout, *m_source);
        const ParameterQuery q = layout.parameterQuery();
        const QVariantMap none{{layout.parameters.first().name, qlonglong(-1)}};
        const ReadOnlyRows read = db.queryReadOnly(q.sql(), q.bind(none), ReadCap{1});
        QList<ColumnInfo> declared;
        for (const QString& t : sourceTables(*m_source))
            declared << db.columns(t);
        for (const QString& name : read.rows.columns()) {
            const auto it =
                std::find_if(declared.cbegin(), declared.cend(),
                             [&](const ColumnInfo& c) { return sameName(c.name, name); });
            columns << ColumnInfo{name, it == declared.cend() ? QString() : it->type};
        }
    } else if (std::any_of(m_tables.cbegin(), m_tables.cend(),
                           [&](const WizTableDef& t) { return sameName(t.name, table); })) {
        columns = db.columns(table);
    }
    WizFieldInfos out;
    for (const ColumnInfo& c : columns) {
        const FieldKind kind = kindOfType(c.type);
        if (kind != FieldKind::Binary)
            out << WizFieldInfo{c.name, c.type, kind};
    }
    m_fields.insert(key, out);
    return out;
}

WizRelations CDataSource::relations(const QStringList& tables)
{
    WizRelations out;
    if (m_source)
        return out;
    const auto spelling = [&](const QString& table) -> std::optional<QString> {
        for (const QString& t : tables) {
            if (sameName(t, table))
                return t;
        }
        return std::nullopt;
    };
    for (const QString& table : tables) {
        for (const ForeignKey& key : m_session->db().foreignKeys(table)) {
            const std::optional<QString> primary = spelling(key.referencedTable);
            if (!primary)
                continue;
            const WizRelation relation{*primary, key.referencedColumn, table, key.column};
            if (!out.contains(relation))
                out << relation;
        }
    }
    return out;
}

} // namespace bx::reportwizard
