#include "reports/ReportLayout.h"

#include "support/FixedClock.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;

namespace {

/** The delivered layouts in the source tree; the tests run from build/<preset>/bin. */
QString reportsDir()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../../../data/reports"_s);
}

struct Delivered
{
    QString file;
    ReportLayout layout;
};

QList<Delivered> deliveredReports()
{
    QList<Delivered> out;
    if (!QDir(reportsDir()).exists()) {
        ADD_FAILURE() << "The standard reports were not found at " << reportsDir().toStdString()
                      << "; the tests expect the repository's data/reports three folders above "
                         "the test executable.";
        return out;
    }
    for (int i = 1; i <= 9; ++i) {
        const QString name = QString::number(i) + u".rpx"_s;
        QFile f(reportsDir() + u'/' + name);
        if (!f.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << f.fileName().toStdString();
            continue;
        }
        QString error;
        const std::optional<ReportLayout> layout = ReportLayout::fromJson(f.readAll(), &error);
        if (!layout) {
            ADD_FAILURE() << name.toStdString() << ": " << error.toStdString();
            continue;
        }
        out.append({name, *layout});
    }
    return out;
}

} // namespace

TEST(StandardReports, HideTemplatesAndOtherUsersSensitiveTasks)
{
    const QString templates = u"COALESCE(SCR.SCR_Template, 0) = 0"_s;
    const QString sensitive =
        u"(COALESCE(SCR.SCR_Sensitive, 0) = 0 OR SCR.SCR_Owner_User_ID = [pUser] OR "
        "SCR.SCR_Request_ID = [pUser])"_s;
    for (const Delivered& r : deliveredReports()) {
        SCOPED_TRACE(r.file.toStdString());
        const QString query = r.layout.query.simplified();
        EXPECT_TRUE(query.contains(templates));
        EXPECT_TRUE(query.contains(sensitive));
        const auto user = std::find_if(r.layout.parameters.cbegin(), r.layout.parameters.cend(),
                                       [](const auto& p) { return p.name == u"pUser"_s; });
        ASSERT_NE(user, r.layout.parameters.cend());
        EXPECT_EQ(user->type, ReportParameterType::User);
        EXPECT_EQ(user->defaultValue, u"currentUser"_s);
        EXPECT_FALSE(user->ask);
    }
}

// The layout breaks groups where a value changes, so the query must sort by the group fields first.
TEST(StandardReports, SortByTheirGroupFieldsFirst)
{
    for (const Delivered& r : deliveredReports()) {
        SCOPED_TRACE(r.file.toStdString());
        const QString sql = r.layout.parameterQuery().sql();
        const qsizetype orderBy = sql.lastIndexOf(u"ORDER BY"_s, -1, Qt::CaseInsensitive);
        ASSERT_GE(orderBy, 0);
        const QStringList keys = sql.mid(orderBy + 8).split(u',');
        ASSERT_GE(keys.size(), r.layout.grouping.size());
        for (qsizetype i = 0; i < r.layout.grouping.size(); ++i) {
            const QString key = keys.at(i).trimmed().section(u'.', -1);
            EXPECT_EQ(key.compare(r.layout.grouping.at(i).field, Qt::CaseInsensitive), 0)
                << key.toStdString();
        }
    }
}

namespace {

QJsonObject validLayout()
{
    return QJsonDocument::fromJson(R"({
      "format": 1,
      "title": "Open work",
      "parameters": [
        {"name": "pUser", "type": "user", "default": "currentUser", "ask": false},
        {"name": "pSince", "caption": "Since", "type": "date", "default": "weekStart"}
      ],
      "query": ["PARAMETERS pUser Text, pSince DateTime;",
                "SELECT SCR_Owner_User_ID, SCR_Number, SCR_Title, SCR_Percent_Complete FROM SCR",
                "WHERE SCR_Owner_User_ID = [pUser] AND SCR_StartDate >= [pSince]",
                "ORDER BY SCR_Owner_User_ID"],
      "columns": [
        {"field": "SCR_Owner_User_ID", "caption": "Owner", "hidden": true},
        {"field": "SCR_Number", "caption": "ID", "align": "right", "format": "number:0"},
        {"field": "SCR_Title", "caption": "Title", "width": 40},
        {"field": "SCR_Percent_Complete", "caption": "Done", "format": "number"}
      ],
      "grouping": [{"field": "SCR_Owner_User_ID", "footer": true}],
      "totals": [{"field": "SCR_Number", "function": "count", "level": "group"},
                 {"field": "SCR_Percent_Complete", "function": "avg"}],
      "footer": "{title}: page {page} of {pages}"
    })")
        .object();
}

QByteArray toBytes(const QJsonObject& o)
{
    return QJsonDocument(o).toJson();
}

