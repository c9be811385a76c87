#include "reports/ReportLayout.h"

#include "core/Clock.h"
#include "core/Gmt.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>

namespace bx {

namespace {

constexpr int kMaxWidth = 200;
constexpr int kMaxDecimals = 6;

template <typename E> using NameTable = std::initializer_list<std::pair<E, const char*>>;

const NameTable<ReportParameterType> kParameterTypes = {
    {ReportParameterType::Text, "text"},         {ReportParameterType::Date, "date"},
    {ReportParameterType::Number, "number"},     {ReportParameterType::User, "user"},
    {ReportParameterType::Workshop, "workshop"},
};
const NameTable<ReportAlign> kAligns = {
    {ReportAlign::Left, "left"}, {ReportAlign::Right, "right"}, {ReportAlign::Center, "center"}};
const NameTable<ReportFormat> kFormats = {
    {ReportFormat::Text, "text"}, {ReportFormat::Number, "number"},
    {ReportFormat::Date, "date"}, {ReportFormat::DateTime, "datetime"},
    {ReportFormat::Flag, "flag"}, {ReportFormat::Currency, "currency"},
};
const NameTable<ReportFunction> kFunctions = {
    {ReportFunction::Sum, "sum"}, {ReportFunction::Count, "count"}, {ReportFunction::Avg, "avg"},
    {ReportFunction::Min, "min"}, {ReportFunction::Max, "max"},
};
const NameTable<ReportLevel> kLevels = {{ReportLevel::Group, "group"},
                                        {ReportLevel::Report, "report"}};
const NameTable<ReportOrientation> kOrientations = {{ReportOrientation::Portrait, "portrait"},
                                                    {ReportOrientation::Landscape, "landscape"}};
const NameTable<ReportStyle> kStyles = {
    {ReportStyle::Compact, "compact"},   {ReportStyle::Corporate, "corporate"},
    {ReportStyle::Formal, "formal"},     {ReportStyle::Casual, "casual"},
    {ReportStyle::SoftGray, "softGray"},
};

/** The first format that has the style and the column format "currency". */
constexpr int kStyleFormat = 2;

// The default keywords and the parameter type each belongs to.
const NameTable<ReportParameterType> kDefaultKeywords = {
    {ReportParameterType::Date, "today"},
    {ReportParameterType::Date, "now"},
    {ReportParameterType::Date, "weekStart"},
    {ReportParameterType::User, "currentUser"},
    {ReportParameterType::Workshop, "currentWorkshop"},
};

template <typename E> QString nameOf(NameTable<E> table, E value)
{
    for (const auto& [e, name] : table) {
        if (e == value)
            return QLatin1String(name);
    }
    return {};
}

template <typename E> std::optional<E> valueOf(NameTable<E> table, const QString& name)
{
    for (const auto& [e, text] : table) {
        if (name == QLatin1String(text))
            return e;
    }
    return std::nullopt;
}

/** "a, b or c" */
template <typename E> QString choices(NameTable<E> table)
{
    QStringList names;
    for (const auto& entry : table)
        names << QLatin1String(entry.second);
    const QString last = names.takeLast();
    return names.join(QLatin1String(", ")) + QLatin1String(" or ") + last;
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString at(const char* list, qsizetype index)
{
    return QLatin1String(list) + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

/** Thrown inside the reader; fromJson() turns it into its error text. */
struct Refusal
{
    QString text;
};

[[noreturn]] void refuse(const QString& where, const QString& what)
{
    throw Refusal{where.isEmpty() ? what : where + QLatin1String(": ") + what};
}

void onlyKeys(const QJsonObject& object, std::initializer_list<const char*> known,
              const QString& where)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* key : known)
            found = found || it.key() == QLatin1String(key);
        if (!found)
            refuse(where, QLatin1String("unknown key ") + quoted(it.key()));
    }
}

QString text(const QJsonObject& object, const char* key, const QString& where)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return {};
    if (!v.isString())
        refuse(where, QLatin1String(key) + QLatin1String(" must be a text"));
    return v.toString();
}

/** A text given either as one string or as an array of lines. */
QString textOrLines(const QJsonObject& object, const char* key, const QString& where)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (!v.isArray())
        return text(object, key, where);
    QStringList lines;
    for (const QJsonValue line : v.toArray()) {
        if (!line.isString())
            refuse(where, QLatin1String(key) + QLatin1String(" must be a text or a list of texts"));
        lines << line.toString();
    }
    return lines.join(QLatin1Char('\n'));
}

