#include "core/settings/SearchTables.h"

#include "core/UserRights.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

using namespace bx;
using bx::test::EngineTest;

namespace {

/**
 * A database with a few of the program's own tables, SEARCH_TABLES, and two plug-in tables:
 * PLUGIN_DATA (with replication columns) and "o'brien plug" (a name that needs quoting); on the
 * embedded engine also a full-text index, whose tables are the engine's own.
 */
class SearchTablesTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db().executeScript(
            QStringLiteral(
                "CREATE TABLE SEARCH_TABLES (SCR_Number_Field %1, TableName %1, FieldName %1); "
                "CREATE TABLE SCR (SCR_Number integer, SCR_Title %1); "
                "CREATE TABLE \"group\" (GROUP_ID integer); "
                "CREATE TABLE LOGIN (ID integer); "
                "CREATE TABLE OLAP_REPORT (ID integer); "
                "CREATE TABLE Vars (VarName %1, VarValue %1); "
                "CREATE TABLE PLUGIN_DATA (SCR_No integer, Note %1, s_GUID %1, Extra %1, "
                "s_Generation integer); "
                "CREATE TABLE \"o'brien plug\" (\"task no\" integer, \"it's\" %1)")
                .arg(db().dialect().textType()));
        // A full-text index and its shadow tables are no plug-in tables.
        if (!isServer())
            db().execute(QStringLiteral("CREATE VIRTUAL TABLE TEXT_INDEX USING fts5(Body)"));
        plugin = findTable(QStringLiteral("plugin_data"));
        quoted = findTable(QStringLiteral("o'brien plug"));
        admin.userId = QStringLiteral("admin");
    }

    /** The catalogue's spelling (the server engine folds unquoted names to lower case). */
    QString findTable(const QString& name)
    {
        for (const QString& t : db().tables()) {
            if (t.compare(name, Qt::CaseInsensitive) == 0)
                return t;
        }
        ADD_FAILURE() << "no table " << name.toStdString();
        return {};
    }

    /** The rows of SEARCH_TABLES as "table|number field|field", sorted. */
    QStringList rows()
    {
        QStringList out;
        const RecordSet rs = db().query(
            QStringLiteral("SELECT TableName, SCR_Number_Field, FieldName FROM SEARCH_TABLES"));
        for (const QVariantList& r : rs.rows())
            out << r.at(0).toString() + QLatin1Char('|') + r.at(1).toString() + QLatin1Char('|') +
                       r.at(2).toString();
        out.sort(Qt::CaseInsensitive);
        return out;
    }

    static QStringList lower(QStringList names)
    {
        for (QString& n : names)
            n = n.toLower();
        return names;
    }

    QString plugin;
    QString quoted;
    UserRecord admin;
};

} // namespace

TEST_P(SearchTablesTest, OffersOnlyPlugInTablesAndTheirSearchableFields)
{
    SearchTables search(db(), admin);
    EXPECT_EQ(search.pluginTables(), (QStringList{quoted, plugin}));
    EXPECT_EQ(
        lower(search.fields(plugin)),
        (QStringList{QStringLiteral("scr_no"), QStringLiteral("note"), QStringLiteral("extra")}));
    EXPECT_EQ(search.fields(quoted),
              (QStringList{QStringLiteral("task no"), QStringLiteral("it's")}));
    EXPECT_TRUE(search.fields(QStringLiteral("SCR")).isEmpty());
    EXPECT_TRUE(search.fields(QStringLiteral("no such table")).isEmpty());
    for (const char* own : {"ROUTE", "group", "Login", "time_sheet_route", "sqlite_sequence"})
        EXPECT_TRUE(SearchTables::isProgramTable(QLatin1String(own))) << own;
}

