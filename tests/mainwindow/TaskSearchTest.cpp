#include "mainwindow/TaskSearch.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

constexpr qlonglong kShop = 7;
constexpr qlonglong kForeignShop = 8;
const QDate kToday(2024, 1, 31);

QDateTime at(int y, int mo, int d)
{
    return naive(QDate(y, mo, d));
}

/** What the Find dialog asks for. */
struct Pattern
{
    const char* title;
    const char* custom = "";
    bool comments = false;
    const char* statuses = "";
};

// Checks of the dialog's input; no database needed.
TEST(FindInputTest, RefusesWithTheDialogsMessages)
{
    struct Case
    {
        const char* title;
        const char* custom;
        SearchPeriodKind kind;
        const char* number;
        QString message;
    };
    const Case cases[] = {
        {"[ab]c", "", SearchPeriodKind::AnyDate, "",
         u"Please define another Pattern of Task Title to Search."_s},
        {"x", "a[1]", SearchPeriodKind::AnyDate, "",
         u"Please define another Pattern for Custom Field to Search"_s},
        {"  ", " ", SearchPeriodKind::AnyDate, "",
         u"Please specify a Task Title or Custom Field"_s},
        {"x", "", SearchPeriodKind::LastMonths, "", u"Please specify Number of Months"_s},
        {"x", "", SearchPeriodKind::LastDays, "two", u"Please specify Number of Days"_s},
        {"x", "", SearchPeriodKind::Range, "", u"Start Date is more then the End one."_s},
        {"[only one bracket", "", SearchPeriodKind::AnyDate, "", QString()},
    };
    for (const Case& c : cases) {
        FindInput in;
        in.title = QString::fromUtf8(c.title);
        in.custom = QString::fromUtf8(c.custom);
        in.period.kind = c.kind;
        in.period.months = in.period.days = QString::fromUtf8(c.number);
        in.period.from = kToday;
        in.period.to = kToday.addDays(-1);
        const FindCheck check = checkFindInput(in, kToday);
        EXPECT_EQ(check.message, c.message) << c.title << "|" << c.custom;
        EXPECT_EQ(check.options.has_value(), c.message.isEmpty()) << c.title;
    }
}

TEST(FindInputTest, ComputesThePeriodAndTrimsThePatterns)
{
    FindInput in;
    in.title = u"  O'Brien*  "_s;
    in.statuses = u"xa?"_s;
    in.period.kind = SearchPeriodKind::AnyDate;
    const FindCheck any = checkFindInput(in, kToday);
    ASSERT_TRUE(any.options);
    EXPECT_EQ(any.options->titlePattern, u"O'Brien*"_s);
    EXPECT_EQ(any.options->statuses, u"AX"_s);
    EXPECT_TRUE(any.options->searchMode);
    EXPECT_EQ(any.options->from, QDate(1974, 1, 31));
    EXPECT_EQ(any.options->to, QDate(2034, 1, 31));

    in.period = {SearchPeriodKind::LastMonths, u"2"_s, {}, {}, {}};
    EXPECT_EQ(checkFindInput(in, kToday).options->from, QDate(2023, 11, 30));
    in.period = {SearchPeriodKind::LastDays, {}, u"10"_s, {}, {}};
    EXPECT_EQ(checkFindInput(in, kToday).options->from, QDate(2024, 1, 21));
}

class TaskSearchTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        clock.set(naive(kToday, QTime(14, 5)));
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carl"_s, u"O'Brien"_s});
        db().execute(u"INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, ?)"_s,
                     {u"gone"_s, db().dialect().trueValue()});
        for (qlonglong g : {kShop, kForeignShop})
            test::addWorkshop(db(), g);
        // ann is listed twice in her workshop: her tasks must still come once.
        test::addMembers(db(), kShop, {u"ann"_s, u"ann"_s, u"bob"_s, u"carl"_s});
    }

    qlonglong addTask(const QString& title, const QVariantMap& columns = {})
    {
        return test::addTaskRow(db(),
                                {{u"SCR_Title"_s, title},
                                 {u"SCR_Owner_User_ID"_s, u"bob"_s},
                                 {u"SCR_Request_ID"_s, u"carl"_s},
                                 {u"SCR_StartDate"_s, at(2023, 6, 1)}},
                                columns);
    }

    static SearchOptions options(const Pattern& p)
    {
        FindInput in;
        in.title = QString::fromUtf8(p.title);
        in.custom = QString::fromUtf8(p.custom);
        in.period.kind = SearchPeriodKind::AnyDate;
        SearchOptions o = *checkFindInput(in, kToday).options;
        o.comments = p.comments;
        o.statuses = QString::fromLatin1(p.statuses);
        return o;
    }

    /** The titles found, in order, each with its matching attachment titles after " / ". */
    QStringList found(SearchOptions o, std::optional<DbError>* error = nullptr)
    {
        const SearchResult result = runTaskSearch(session, o);
        EXPECT_FALSE(o.searchMode) << "the run clears search mode";
        if (error)
            *error = result.error;
        else
            EXPECT_FALSE(result.error) << result.error->text().toStdString();
        QStringList out;
        for (const SearchHit& hit : result.hits) {
            QString line = hit.text(scr::Title);
            for (const QString& a : hit.attachmentTitles)
                line += u" / "_s + a;
            out << line;
        }
        return out;
    }
};