QJsonValue textOrLinesValue(const QString& value)
{
    if (!value.contains(QLatin1Char('\n')))
        return value;
    return QJsonArray::fromStringList(value.split(QLatin1Char('\n')));
}

bool flag(const QJsonObject& object, const char* key, bool fallback, const QString& where)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined())
        return fallback;
    if (!v.isBool())
        refuse(where, QLatin1String(key) + QLatin1String(" must be true or false"));
    return v.toBool();
}

template <typename E>
E choice(const QJsonObject& object, const char* key, NameTable<E> table, std::optional<E> fallback,
         const QString& where)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined() && fallback)
        return *fallback;
    if (v.isUndefined())
        refuse(where,
               QLatin1String(key) + QLatin1String(" is missing; expected ") + choices(table));
    const std::optional<E> value = valueOf(table, v.toString());
    if (!v.isString() || !value) {
        const QString given = v.isString() ? quoted(v.toString()) : QLatin1String("value");
        refuse(where, QLatin1String("unknown ") + QLatin1String(key) + QLatin1Char(' ') + given +
                          QLatin1String("; expected ") + choices(table));
    }
    return *value;
}

QList<QJsonObject> objects(const QJsonObject& root, const char* key)
{
    const QJsonValue v = root.value(QLatin1String(key));
    if (v.isUndefined())
        return {};
    if (!v.isArray())
        refuse({}, QLatin1String(key) + QLatin1String(" must be a list"));
    QList<QJsonObject> out;
    const QJsonArray array = v.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject())
            refuse(at(key, i), QLatin1String("must be an object"));
        out << array.at(i).toObject();
    }
    return out;
}

ReportParameter readParameter(const QJsonObject& o, const QString& where)
{
    onlyKeys(o, {"name", "caption", "type", "default", "ask"}, where);
    ReportParameter p;
    p.name = text(o, "name", where);
    p.caption = text(o, "caption", where);
    p.type = choice<ReportParameterType>(o, "type", kParameterTypes, std::nullopt, where);
    const QJsonValue def = o.value(QLatin1String("default"));
    if (def.isDouble())
        p.defaultValue = QString::number(def.toDouble(), 'g', 15);
    else
        p.defaultValue = text(o, "default", where);
    p.ask = flag(o, "ask", true, where);
    return p;
}

void readFormat(const QString& written, ReportColumn& column, const QString& where)
{
    const std::optional<std::pair<ReportFormat, int>> format = ReportLayout::formatOf(written);
    if (!valueOf(kFormats, written.section(QLatin1Char(':'), 0, 0)))
        refuse(where, QLatin1String("unknown format ") + quoted(written) +
                          QLatin1String("; expected ") + choices(kFormats) +
                          QLatin1String(" (\"number:N\" for N decimals)"));
    if (!format)
        refuse(where, QLatin1String("unknown format ") + quoted(written) +
                          QLatin1String("; decimals are written \"number:N\" with N from 0 to ") +
                          QString::number(kMaxDecimals));
    column.format = format->first;
    column.decimals = format->second;
}

ReportColumn readColumn(const QJsonObject& o, int fileFormat, const QString& where)
{
    onlyKeys(o, {"field", "caption", "width", "align", "format", "hidden"}, where);
    ReportColumn c;
    c.field = text(o, "field", where);
    c.caption = text(o, "caption", where);
    const QJsonValue width = o.value(QLatin1String("width"));
    if (!width.isUndefined()) {
        const double w = width.toDouble(-1);
        if (!width.isDouble() || w != std::floor(w) || w < 1 || w > kMaxWidth)
            refuse(where, QLatin1String("width must be a whole number of characters from 1 to ") +
                              QString::number(kMaxWidth));
        c.width = int(w);
    }
    c.align = choice<ReportAlign>(o, "align", kAligns, ReportAlign::Left, where);
    const QString format = text(o, "format", where);
    if (!format.isEmpty())
        readFormat(format, c, where);
    if (c.format == ReportFormat::Currency && fileFormat < kStyleFormat)
        refuse(where, QLatin1String("format \"currency\" needs a layout of format ") +
                          QString::number(kStyleFormat));
    c.hidden = flag(o, "hidden", false, where);
    return c;
}

ReportGroup readGroup(const QJsonObject& o, const QString& where)
{
    onlyKeys(o, {"field", "caption", "header", "footer"}, where);
    ReportGroup g;
    g.field = text(o, "field", where);
    g.caption = text(o, "caption", where);
    g.header = flag(o, "header", true, where);
    g.footer = flag(o, "footer", false, where);
    return g;
}