TEST_P(SearchTablesTest, RefusalsComeInOrderAndWriteNothing)
{
    SearchTables search(db(), admin);
    ASSERT_FALSE(search.save(plugin, QStringLiteral("SCR_No"), {QStringLiteral("Note")}));
    const QStringList before = rows();

    const QStringList note{QStringLiteral("Note")};
    EXPECT_EQ(search.save({}, {}, note), SearchTables::kChooseTable);
    EXPECT_EQ(search.save(QStringLiteral("SCR"), QStringLiteral("SCR_Number"), note),
              SearchTables::kChooseTable)
        << "the program's own tables are not plug-in tables";
    EXPECT_EQ(search.save(plugin, QStringLiteral("  "), note), SearchTables::kSpecifyNumberField);
    EXPECT_EQ(search.save(plugin, QStringLiteral("Ticket"), note),
              QStringLiteral("There is no field 'Ticket' in Table '") + plugin +
                  QStringLiteral("'"));
    EXPECT_EQ(search.save(plugin, QStringLiteral("SCR_No"), {QStringLiteral("Nope")}),
              SearchTables::noSuchField(QStringLiteral("Nope"), plugin));
    UserRecord ann;
    ann.userId = QStringLiteral("ann");
    EXPECT_EQ(SearchTables(db(), ann).save(plugin, QStringLiteral("SCR_No"), {}),
              UserRights::kNotAdministrator);
    EXPECT_EQ(rows(), before);
}

TEST_P(SearchTablesTest, SaveReplacesTheTablesRowsInOneTransaction)
{
    db().execute(QStringLiteral("INSERT INTO SEARCH_TABLES VALUES (?, ?, ?), (?, ?, ?)"),
                 {QStringLiteral("old"), plugin.toUpper(), QStringLiteral("gone"),
                  QStringLiteral("task no"), quoted, QStringLiteral("it's")});
    SearchTables search(db(), admin);
    ASSERT_FALSE(
        search.save(plugin.toLower(), QStringLiteral("scr_no"),
                    {QStringLiteral("NOTE"), QStringLiteral("extra"), QStringLiteral("note")}));
    const SearchTableChoice choice = search.load(plugin);
    EXPECT_EQ(lower(choice.fields), (QStringList{QStringLiteral("note"), QStringLiteral("extra")}));
    EXPECT_EQ(choice.scrNumberField.toLower(), QStringLiteral("scr_no"));
    EXPECT_EQ(rows().size(), 3) << "the old row replaced, the other table's row kept";
    EXPECT_TRUE(rows().contains(quoted + QStringLiteral("|task no|it's")));
    EXPECT_TRUE(rows().contains(plugin + QLatin1Char('|') + choice.scrNumberField +
                                QLatin1Char('|') + choice.fields.first()))
        << "names are stored as the catalogue spells them";

    // A failure half-way leaves the previous rows.
    if (isServer())
        db().executeScript(QStringLiteral(
            "CREATE FUNCTION refuse_extra() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "IF lower(NEW.FieldName) = 'extra' THEN RAISE EXCEPTION 'refused'; END IF; "
            "RETURN NEW; END $$; "
            "CREATE TRIGGER refuse_extra BEFORE INSERT ON SEARCH_TABLES "
            "FOR EACH ROW EXECUTE FUNCTION refuse_extra()"));
    else
        db().executeScript(
            QStringLiteral("CREATE TRIGGER refuse_extra BEFORE INSERT ON SEARCH_TABLES "
                           "WHEN NEW.FieldName = 'extra' BEGIN SELECT RAISE(ABORT, 'refused'); "
                           "END"));
    const QStringList before = rows();
    EXPECT_THROW(search.save(plugin, QStringLiteral("SCR_No"),
                             {QStringLiteral("s_GUID"), QStringLiteral("Extra")}),
                 DbError);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(db().transactionDepth(), 0);

    // Nothing chosen and no number field: the table is no longer searched.
    ASSERT_FALSE(search.save(plugin, {}, {}));
    EXPECT_EQ(rows(), QStringList{quoted + QStringLiteral("|task no|it's")});
}

TEST_P(SearchTablesTest, ANameWithAQuoteWorksThroughout)
{
    SearchTables search(db(), admin);
    ASSERT_TRUE(search.pluginTables().contains(quoted));
    ASSERT_FALSE(search.save(quoted, QStringLiteral("TASK NO"), {QStringLiteral("it's")}));
    const SearchTableChoice choice = search.load(quoted);
    EXPECT_EQ(choice.fields, QStringList{QStringLiteral("it's")});
    EXPECT_EQ(choice.scrNumberField, QStringLiteral("task no"));
    EXPECT_EQ(search.save(quoted, QStringLiteral("task no"), {QStringLiteral("it''s")}),
              QStringLiteral("There is no field 'it''s' in Table 'o'brien plug'"));
}

BX_INSTANTIATE_ENGINES(SearchTablesTest);
