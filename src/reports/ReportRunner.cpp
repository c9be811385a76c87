#include "reports/ReportRunner.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/ParameterQuery.h"

#include <QLocale>
#include <QRegularExpression>

namespace bx::reportrun {

namespace {

/** The title of every box, and of every log line, about a layout that cannot be read or run. */
const QString kReportError = QStringLiteral("Report Designer Error");

// The task's own columns, then those of the joined table but its task number. ATTACH's content
// (OLE_Data) is never read: a report shows rows, and the content may be any size. Each source's
// rows end in its own order, after any the layout puts first (sourceQuery).
const char* const kTasksQuery = "PARAMETERS pWorkshop Long;\n"
                                "SELECT SCR.* FROM SCR\n"
                                "WHERE SCR.SCR_Group_ID = [pWorkshop] "
                                "AND COALESCE(SCR.SCR_Sensitive, 0) = 0";
const char* const kAttachmentsQuery =
    "PARAMETERS pWorkshop Long;\n"
    "SELECT SCR.*, ATTACH.Attach_Number, ATTACH.Attach_Title, ATTACH.Attach_Type,\n"
    "       ATTACH.Attach_Owner, ATTACH.Attach_Date, ATTACH.Attach_Filename, ATTACH.Category,\n"
    "       ATTACH.Publish, ATTACH.Show_In_TabBar, ATTACH.Temp_Status, ATTACH.Parent_ID,\n"
    "       ATTACH.Group_ID\n"
    "FROM SCR INNER JOIN ATTACH ON ATTACH.SCR_Number = SCR.SCR_Number\n"
    "WHERE SCR.SCR_Group_ID = [pWorkshop] AND COALESCE(SCR.SCR_Sensitive, 0) = 0";
const char* const kHistoryQuery =
    "PARAMETERS pWorkshop Long;\n"
    "SELECT SCR.*, ROUTE.Route_Number, ROUTE.USER_ID, ROUTE.Route_OwnerType,\n"
    "       ROUTE.Route_Date_In, ROUTE.Route_Date_Out, ROUTE.Route_Target_Date,\n"
    "       ROUTE.Route_Status, ROUTE.Route_Action, ROUTE.Route_Note\n"
    "FROM SCR INNER JOIN ROUTE ON ROUTE.SCR_Number = SCR.SCR_Number\n"
    "WHERE SCR.SCR_Group_ID = [pWorkshop] AND COALESCE(SCR.SCR_Sensitive, 0) = 0";

const QString kOrderBy = QStringLiteral("\nORDER BY ");
const QString kDescending = QStringLiteral(" DESC");

struct SourceText
{
    Source source;
    const char* body;
    const char* ownOrder;
};
const SourceText kSources[] = {
    {Source::Tasks, kTasksQuery, "SCR.SCR_Number"},
    {Source::Attachments, kAttachmentsQuery, "SCR.SCR_Number, ATTACH.Attach_Number"},
    {Source::History, kHistoryQuery, "SCR.SCR_Number, ROUTE.Route_Number"},
};

RefusalOf<> refused(Session& session, const QString& reason, const QString& detail = {})
{
    session.errorLog().write(kReportError, detail.isEmpty() ? reason : detail);
    return {reason};
}

std::optional<QVariant> valueFor(const QVariantMap& values, const QString& name)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return std::nullopt;
}

/**
 * The one place where a layout's statement meets the database. A layout may hold a statement its
 * user wrote, so it runs as a read-only query: refused before it reaches the engine unless it only
 * reads, kept from writing by the engine itself, and stopped past `cap` rows. A failing statement
 * is refused with the engine's reason.
 */
Outcome<ReadOnlyRows> fetchRows(Session& session, const ParameterQuery& query,
                                const QVariantMap& values, qsizetype cap)
{
    Database& db = session.db();
    if (const std::optional<QString> refusal = db.readOnlyRefusal(query.sql()))
        return refused(session, QStringLiteral("The report's query cannot run: ") + *refusal);
    try {
        return db.queryReadOnly(query.sql(), query.bind(values), ReadCap{cap});
    } catch (const DbError& e) {
        // A lost connection is the database's failure, not the report's: it goes the usual way.
        if (e.kind() == DbErrorKind::ConnectionLost || e.kind() == DbErrorKind::ServerUnreachable)
            throw;
        return refused(session, QStringLiteral("The report's query failed: ") + e.description(),
                       QStringLiteral("The report's query failed: ") + e.text() +
                           QStringLiteral(" in ") + e.statement());
    }
}

} // namespace