QJsonObject withEntry(QJsonObject root, const char* list, int index, const char* key,
                      const QJsonValue& value)
{
    QJsonArray array = root.value(QLatin1String(list)).toArray();
    QJsonObject entry = array.at(index).toObject();
    if (value.isUndefined())
        entry.remove(QLatin1String(key));
    else
        entry.insert(QLatin1String(key), value);
    array.replace(index, entry);
    root.insert(QLatin1String(list), array);
    return root;
}

QJsonObject withKey(QJsonObject root, const char* key, const QJsonValue& value)
{
    if (value.isUndefined())
        root.remove(QLatin1String(key));
    else
        root.insert(QLatin1String(key), value);
    return root;
}

QJsonObject withQuery(const char* text)
{
    return withKey(validLayout(), "query", QLatin1String(text));
}

} // namespace

TEST(ReportLayout, ReadsAValidLayoutWithItsDefaults)
{
    QString error = u"stale"_s;
    const std::optional<ReportLayout> layout =
        ReportLayout::fromJson(toBytes(validLayout()), &error);
    ASSERT_TRUE(layout) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(layout->query.count(u'\n'), 3);
    EXPECT_EQ(layout->parameters.at(0).caption, u"pUser"_s);
    EXPECT_EQ(layout->columns.at(0).width, 12);
    EXPECT_EQ(layout->columns.at(1).decimals, 0);
    EXPECT_EQ(layout->columns.at(3).decimals, -1);
    EXPECT_EQ(layout->grouping.at(0).caption, u"Owner"_s); // the column's caption
    EXPECT_TRUE(layout->grouping.at(0).header);
    EXPECT_EQ(layout->totals.at(1).level, ReportLevel::Report);
    EXPECT_EQ(layout->orientation, ReportOrientation::Portrait);
    // Result columns come back in lower case from the server engine.
    EXPECT_EQ(layout->column(u"scr_title"_s), &layout->columns.at(2));
}