QString functionCaption(ReportFunction function)
{
    switch (function) {
    case ReportFunction::Sum:
        return QStringLiteral("Sum");
    case ReportFunction::Count:
        return QStringLiteral("Count");
    case ReportFunction::Avg:
        return QStringLiteral("Average");
    case ReportFunction::Min:
        return QStringLiteral("Minimum");
    case ReportFunction::Max:
        return QStringLiteral("Maximum");
    }
    return {};
}

ReportTotal readTotal(const QJsonObject& o, const QString& where)
{
    onlyKeys(o, {"field", "function", "level", "caption"}, where);
    ReportTotal t;
    t.field = text(o, "field", where);
    t.function = choice<ReportFunction>(o, "function", kFunctions, std::nullopt, where);
    t.level = choice<ReportLevel>(o, "level", kLevels, ReportLevel::Report, where);
    t.caption = text(o, "caption", where);
    return t;
}

ReportLayout read(const QByteArray& json)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        refuse({}, QLatin1String("not valid JSON: ") + parseError.errorString() +
                       QLatin1String(" at offset ") + QString::number(parseError.offset));
    if (!doc.isObject())
        refuse({}, QStringLiteral("a report layout must be a JSON object"));
    const QJsonObject root = doc.object();

    // The format number comes first: a newer file is refused as such, not for a key this
    // program does not know yet.
    const QJsonValue format = root.value(QLatin1String("format"));
    if (format.isUndefined())
        refuse({}, QStringLiteral("the layout has no format number"));
    if (!format.isDouble() || format.toDouble() != std::floor(format.toDouble()) ||
        format.toDouble() < 1)
        refuse({}, QStringLiteral("format must be a whole number"));
    if (format.toDouble() > ReportLayout::kFormat)
        refuse({}, QLatin1String("the layout is of format ") + QString::number(format.toDouble()) +
                       QLatin1String(", newer than this program reads (") +
                       QString::number(ReportLayout::kFormat) + QLatin1Char(')'));
    const int fileFormat = int(format.toDouble());
    onlyKeys(root,
             {"format", "title", "description", "orientation", "style", "header", "footer",
              "parameters", "query", "columns", "grouping", "totals"},
             {});

    ReportLayout layout;
    layout.title = text(root, "title", {});
    layout.description = textOrLines(root, "description", {});
    layout.orientation = choice<ReportOrientation>(root, "orientation", kOrientations,
                                                   ReportOrientation::Portrait, {});
    if (root.contains(QLatin1String("style"))) {
        if (fileFormat < kStyleFormat)
            refuse({}, QLatin1String("style needs a layout of format ") +
                           QString::number(kStyleFormat));
        layout.style = choice<ReportStyle>(root, "style", kStyles, std::nullopt, {});
    }
    layout.header = text(root, "header", {});
    layout.footer = text(root, "footer", {});
    layout.query = textOrLines(root, "query", {});

    const QList<QJsonObject> parameters = objects(root, "parameters");
    for (qsizetype i = 0; i < parameters.size(); ++i)
        layout.parameters << readParameter(parameters.at(i), at("parameters", i));
    const QList<QJsonObject> columns = objects(root, "columns");
    for (qsizetype i = 0; i < columns.size(); ++i)
        layout.columns << readColumn(columns.at(i), fileFormat, at("columns", i));
    const QList<QJsonObject> groups = objects(root, "grouping");
    for (qsizetype i = 0; i < groups.size(); ++i)
        layout.grouping << readGroup(groups.at(i), at("grouping", i));
    const QList<QJsonObject> totals = objects(root, "totals");
    for (qsizetype i = 0; i < totals.size(); ++i)
        layout.totals << readTotal(totals.at(i), at("totals", i));
    layout.fillDefaultCaptions();
    return layout;
}

bool isIdentifier(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(name).hasMatch();
}

bool containsName(const QStringList& names, const QString& name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

/** True when the statement holds a "[" outside quoted text: a marker that names no parameter. */
bool hasStrayBracket(const QString& sql)
{
    QChar quote;
    for (const QChar ch : sql) {
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
        } else if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
            quote = ch;
        } else if (ch == QLatin1Char('[') || ch == QLatin1Char(']')) {
            return true;
        }
    }
    return false;
}