QString tooManyRowsMessage(qsizetype cap)
{
    return QStringLiteral("The report reads more than %1 rows. Narrow its query.")
        .arg(QLocale(QLocale::English).toString(cap));
}

QString sourceName(Source source)
{
    switch (source) {
    case Source::Tasks:
        return QStringLiteral("Tasks");
    case Source::Attachments:
        return QStringLiteral("Attachments");
    case Source::History:
        return QStringLiteral("History");
    }
    return {};
}

bool isPlainField(const QString& field)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(field).hasMatch();
}

QString sourceQuery(Source source, const QList<ReportSort>& first)
{
    for (const SourceText& s : kSources) {
        if (s.source != source)
            continue;
        QStringList order;
        for (const ReportSort& sort : first) {
            Q_ASSERT(isPlainField(sort.field));
            order << sort.field + (sort.descending ? kDescending : QString());
        }
        order << QString::fromLatin1(s.ownOrder);
        return QString::fromLatin1(s.body) + kOrderBy + order.join(QLatin1String(", "));
    }
    return {};
}

std::optional<SourceOrder> sourceOf(const QString& query)
{
    for (const SourceText& s : kSources) {
        const QString start = QString::fromLatin1(s.body) + kOrderBy;
        const QString end = QString::fromLatin1(s.ownOrder);
        if (!query.startsWith(start) || !query.endsWith(end))
            continue;
        const qsizetype listLength = query.size() - start.size() - end.size();
        if (listLength == 0)
            return SourceOrder{s.source, {}};
        // What stands before the source's own order: "a, b DESC, ".
        const QString list = query.mid(start.size(), listLength);
        if (!list.endsWith(QLatin1String(", ")))
            continue;
        SourceOrder found{s.source, {}};
        bool plain = true;
        for (QString item : list.chopped(2).split(QLatin1String(", "))) {
            ReportSort sort;
            sort.descending = item.endsWith(kDescending);
            if (sort.descending)
                item.chop(kDescending.size());
            sort.field = item;
            plain = plain && isPlainField(item);
            found.first << sort;
        }
        if (plain)
            return found;
    }
    return std::nullopt;
}

void useSource(ReportLayout& layout, Source source, const QList<ReportSort>& first)
{
    layout.query = sourceQuery(source, first);
    layout.parameters = {{QStringLiteral("pWorkshop"), QStringLiteral("Workshop"),
                          ReportParameterType::Workshop, QStringLiteral("currentWorkshop"), false}};
}

Outcome<ReportLayout> readLayout(Session& session, const QByteArray& json)
{
    QString error;
    std::optional<ReportLayout> layout = ReportLayout::fromJson(json, &error);
    if (!layout)
        return refused(session, QStringLiteral("The report cannot be read: ") + error);
    return *layout;
}

QVariantMap parameterValues(const Session& session, const ReportLayout& layout,
                            const QVariantMap& given)
{
    QVariantMap values =
        layout.defaultValues(session.clock(), session.user.userId, session.currentWorkshopId);
    for (const ReportParameter& p : layout.parameters) {
        if (!p.ask)
            continue;
        if (const std::optional<QVariant> v = valueFor(given, p.name))
            values.insert(p.name, *v);
    }
    return values;
}