TEST(ReportLayout, RoundTripsEveryFeature)
{
    ReportLayout l;
    l.title = u"Hours \"by\" person"_s;
    l.description = u"first line\nsecond line"_s;
    l.query = u"PARAMETERS pMin Double, pName Text;\nSELECT a, b FROM T\n"
              "WHERE a > [pMin] AND b = [pName]"_s;
    l.parameters = {{u"pMin"_s, u"At least"_s, ReportParameterType::Number, u"2.5"_s, true},
                    {u"pName"_s, u"Name"_s, ReportParameterType::Text, QString(), true}};
    l.columns = {{u"a"_s, u"A"_s, 9, ReportAlign::Center, ReportFormat::Number, 6,
                  false}, // the most decimals allowed
                 {u"b"_s, u"B"_s, 30, ReportAlign::Right, ReportFormat::DateTime, -1, true}};
    l.grouping = {{u"b"_s, u"When"_s, false, true}};
    l.totals = {{u"a"_s, ReportFunction::Sum, ReportLevel::Group, u"S"_s},
                {u"b"_s, ReportFunction::Max, ReportLevel::Report, u"Last"_s}};
    l.orientation = ReportOrientation::Landscape;
    l.header = u"{title} for {user}"_s;
    l.footer = u"{date} {page}/{pages}"_s;
    ASSERT_EQ(l.validationError(), QString());

    QString error;
    const std::optional<ReportLayout> again = ReportLayout::fromJson(l.toJson(), &error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_TRUE(*again == l);
}

TEST(ReportLayout, RefusesFaultyLayoutsWithAClearReason)
{
    struct Case
    {
        const char* what;
        QByteArray json;
        const char* expected;
    };
    const Case cases[] = {
        {"bad JSON", QByteArrayLiteral("{\"format\": 1, \"title\": "), "not valid JSON"},
        {"no format", toBytes(withKey(validLayout(), "format", QJsonValue::Undefined)),
         "no format number"},
        {"newer format", toBytes(withKey(validLayout(), "format", 3)),
         "format 3, newer than this program reads (2)"},
        // The number is checked before the keys: a newer file may hold keys unknown here.
        {"newer format with a new key",
         toBytes(withKey(withKey(validLayout(), "format", 3), "watermark", "x"_L1)),
         "format 3, newer than this program reads (2)"},
        {"style in format 1", toBytes(withKey(validLayout(), "style", "formal"_L1)),
         "style needs a layout of format 2"},
        {"currency in format 1",
         toBytes(withEntry(validLayout(), "columns", 3, "format", "currency"_L1)),
         "columns[3]: format \"currency\" needs a layout of format 2"},
        {"unknown style",
         toBytes(withKey(withKey(validLayout(), "format", 2), "style", "Fancy"_L1)),
         "unknown style \"Fancy\"; expected compact, corporate, formal, casual or softGray"},
        {"misspelt key", toBytes(withKey(validLayout(), "colums", QJsonArray())),
         "unknown key \"colums\""},
        {"missing title", toBytes(withKey(validLayout(), "title", QJsonValue::Undefined)),
         "no title"},
        {"missing query", toBytes(withKey(validLayout(), "query", QJsonValue::Undefined)),
         "no query"},
        {"duplicate column",
         toBytes(withEntry(validLayout(), "columns", 2, "field", "scr_number"_L1)),
         "columns[2]: field \"scr_number\" is shown by more than one column"},
        {"unknown align", toBytes(withEntry(validLayout(), "columns", 1, "align", "middle"_L1)),
         "columns[1]: unknown align \"middle\"; expected left, right or center"},
        {"unknown format", toBytes(withEntry(validLayout(), "columns", 1, "format", "money"_L1)),
         "columns[1]: unknown format \"money\""},
        {"too many decimals",
         toBytes(withEntry(validLayout(), "columns", 1, "format", "number:9"_L1)), "N from 0 to 6"},
        {"total on unknown column",
         toBytes(withEntry(validLayout(), "totals", 0, "field", "Hours"_L1)),
         "totals[0]: field \"Hours\" is not one of the columns"},
        {"unknown function",
         toBytes(withEntry(validLayout(), "totals", 0, "function", "median"_L1)),
         "totals[0]: unknown function \"median\"; expected sum, count, avg, min or max"},
        {"sum of text",
         toBytes(withEntry(withEntry(validLayout(), "totals", 0, "function", "sum"_L1), "totals", 0,
                           "field", "SCR_Title"_L1)),
         "totals[0]: sum of \"SCR_Title\" needs a column of format \"number\""},
        {"group total without footer",
         toBytes(withEntry(validLayout(), "grouping", 0, "footer", false)),
         "totals[0]: a group total needs a group level with a footer"},
        {"grouping on unknown column",
         toBytes(withEntry(validLayout(), "grouping", 0, "field", "Owner"_L1)),
         "grouping[0]: field \"Owner\" is not one of the columns"},
        {"default of another type",
         toBytes(withEntry(validLayout(), "parameters", 1, "default", "currentUser"_L1)),
         "parameters[1]: default \"currentUser\" does not suit a parameter of type date"},
        {"unknown date default",
         toBytes(withEntry(validLayout(), "parameters", 1, "default", "yesterday"_L1)),
         "parameters[1]: unknown default \"yesterday\""},
        {"silent parameter without default",
         toBytes(withEntry(validLayout(), "parameters", 0, "default", QJsonValue::Undefined)),
         "parameters[0]: a parameter that is not asked for needs a default"},
        {"parameter described twice",
         toBytes(withEntry(validLayout(), "parameters", 1, "name", "PUSER"_L1)),
         "parameters[1]: parameter \"PUSER\" is described twice"},
        {"declared but not described",
         toBytes(withQuery("PARAMETERS pUser Text, pSince DateTime, pTo DateTime; SELECT 1 FROM "
                           "SCR WHERE a = [pUser] AND b > [pSince] AND b < [pTo]")),
         "query: parameter \"pTo\" is declared but not described under \"parameters\""},
        {"described but not declared",
         toBytes(withQuery("PARAMETERS pUser Text; SELECT 1 FROM SCR WHERE a = [pUser]")),
         "parameters: \"pSince\" is not declared by the query"},
        {"declared but unused",
         toBytes(withQuery("PARAMETERS pUser Text, pSince DateTime; SELECT 1 FROM SCR "
                           "WHERE a = [pUser]")),
         "query: parameter \"pSince\" is declared but the statement never uses it"},
        {"undeclared marker",
         toBytes(withQuery("PARAMETERS pUser Text, pSince DateTime; SELECT 1 FROM SCR WHERE "
                           "a = [pUser] AND b > [pSince] AND c = [pOther]")),
         "a [name] in the statement is not declared"},
        {"declaration without statement", toBytes(withQuery("PARAMETERS pUser Text, pSince Date")),
         "no statement after the PARAMETERS declaration"},
        {"unknown placeholder", toBytes(withKey(validLayout(), "footer", "{title} at {time}"_L1)),
         "footer: unknown placeholder {time}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_FALSE(ReportLayout::fromJson(c.json, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << error.toStdString();
    }
}

// A bracket inside a quoted literal is text, not a marker: it neither counts nor is refused.
TEST(ReportLayout, AcceptsBracketsInsideQuotedText)
{
    const QJsonObject root =
        withQuery("PARAMETERS pUser Text, pSince DateTime; SELECT 1 FROM SCR WHERE a = [pUser] "
                  "AND b > [pSince] AND SCR_Title LIKE '[draft]%'");
    QString error;
    EXPECT_TRUE(ReportLayout::fromJson(toBytes(root), &error)) << error.toStdString();
}

TEST(ReportLayout, DefaultValuesAreGmtMomentsAndSessionValues)
{
    struct Case
    {
        QDateTime local;
        int offset;
        QDateTime today;     // GMT
        QDateTime weekStart; // GMT
    };
    const auto at = [](int y, int m, int d, int h = 0, int mi = 0) {
        return naive(QDate(y, m, d), QTime(h, mi));
    };
    const Case cases[] = {
        // Wednesday, at GMT.
        {at(2024, 1, 31, 14, 5), 0, at(2024, 1, 31), at(2024, 1, 29)},
        // Sunday belongs to the week that began on Monday; an hour east of GMT.
        {at(2024, 3, 3, 1, 30), 3600, at(2024, 3, 2, 23), at(2024, 2, 25, 23)},
        // Monday is its own week's start; west of GMT, across the year's end.
        {at(2024, 12, 30, 8), -5 * 3600, at(2024, 12, 30, 5), at(2024, 12, 30, 5)},
        {at(2025, 1, 1, 23, 59), -5 * 3600, at(2025, 1, 1, 5), at(2024, 12, 30, 5)},
    };
    ReportLayout l;
    l.parameters = {
        {u"pToday"_s, {}, ReportParameterType::Date, u"today"_s, true},
        {u"pWeek"_s, {}, ReportParameterType::Date, u"weekStart"_s, true},
        {u"pNow"_s, {}, ReportParameterType::Date, u"now"_s, true},
        {u"pUser"_s, {}, ReportParameterType::User, u"currentUser"_s, false},
        {u"pWs"_s, {}, ReportParameterType::Workshop, u"currentWorkshop"_s, false},
        {u"pRate"_s, {}, ReportParameterType::Number, u"2.5"_s, true},
        {u"pDays"_s, {}, ReportParameterType::Number, u"7"_s, true},
        {u"pName"_s, {}, ReportParameterType::Text, QString(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.local.toString(Qt::ISODate).toStdString());
        const FixedClock clock(c.local, c.offset);
        const QVariantMap v = l.defaultValues(clock, u"ann"_s, 42);
        EXPECT_EQ(v.value(u"pToday"_s).toDateTime(), c.today);
        EXPECT_EQ(v.value(u"pWeek"_s).toDateTime(), c.weekStart);
        EXPECT_EQ(v.value(u"pNow"_s).toDateTime(), c.local.addSecs(-c.offset));
        EXPECT_EQ(v.value(u"pUser"_s), QVariant(u"ann"_s));
        EXPECT_EQ(v.value(u"pWs"_s), QVariant(qlonglong(42)));
        EXPECT_EQ(v.value(u"pRate"_s), QVariant(2.5));
        EXPECT_EQ(v.value(u"pDays"_s), QVariant(qlonglong(7)));
        EXPECT_FALSE(v.contains(u"pName"_s));
    }
}

// Format 2 adds the style and the currency format; a layout without them stays readable by the
// programs that know format 1 only.
TEST(ReportLayout, WritesTheOldestFormatThatHoldsIt)
{
    struct Case
    {
        const char* what;
        std::optional<ReportStyle> style;
        ReportFormat lastFormat;
        int written;
    };
    const Case cases[] = {
        {"neither", std::nullopt, ReportFormat::Number, 1},
        {"a style", ReportStyle::SoftGray, ReportFormat::Number, 2},
        {"a currency column", std::nullopt, ReportFormat::Currency, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ReportLayout> layout = ReportLayout::fromJson(toBytes(validLayout()));
        ASSERT_TRUE(layout);
        layout->style = c.style;
        layout->columns.last().format = c.lastFormat;
        const QByteArray json = layout->toJson();
        EXPECT_EQ(QJsonDocument::fromJson(json).object().value("format"_L1).toInt(), c.written);
        QString error;
        const std::optional<ReportLayout> again = ReportLayout::fromJson(json, &error);
        ASSERT_TRUE(again) << error.toStdString();
        EXPECT_TRUE(*again == *layout);
    }
}

// The format list a column is chosen from holds exactly the texts a file may carry.
TEST(ReportLayout, OffersEveryColumnFormatItReads)
{
    const QStringList choices = ReportLayout::formatChoices();
    EXPECT_EQ(choices.size(), 13);
    for (const QString& text : choices) {
        SCOPED_TRACE(text.toStdString());
        const auto format = ReportLayout::formatOf(text);
        ASSERT_TRUE(format);
        EXPECT_EQ(ReportLayout::formatText(format->first, format->second), text);
    }
    for (const char* refused : {"number:7", "number:-1", "date:2", "number:", "money", ""})
        EXPECT_FALSE(ReportLayout::formatOf(QString::fromLatin1(refused))) << refused;
}