QString parameterError(const ReportParameter& p)
{
    if (!isIdentifier(p.name))
        return QLatin1String("name ") + quoted(p.name) +
               QLatin1String(" must be made of letters, digits and \"_\"");
    if (!p.defaultValue.isEmpty()) {
        const bool keyword = valueOf(kDefaultKeywords, p.defaultValue).has_value();
        const bool literalAllowed =
            p.type == ReportParameterType::Text || p.type == ReportParameterType::Number;
        if (keyword && *valueOf(kDefaultKeywords, p.defaultValue) != p.type)
            return QLatin1String("default ") + quoted(p.defaultValue) +
                   QLatin1String(" does not suit a parameter of type ") +
                   nameOf(kParameterTypes, p.type);
        if (!keyword && !literalAllowed)
            return QLatin1String("unknown default ") + quoted(p.defaultValue) +
                   QLatin1String(" for a parameter of type ") + nameOf(kParameterTypes, p.type);
        bool ok = true;
        if (!keyword && p.type == ReportParameterType::Number)
            p.defaultValue.toDouble(&ok);
        if (!ok)
            return QLatin1String("default ") + quoted(p.defaultValue) +
                   QLatin1String(" is not a number");
    }
    if (!p.ask && p.defaultValue.isEmpty())
        return QStringLiteral("a parameter that is not asked for needs a default");
    return {};
}

QString queryError(const ReportLayout& layout)
{
    const ParameterQuery q = layout.parameterQuery();
    if (q.sql().trimmed().isEmpty())
        return QStringLiteral("query: there is no statement after the PARAMETERS declaration");
    if (hasStrayBracket(q.sql()))
        return QStringLiteral("query: a [name] in the statement is not declared in its "
                              "PARAMETERS list (brackets may name parameters only)");
    QStringList listed;
    for (const ReportParameter& p : layout.parameters)
        listed << p.name;
    for (const QString& name : q.declared()) {
        if (!containsName(listed, name))
            return QLatin1String("query: parameter ") + quoted(name) +
                   QLatin1String(" is declared but not described under \"parameters\"");
        if (!containsName(q.order(), name))
            return QLatin1String("query: parameter ") + quoted(name) +
                   QLatin1String(" is declared but the statement never uses it");
    }
    for (const QString& name : listed) {
        if (!containsName(q.declared(), name))
            return QLatin1String("parameters: ") + quoted(name) +
                   QLatin1String(" is not declared by the query");
    }
    return {};
}

QString placeholderError(const QString& text, const char* key)
{
    static const QRegularExpression pattern(QStringLiteral("\\{[^{}]*\\}"));
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QString found = it.next().captured(0);
        if (!ReportLayout::placeholders().contains(found))
            return QLatin1String(key) + QLatin1String(": unknown placeholder ") + found +
                   QLatin1String("; expected one of ") +
                   ReportLayout::placeholders().join(QLatin1String(", "));
    }
    return {};
}

} // namespace

const QStringList& ReportLayout::placeholders()
{
    static const QStringList names = {QStringLiteral("{title}"), QStringLiteral("{date}"),
                                      QStringLiteral("{page}"), QStringLiteral("{pages}"),
                                      QStringLiteral("{user}")};
    return names;
}