Outcome<QVariant> typedValue(const Session& session, const ReportParameter& parameter,
                             const QString& text)
{
    const QString typed = text.trimmed();
    ReportLayout keyword;
    keyword.parameters = {parameter};
    keyword.parameters[0].defaultValue = typed;
    const QVariantMap resolved =
        keyword.defaultValues(session.clock(), session.user.userId, session.currentWorkshopId);
    const QVariant value = resolved.value(parameter.name);
    const auto refuse = [&](const char* what) {
        return RefusalOf<>{QStringLiteral("\"") + parameter.caption + QStringLiteral("\" needs ") +
                           QLatin1String(what) + QLatin1Char('.')};
    };
    switch (parameter.type) {
    case ReportParameterType::Date: {
        if (value.typeId() == QMetaType::QDateTime)
            return value;
        const QDate day = QDate::fromString(typed, QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return refuse("a date such as 2024-05-31");
        return QVariant(GmtConverter(session.clock()).toGmt(naive(day)));
    }
    case ReportParameterType::Number: {
        bool ok = false;
        typed.toDouble(&ok);
        if (!ok)
            return refuse("a number");
        return value;
    }
    case ReportParameterType::Workshop: {
        bool ok = false;
        const qlonglong workshop =
            value.typeId() == QMetaType::LongLong ? value.toLongLong() : typed.toLongLong(&ok);
        if (!ok && value.typeId() != QMetaType::LongLong)
            return refuse("a workshop's number");
        return QVariant(workshop);
    }
    case ReportParameterType::Text:
    case ReportParameterType::User:
        break;
    }
    return value.isValid() ? value : QVariant(typed);
}

Outcome<RecordSet> runLayout(Session& session, const ReportLayout& layout, const QVariantMap& given)
{
    if (const QString error = layout.validationError(); !error.isEmpty())
        return refused(session, QStringLiteral("The report cannot be run: ") + error);
    const QVariantMap values = parameterValues(session, layout, given);
    for (const ReportParameter& p : layout.parameters) {
        if (!values.contains(p.name))
            return refused(session, QStringLiteral("The report needs a value for \"") + p.caption +
                                        QStringLiteral("\"."));
    }

    Outcome<ReadOnlyRows> read =
        fetchRows(session, layout.parameterQuery(), values, kMaxReportRows);
    if (!read)
        return *read.refusal();
    if (read->capped)
        return refused(session, tooManyRowsMessage(kMaxReportRows));
    const RecordSet& rows = read->rows;
    for (const ReportColumn& c : layout.columns) {
        if (!rows.hasColumn(c.field))
            return refused(session, QStringLiteral("The report's query gives no column \"") +
                                        c.field + QStringLiteral("\"."));
    }
    return rows;
}

Outcome<QList<ResultColumn>> resultColumns(Session& session, const ReportLayout& layout)
{
    if (layout.query.trimmed().isEmpty())
        return refused(session,
                       QStringLiteral("The report cannot be run: the layout has no query"));
    const ParameterQuery query = layout.parameterQuery();
    QVariantMap values = parameterValues(session, layout, {});
    for (const QString& name : query.declared()) {
        if (!valueFor(values, name))
            values.insert(name, QVariant());
    }
    const Outcome<ReadOnlyRows> read = fetchRows(session, query, values, kColumnSampleRows);
    if (!read)
        return *read.refusal();
    const QList<ResultKind> kinds = resultKinds(*read);
    QList<ResultColumn> columns;
    for (int c = 0; c < read->rows.columnCount(); ++c)
        columns << ResultColumn{read->rows.columns().at(c), kinds.at(c)};
    return columns;
}

Outcome<RenderedReport> runReport(Session& session, const ReportLayout& layout,
                                  const QVariantMap& given)
{
    const Outcome<RecordSet> rows = runLayout(session, layout, given);
    if (!rows)
        return *rows.refusal();
    return reportrender::render(layout, *rows, session.clock(), session.user.userId);
}

void showReportError(Prompt& prompt, const RefusalOf<>& refusal)
{
    prompt.inform(refusal.message, kReportError, PromptIcon::Critical);
}

} // namespace bx::reportrun
