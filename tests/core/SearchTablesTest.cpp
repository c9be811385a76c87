#include "core/settings/SearchTables.h"

#include "core/UserRights.h"
#include "support/EngineFixture.h"
#include "support/RefuseInserts.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
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
    void arrange() override
    {
        db().executeScript(
            u"CREATE TABLE SEARCH_TABLES (SCR_Number_Field %1, TableName %1, FieldName %1); "
            "CREATE TABLE SCR (SCR_Number integer, SCR_Title %1); "
            "CREATE TABLE \"group\" (GROUP_ID integer); CREATE TABLE LOGIN (ID integer); "
            "CREATE TABLE OLAP_REPORT (ID integer); CREATE TABLE Vars (VarName %1, VarValue %1); "
            "CREATE TABLE PLUGIN_DATA (SCR_No integer, Note %1, s_GUID %1, Extra %1, "
            "s_Generation integer); "
            "CREATE TABLE \"o'brien plug\" (\"task no\" integer, \"it's\" %1)"_s.arg(
                db().dialect().textType()));
        // A full-text index and its shadow tables are no plug-in tables.
        if (!isServer())
            db().execute(u"CREATE VIRTUAL TABLE TEXT_INDEX USING fts5(Body)"_s);
        plugin = findTable(u"plugin_data"_s);
        quoted = findTable(u"o'brien plug"_s);
        admin.userId = u"admin"_s;
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
        const RecordSet rs =
            db().query(u"SELECT TableName, SCR_Number_Field, FieldName FROM SEARCH_TABLES"_s);
        for (const QVariantList& r : rs.rows())
            out << r.at(0).toString() + u'|' + r.at(1).toString() + u'|' + r.at(2).toString();
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
    EXPECT_EQ(lower(search.fields(plugin)), (QStringList{u"scr_no"_s, u"note"_s, u"extra"_s}));
    EXPECT_EQ(search.fields(quoted), (QStringList{u"task no"_s, u"it's"_s}));
    EXPECT_TRUE(search.fields(u"SCR"_s).isEmpty());
    EXPECT_TRUE(search.fields(u"no such table"_s).isEmpty());
    for (const char* own : {"ROUTE", "group", "Login", "time_sheet_route", "sqlite_sequence"})
        EXPECT_TRUE(SearchTables::isProgramTable(QLatin1String(own))) << own;
}

TEST_P(SearchTablesTest, RefusalsComeInOrderAndWriteNothing)
{
    SearchTables search(db(), admin);
    ASSERT_FALSE(search.save(plugin, u"SCR_No"_s, {u"Note"_s}));
    const QStringList before = rows();

    const QStringList note{u"Note"_s};
    EXPECT_EQ(search.save({}, {}, note), SearchTables::kChooseTable);
    EXPECT_EQ(search.save(u"SCR"_s, u"SCR_Number"_s, note), SearchTables::kChooseTable)
        << "the program's own tables are not plug-in tables";
    EXPECT_EQ(search.save(plugin, u"  "_s, note),
              u"Please specify SCR_Number Field in Plug-in Table."_s);
    EXPECT_EQ(search.save(plugin, u"Ticket"_s, note),
              u"There is no field 'Ticket' in Table '"_s + plugin + u"'"_s);
    EXPECT_EQ(search.save(plugin, u"SCR_No"_s, {u"Nope"_s}),
              SearchTables::noSuchField(u"Nope"_s, plugin));
    UserRecord ann;
    ann.userId = u"ann"_s;
    EXPECT_EQ(SearchTables(db(), ann).save(plugin, u"SCR_No"_s, {}), UserRights::kNotAdministrator);
    EXPECT_EQ(rows(), before);
}

TEST_P(SearchTablesTest, SaveReplacesTheTablesRowsInOneTransaction)
{
    db().execute(u"INSERT INTO SEARCH_TABLES VALUES (?, ?, ?), (?, ?, ?)"_s,
                 {u"old"_s, plugin.toUpper(), u"gone"_s, u"task no"_s, quoted, u"it's"_s});
    SearchTables search(db(), admin);
    ASSERT_FALSE(search.save(plugin.toLower(), u"scr_no"_s, {u"NOTE"_s, u"extra"_s, u"note"_s}));
    const SearchTableChoice choice = search.load(plugin);
    EXPECT_EQ(lower(choice.fields), (QStringList{u"note"_s, u"extra"_s}));
    EXPECT_EQ(choice.scrNumberField.toLower(), u"scr_no"_s);
    EXPECT_EQ(rows().size(), 3) << "the old row replaced, the other table's row kept";
    EXPECT_TRUE(rows().contains(quoted + u"|task no|it's"_s));
    EXPECT_TRUE(
        rows().contains(plugin + u'|' + choice.scrNumberField + u'|' + choice.fields.first()))
        << "names are stored as the catalogue spells them";

    // A failure half-way leaves the previous rows.
    test::refuseInserts(db(), u"SEARCH_TABLES"_s, u"lower(NEW.FieldName) = 'extra'"_s);
    const QStringList before = rows();
    EXPECT_THROW(search.save(plugin, u"SCR_No"_s, {u"s_GUID"_s, u"Extra"_s}), DbError);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(db().transactionDepth(), 0);

    // Nothing chosen and no number field: the table is no longer searched.
    ASSERT_FALSE(search.save(plugin, {}, {}));
    EXPECT_EQ(rows(), QStringList{quoted + u"|task no|it's"_s});
}

TEST_P(SearchTablesTest, ANameWithAQuoteWorksThroughout)
{
    SearchTables search(db(), admin);
    ASSERT_TRUE(search.pluginTables().contains(quoted));
    ASSERT_FALSE(search.save(quoted, u"TASK NO"_s, {u"it's"_s}));
    const SearchTableChoice choice = search.load(quoted);
    EXPECT_EQ(choice.fields, QStringList{u"it's"_s});
    EXPECT_EQ(choice.scrNumberField, u"task no"_s);
    EXPECT_EQ(search.save(quoted, u"task no"_s, {u"it''s"_s}),
              u"There is no field 'it''s' in Table 'o'brien plug'"_s);
}

BX_INSTANTIATE_ENGINES(SearchTablesTest);