const ReportColumn* ReportLayout::column(const QString& field) const
{
    for (const ReportColumn& c : columns) {
        if (c.field.compare(field, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

QString ReportLayout::validationError() const
{
    if (title.trimmed().isEmpty())
        return QStringLiteral("the layout has no title");
    if (query.trimmed().isEmpty())
        return QStringLiteral("the layout has no query");

    QStringList names;
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        const ReportParameter& p = parameters.at(i);
        if (const QString e = parameterError(p); !e.isEmpty())
            return at("parameters", i) + QLatin1String(": ") + e;
        if (containsName(names, p.name))
            return at("parameters", i) + QLatin1String(": parameter ") + quoted(p.name) +
                   QLatin1String(" is described twice");
        names << p.name;
    }
    if (const QString e = queryError(*this); !e.isEmpty())
        return e;

    if (columns.isEmpty())
        return QStringLiteral("the layout has no columns");
    QStringList fields;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const ReportColumn& c = columns.at(i);
        const QString where = at("columns", i) + QLatin1String(": ");
        if (c.field.trimmed().isEmpty())
            return where + QLatin1String("the column has no field");
        if (containsName(fields, c.field))
            return where + QLatin1String("field ") + quoted(c.field) +
                   QLatin1String(" is shown by more than one column");
        if (c.width < 1 || c.width > kMaxWidth)
            return where + QLatin1String("width must be from 1 to ") + QString::number(kMaxWidth);
        if (c.decimals != -1 &&
            (c.format != ReportFormat::Number || c.decimals < 0 || c.decimals > kMaxDecimals))
            return where + QLatin1String("decimals are for number columns only, from 0 to ") +
                   QString::number(kMaxDecimals);
        fields << c.field;
    }

    QStringList grouped;
    for (qsizetype i = 0; i < grouping.size(); ++i) {
        const ReportGroup& g = grouping.at(i);
        const QString where = at("grouping", i) + QLatin1String(": ");
        if (!column(g.field))
            return where + QLatin1String("field ") + quoted(g.field) +
                   QLatin1String(" is not one of the columns");
        if (containsName(grouped, g.field))
            return where + QLatin1String("field ") + quoted(g.field) +
                   QLatin1String(" is grouped twice");
        grouped << g.field;
    }
    const bool anyFooter =
        std::any_of(grouping.cbegin(), grouping.cend(), [](const auto& g) { return g.footer; });

    for (qsizetype i = 0; i < totals.size(); ++i) {
        const ReportTotal& t = totals.at(i);
        const QString where = at("totals", i) + QLatin1String(": ");
        const ReportColumn* c = column(t.field);
        if (!c)
            return where + QLatin1String("field ") + quoted(t.field) +
                   QLatin1String(" is not one of the columns");
        if ((t.function == ReportFunction::Sum || t.function == ReportFunction::Avg) &&
            c->format != ReportFormat::Number && c->format != ReportFormat::Currency)
            return where + nameOf(kFunctions, t.function) + QLatin1String(" of ") +
                   quoted(t.field) +
                   QLatin1String(" needs a column of format \"number\" or \"currency\"");
        if (t.level == ReportLevel::Group && !anyFooter)
            return where + QLatin1String("a group total needs a group level with a footer");
    }

    if (const QString e = placeholderError(header, "header"); !e.isEmpty())
        return e;
    return placeholderError(footer, "footer");
}

std::optional<ReportLayout> ReportLayout::fromJson(const QByteArray& json, QString* error)
{
    QString problem;
    std::optional<ReportLayout> layout;
    try {
        layout = read(json);
        problem = layout->validationError();
    } catch (const Refusal& r) {
        problem = r.text;
    }
    if (error)
        *error = problem;
    if (!problem.isEmpty())
        return std::nullopt;
    return layout;
}

QByteArray ReportLayout::toJson() const
{
    QJsonObject root;
    root.insert(QLatin1String("format"), formatNeeded());
    root.insert(QLatin1String("title"), title);
    if (!description.isEmpty())
        root.insert(QLatin1String("description"), textOrLinesValue(description));
    root.insert(QLatin1String("orientation"), nameOf(kOrientations, orientation));
    if (style)
        root.insert(QLatin1String("style"), nameOf(kStyles, *style));
    if (!header.isEmpty())
        root.insert(QLatin1String("header"), header);
    if (!footer.isEmpty())
        root.insert(QLatin1String("footer"), footer);

    QJsonArray params;
    for (const ReportParameter& p : parameters) {
        QJsonObject o{{QLatin1String("name"), p.name},
                      {QLatin1String("caption"), p.caption},
                      {QLatin1String("type"), nameOf(kParameterTypes, p.type)},
                      {QLatin1String("ask"), p.ask}};
        if (!p.defaultValue.isEmpty())
            o.insert(QLatin1String("default"), p.defaultValue);
        params.append(o);
    }
    root.insert(QLatin1String("parameters"), params);
    root.insert(QLatin1String("query"), textOrLinesValue(query));

    QJsonArray cols;
    for (const ReportColumn& c : columns) {
        QJsonObject o{{QLatin1String("field"), c.field},
                      {QLatin1String("caption"), c.caption},
                      {QLatin1String("width"), c.width},
                      {QLatin1String("align"), nameOf(kAligns, c.align)},
                      {QLatin1String("format"), formatText(c.format, c.decimals)}};
        if (c.hidden)
            o.insert(QLatin1String("hidden"), true);
        cols.append(o);
    }
    root.insert(QLatin1String("columns"), cols);

    QJsonArray groups;
    for (const ReportGroup& g : grouping)
        groups.append(QJsonObject{{QLatin1String("field"), g.field},
                                  {QLatin1String("caption"), g.caption},
                                  {QLatin1String("header"), g.header},
                                  {QLatin1String("footer"), g.footer}});
    root.insert(QLatin1String("grouping"), groups);

    QJsonArray sums;
    for (const ReportTotal& t : totals)
        sums.append(QJsonObject{{QLatin1String("field"), t.field},
                                {QLatin1String("function"), nameOf(kFunctions, t.function)},
                                {QLatin1String("level"), nameOf(kLevels, t.level)},
                                {QLatin1String("caption"), t.caption}});
    root.insert(QLatin1String("totals"), sums);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

int ReportLayout::formatNeeded() const
{
    const bool currency = std::any_of(columns.cbegin(), columns.cend(), [](const auto& c) {
        return c.format == ReportFormat::Currency;
    });
    return style || currency ? kStyleFormat : 1;
}

void ReportLayout::fillDefaultCaptions()
{
    for (ReportParameter& p : parameters) {
        if (p.caption.isEmpty())
            p.caption = p.name;
    }
    for (ReportColumn& c : columns) {
        if (c.caption.isEmpty())
            c.caption = c.field;
    }
    for (ReportGroup& g : grouping) {
        if (g.caption.isEmpty()) {
            const ReportColumn* shown = column(g.field);
            g.caption = shown ? shown->caption : g.field;
        }
    }
    for (ReportTotal& t : totals) {
        if (t.caption.isEmpty())
            t.caption = functionCaption(t.function);
    }
}

QString ReportLayout::formatText(ReportFormat format, int decimals)
{
    QString text = nameOf(kFormats, format);
    if (format == ReportFormat::Number && decimals >= 0)
        text += QLatin1Char(':') + QString::number(decimals);
    return text;
}

std::optional<std::pair<ReportFormat, int>> ReportLayout::formatOf(const QString& text)
{
    const std::optional<ReportFormat> format =
        valueOf(kFormats, text.section(QLatin1Char(':'), 0, 0));
    if (!format)
        return std::nullopt;
    if (!text.contains(QLatin1Char(':')))
        return std::pair{*format, -1};
    bool ok = false;
    const int decimals = text.section(QLatin1Char(':'), 1).toInt(&ok);
    if (*format != ReportFormat::Number || !ok || decimals < 0 || decimals > kMaxDecimals)
        return std::nullopt;
    return std::pair{*format, decimals};
}

QStringList ReportLayout::formatChoices()
{
    QStringList texts;
    for (const auto& [format, name] : kFormats) {
        texts << QLatin1String(name);
        for (int d = 0; format == ReportFormat::Number && d <= kMaxDecimals; ++d)
            texts << formatText(format, d);
    }
    return texts;
}

QString ReportLayout::styleName(ReportStyle style)
{
    switch (style) {
    case ReportStyle::Compact:
        return QStringLiteral("Compact");
    case ReportStyle::Corporate:
        return QStringLiteral("Corporate");
    case ReportStyle::Formal:
        return QStringLiteral("Formal");
    case ReportStyle::Casual:
        return QStringLiteral("Casual");
    case ReportStyle::SoftGray:
        return QStringLiteral("Soft Gray");
    }
    return {};
}

QVariantMap ReportLayout::defaultValues(const Clock& clock, const QString& userId,
                                        qlonglong workshopId) const
{
    const GmtConverter gmt(clock);
    const QDate today = clock.nowLocal().date();
    QVariantMap values;
    for (const ReportParameter& p : parameters) {
        const QString& d = p.defaultValue;
        if (d.isEmpty())
            continue;
        QVariant value;
        if (d == QLatin1String("today")) {
            value = gmt.toGmt(naive(today));
        } else if (d == QLatin1String("now")) {
            value = gmt.nowGmt();
        } else if (d == QLatin1String("weekStart")) {
            // Weeks start on Monday (dayOfWeek() is 1 for Monday, 7 for Sunday).
            value = gmt.toGmt(naive(today.addDays(1 - today.dayOfWeek())));
        } else if (d == QLatin1String("currentUser")) {
            value = userId;
        } else if (d == QLatin1String("currentWorkshop")) {
            value = workshopId;
        } else if (p.type == ReportParameterType::Number) {
            const double n = d.toDouble();
            if (n == std::floor(n) && std::abs(n) < 9e15)
                value = qlonglong(n);
            else
                value = n;
        } else {
            value = d;
        }
        values.insert(p.name, value);
    }
    return values;
}

} // namespace bx