// Patterns of three characters and more are answered by the fast index, shorter ones and those
// holding LIKE's own characters by LIKE: both must give the same answers. Apostrophes are searched
// literally, and accented letters match in either case, as the server's text type compares.
TEST_P(TaskSearchTest, PatternsMatchTitlesCommentsAndCustomField)
{
    const auto add = [&](const char* title, const char* column = nullptr, const char* value = "") {
        QVariantMap columns;
        if (column)
            columns.insert(QString::fromLatin1(column), QString::fromUtf8(value));
        addTask(QString::fromUtf8(title), columns);
    };
    add("Budget", "SCR_Custom_Field", "k-77-z");
    add("Budget review", "SCR_Comments_AsText", "see the old plan");
    add("Old budget", "SCR_Status", "C");
    add("100% done");
    add("1000 done");
    add("a_c");
    add("abc");
    addTask(u"Budget"_s, {{u"SCR_Group_ID"_s, kForeignShop}});
    add("O'Brien's plan", "SCR_Custom_Field", "it's");
    add("OBriens plan", "SCR_Custom_Field", "its");
    add("Zoë's 50% cut", "SCR_Custom_Field", "ÆRØ-1");
    add("Zoe's cut");

    const std::pair<Pattern, const char*> cases[] = {
        // titles found in order, "|" between them
        {{"BUDGET*"}, "Budget|Budget review"},
        {{"*get*"}, "Budget|Budget review|Old budget"},
        {{"*get*", "", false, "A"}, "Budget|Budget review"},
        {{"bu*"}, "Budget|Budget review"},
        {{"", "77"}, "Budget"},
        {{"", "K-77"}, "Budget"},
        {{"budget", "77"}, "Budget"},
        {{"budget", "78"}, ""},
        {{"old*", "", true}, "Budget review|Old budget"},
        {{"OLD PLAN", "", true}, "Budget review"},
        {{"OLD PLAN"}, ""},
        {{"100%*"}, "100% done"},
        {{"a_c"}, "a_c"},
        {{"o'brien's*"}, "O'Brien's plan"},
        {{"", "'"}, "O'Brien's plan"},
        {{"ZOË*"}, "Zoë's 50% cut"},
        {{"*ZOË'S 50%*"}, "Zoë's 50% cut"},
        {{"", "ærø"}, "Zoë's 50% cut"},
    };
    for (const auto& [pattern, expected] : cases)
        EXPECT_EQ(found(options(pattern)).join(QLatin1Char('|')), QString::fromUtf8(expected))
            << pattern.title << "|" << pattern.custom;
}

// The embedded engine must look the patterns up in its trigram table (the LIKE reaching the table,
// "L" in its plan) and fetch the tasks by number as its first step: reading the workshop's tasks
// through instead gives the same answers, about sixty times slower on a large workshop.
TEST_P(TaskSearchTest, EmbeddedSearchStartsFromTheTrigramTable)
{
    if (isServer())
        GTEST_SKIP() << "the server's planner picks its trigram indexes by the table's size";
    const Pattern cases[] = {
        {"*budget*", "", true}, {"budget*"}, {"", "k-77"}, {"bud*", "77-z", true, "AC"}};
    const QRegularExpression trigramLookUp(u"SCR_SEARCH VIRTUAL TABLE INDEX \\d+:L"_s);
    const QRegularExpression tasksByNumber(
        u"^SEARCH SCR USING (COVERING )?INDEX \\S+ \\(SCR_Number=\\?\\)"_s);
    for (const Pattern& c : cases) {
        const TaskCriteria statement = taskSearchStatement(session, options(c));
        const RecordSet plan =
            session.db().query(u"EXPLAIN QUERY PLAN "_s + statement.sql, statement.params);
        QStringList steps;
        for (const QVariantList& row : plan.rows())
            steps << row.constLast().toString();
        const QString text = steps.join(QLatin1Char('\n'));
        EXPECT_TRUE(text.contains(trigramLookUp)) << c.title << "|" << c.custom << "\n"
                                                  << text.toStdString();
        EXPECT_TRUE(text.contains(tasksByNumber)) << c.title << "|" << c.custom << "\n"
                                                  << text.toStdString();
    }
}

TEST_P(TaskSearchTest, ThePeriodLeavesOutTasksWithoutTheDate)
{
    addTask(u"dated plan"_s);
    addTask(u"undated plan"_s, {{u"SCR_StartDate"_s, QVariant()}});
    addTask(u"recent plan"_s, {{u"SCR_StartDate"_s, at(2024, 1, 31)}});
    EXPECT_EQ(found(options({"*plan"})), (QStringList{u"dated plan"_s, u"recent plan"_s}));

    SearchOptions lastDays = options({"*plan"});
    lastDays.from = kToday.addDays(-10);
    lastDays.to = kToday;
    EXPECT_EQ(found(lastDays), QStringList{u"recent plan"_s}) << "the last day counts";
}

TEST_P(TaskSearchTest, SensitiveTasksOnlyForOwnerAndRequester)
{
    addTask(u"secret plan"_s,
            {{u"SCR_Sensitive"_s, db().dialect().trueValue()}, {u"SCR_Owner_User_ID"_s, u"BOB"_s}});
    addTask(u"open plan"_s, {{u"SCR_Owner_User_ID"_s, u"gone"_s}});
    SearchOptions o = options({"*plan"});
    o.attachments = true;
    struct Case
    {
        const char* user;
        QStringList expected;
    };
    const Case cases[] = {{"ann", {u"open plan"_s}},
                          {"bob", {u"secret plan"_s, u"open plan"_s}},
                          {"Carl", {u"secret plan"_s, u"open plan"_s}}};
    for (const Case& c : cases) {
        session.user.userId = QString::fromUtf8(c.user);
        EXPECT_EQ(found(o), c.expected) << c.user;
    }
    session.user.userId = u"ann"_s;
    const SearchResult result = runTaskSearch(session, o);
    ASSERT_EQ(result.hits.size(), 1);
    EXPECT_TRUE(result.hits.first().ownerDisabled);
    EXPECT_FALSE(result.hits.first().requesterDisabled);
}

// Attachment hits carry the matching titles; a task found twice is listed once.
TEST_P(TaskSearchTest, AttachmentTitlesAreSearched)
{
    const qlonglong a = addTask(u"Report"_s);
    const qlonglong b = addTask(u"Other task"_s);
    const auto attach = [&](qlonglong task, const QString& title) {
        test::addAttachment(db(), task, {{u"Attach_Title"_s, title}, {u"Attach_Type"_s, u"F"_s}});
    };
    attach(a, u"Report draft"_s);
    attach(b, u"old REPORT.txt"_s);
    attach(b, u"unrelated"_s);
    SearchOptions o = options({"report"});
    o.attachments = true;
    EXPECT_EQ(found(o),
              (QStringList{u"Report / Report draft"_s, u"Other task / old REPORT.txt"_s}));
}

TEST_P(TaskSearchTest, ExtraTablesAreSearchedAndAMissingTableKeepsEarlierHits)
{
    db().executeScript(
        u"CREATE TABLE \"Plug O'Data\" (TaskNo integer, Note %1)"_s.arg(db().dialect().textType()));
    const QString plugin = [this] {
        for (const QString& t : db().tables())
            if (t.startsWith(QLatin1String("plug"), Qt::CaseInsensitive))
                return t;
        return QString();
    }();
    const qlonglong t = addTask(u"Plain"_s);
    addTask(u"Note"_s);
    db().execute(u"INSERT INTO \"Plug O'Data\" (TaskNo, Note) VALUES (?, ?)"_s, {t, u"a note"_s});
    const QString insert =
        u"INSERT INTO SEARCH_TABLES (TableName, SCR_Number_Field, FieldName) VALUES (?, ?, ?)"_s;
    db().execute(insert, {plugin, u"taskno"_s, u"NOTE"_s});
    SearchOptions o = options({"*note"});
    o.extraTables = true;
    EXPECT_EQ(found(o), (QStringList{u"Note"_s, u"Plain"_s}));

    db().execute(insert, {u"Missing"_s, u"n"_s, u"x"_s});
    std::optional<DbError> error;
    EXPECT_EQ(found(o, &error), (QStringList{u"Note"_s, u"Plain"_s}));
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->text().contains(isServer() ? u"relation \"Missing\" does not exist"_s
                                                  : u"no such table: Missing"_s))
        << error->text().toStdString();

    db().execute(u"DELETE FROM SEARCH_TABLES WHERE TableName = ?"_s, {u"Missing"_s});
    db().execute(insert, {plugin, u"TaskNo"_s, u"Nope"_s});
    found(o, &error);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->text().contains(u"Nope"_s)) << error->text().toStdString();
}

BX_INSTANTIATE_ENGINES(TaskSearchTest);

} // namespace
