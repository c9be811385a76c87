// Custom forms on each engine: reading a copy, the mandatory check, saving new and opened copies
// in one transaction, the close comparison and the lists of drop-down fields.

#include "tasks/CustomForms.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"
#include "support/RefuseInserts.h"
#include "tasks/FormDesign.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::forms;
using namespace bx::test::tasks;

namespace {

const QString kOrder = QStringLiteral("Supplier's order");
const QString kRef = QStringLiteral("O'Brien's ref");

class CustomFormsTest : public TaskTest
{
protected:
    struct Def
    {
        qlonglong key;
        const char* name;
        const char* type;
        const char* value = "";
        bool mandatory = false;
        int left = 150, top = 150, width = 1500, height = 300;
        const char* table = "";
        const char* field = "";
        const char* database = "";
    };

    void define(const QString& form, const QList<Def>& defs)
    {
        db().execute(QStringLiteral("INSERT INTO FORM (Form_Name) VALUES (?)"), {form});
        for (const Def& d : defs)
            db().execute(QStringLiteral("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, "
                                        "ATTACH_NUMBER, NAME, TYPE, VALUE, MANDATORY, MAIN_FORM, "
                                        "RIGHT_ALIGN, \"left\", TOP, WIDTH, HEIGHT, \"table\", "
                                        "FIELD, DATABASE) VALUES (?, ?, 0, ?, ?, ?, ?, 'main', ?, "
                                        "?, ?, ?, ?, ?, ?, ?)"),
                         {form, d.key, QString::fromUtf8(d.name), QString::fromUtf8(d.type),
                          QString::fromUtf8(d.value), db().dialect().flag(d.mandatory),
                          db().dialect().flag(true), d.left, d.top, d.width, d.height,
                          QString::fromUtf8(d.table), QString::fromUtf8(d.field),
                          QString::fromUtf8(d.database)});
    }

    /** The order form: a label, the mandatory reference, a note, a mandatory check box. */
    void defineOrder()
    {
        define(kOrder, {{1, "Title", "LABEL", "Order"},
                        {2, "O'Brien's ref", "EDIT", "", true},
                        {3, "Note", "edit "},
                        {4, "Signed", "CHECK", "Signed off", true}});
    }

    static QList<FieldValue> valuesOf(const FormCopy& copy)
    {
        QList<FieldValue> values;
        for (const FormField& f : copy.fields)
            values << FieldValue{f.key, f.value, f.checked};
        return values;
    }

    Outcome<qlonglong, int> save(SaveMode mode, const FormCopy& copy,
                                 const QList<FieldValue>& values)
    {
        return saveCopy(db(), mode, copy, values, AttachmentPlace{task, kProjects, kShop7}, kMe,
                        at(2024, 1, 31, 12, 5, 9), true);
    }

    /** The order form defined and one copy of it saved: reference `ref`, signed off. */
    qlonglong savedOrder(const QString& ref)
    {
        defineOrder();
        const FormCopy blank = readCopy(db(), kOrder, 0);
        QList<FieldValue> values = valuesOf(blank);
        values[1].value = ref;
        values[3].checked = true;
        return *save(SaveMode::Add, blank, values);
    }

    /** The copy's rows as "key name=value/checked/mandatory/main/right", by key. */
    QStringList rowsOf(qlonglong attach)
    {
        RecordSet rs = db().query(QStringLiteral("SELECT * FROM CONTROL WHERE ATTACH_NUMBER = ? "
                                                 "ORDER BY CONTROL_KEY"),
                                  {attach});
        QStringList rows;
        for (; !rs.eof(); rs.moveNext())
            rows << QStringLiteral("%1 %2=%3/%4/%5/%6/%7")
                        .arg(rs.number(QStringLiteral("CONTROL_KEY")))
                        .arg(rs.text(QStringLiteral("NAME")), rs.text(QStringLiteral("VALUE")))
                        .arg(rs.flag(QStringLiteral("CHECKED")))
                        .arg(rs.flag(QStringLiteral("MANDATORY")))
                        .arg(rs.text(QStringLiteral("MAIN_FORM")))
                        .arg(rs.flag(QStringLiteral("RIGHT_ALIGN")));
        return rows;
    }

    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped())
            return;
        task = addTaskRow(db(), {{scr::Title, QStringLiteral("forms")}});
    }

    qlonglong task = 0;
};

// Blank mandatory text (spaces too) and an unticked mandatory box refuse, naming the field;
// nothing is written. Without a form: "Please Select a Form".
TEST_P(CustomFormsTest, MandatoryFieldsAndAMissingFormRefuse)
{
    defineOrder();
    const FormCopy copy = readCopy(db(), kOrder, 0);
    ASSERT_EQ(copy.fields.size(), 4);
    QList<FieldValue> values = valuesOf(copy);
    values[2].value = QStringLiteral("a note");
    values[3].checked = true;

    const struct
    {
        const char* ref;
        bool signedOff;
        const char* message; ///< "" when saved
        int field;
    } cases[] = {
        {"   ", true,
         "The value for O'Brien's ref should be filled when option 'Mandatory' is "
         "checked",
         1},
        {"R-1", false, "The value for Signed should be filled when option 'Mandatory' is checked",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ref);
        values[1].value = QString::fromUtf8(c.ref);
        values[3].checked = c.signedOff;
        const Outcome<qlonglong, int> saved = save(SaveMode::Add, copy, values);
        ASSERT_TRUE(saved.refusal());
        EXPECT_EQ(saved.refusal()->message, QString::fromUtf8(c.message));
        EXPECT_EQ(saved.refusal()->field, c.field);
    }
    FormCopy none = copy;
    none.form.clear();
    ASSERT_TRUE(save(SaveMode::Add, none, values).refusal());
    EXPECT_EQ(save(SaveMode::Add, none, values).refusal()->message, kSelectForm);
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM ATTACH")), 0);
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM CONTROL")), 4);
}

// A new copy is an "X" attachment named after its form; reopened and saved, its values are
// replaced and it keeps its mandatory flags; the definition is never touched.
TEST_P(CustomFormsTest, ReopenedCopySavedReplacesItsValuesAndStaysMandatory)
{
    defineOrder();
    const QStringList definition = rowsOf(0);
    const FormCopy blank = readCopy(db(), kOrder, 0);
    QList<FieldValue> values = valuesOf(blank);
    values[1].value = QStringLiteral("R-'1'");
    values[3].checked = true;
    const Outcome<qlonglong, int> added = save(SaveMode::Add, blank, values);
    ASSERT_TRUE(added) << (added.refusal() ? added.refusal()->message.toStdString() : "");

    const RecordSet a =
        db().query(QStringLiteral("SELECT * FROM ATTACH WHERE Attach_Number = ?"), {*added});
    EXPECT_EQ(a.text(QStringLiteral("Attach_Type")), QStringLiteral("X"));
    EXPECT_EQ(a.text(QStringLiteral("Attach_Title")), kOrder);
    EXPECT_EQ(a.text(QStringLiteral("Attach_Filename")), kOrder);
    EXPECT_EQ(a.number(scr::Number), task);
    EXPECT_EQ(a.text(QStringLiteral("Category")), kProjects);
    EXPECT_TRUE(a.flag(QStringLiteral("Publish")));
    EXPECT_EQ(formOfCopy(db(), *added), kOrder);

    const FormCopy opened = readCopy(db(), kOrder, *added);
    ASSERT_EQ(opened.fields.size(), 4);
    EXPECT_TRUE(opened.fields.at(1).mandatory);
    EXPECT_EQ(opened.fields.at(1).value, QStringLiteral("R-'1'"));
    values = valuesOf(opened);
    values[2].value = QStringLiteral("second");
    ASSERT_TRUE(save(SaveMode::Open, opened, values));
    EXPECT_EQ(rowsOf(*added), (QStringList{QStringLiteral("1 Title=Order/0/0/main/1"),
                                           QStringLiteral("2 O'Brien's ref=R-'1'/0/1/main/1"),
                                           QStringLiteral("3 Note=second/0/0/main/1"),
                                           QStringLiteral("4 Signed=Signed off/1/1/main/1")}));
    EXPECT_EQ(rowsOf(0), definition);
    // Still mandatory after the reopen: blanking the reference is refused.
    const FormCopy again = readCopy(db(), kOrder, *added);
    values = valuesOf(again);
    values[1].value = QStringLiteral(" ");
    EXPECT_TRUE(save(SaveMode::Open, again, values).refusal());
}

// A row that cannot be written part-way through a save leaves the copy as it was.
TEST_P(CustomFormsTest, SaveFailingPartWayKeepsTheOldValues)
{
    const qlonglong number = savedOrder(QStringLiteral("old"));
    const QStringList before = rowsOf(number);

    test::refuseInserts(db(), QStringLiteral("CONTROL"), QStringLiteral("NEW.CONTROL_KEY = 3"));
    const FormCopy opened = readCopy(db(), kOrder, number);
    QList<FieldValue> values = valuesOf(opened);
    values[1].value = QStringLiteral("new");
    EXPECT_THROW(save(SaveMode::Open, opened, values), DbError);
    EXPECT_EQ(rowsOf(number), before);
    EXPECT_THROW(save(SaveMode::Add, opened, values), DbError);
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM ATTACH")), 1);
}

// The close comparison goes by key: of two fields named alike, a change in the second counts;
// a box by its state; labels never.
TEST_P(CustomFormsTest, ChangesAreFoundByKeyNotByName)
{
    define(kOrder, {{1, "", "LABEL", "Order"},
                    {2, "Amount", "EDIT", "1"},
                    {3, "Amount", "EDIT", "2"},
                    {4, "", "EDIT", "3"},
                    {5, "Done", "CHECK", "Done"}});
    const FormCopy copy = readCopy(db(), kOrder, 0);
    QList<FieldValue> values = valuesOf(copy);
    EXPECT_TRUE(changedFields(db(), copy, values).isEmpty());
    values[0].value = QStringLiteral("labels are not edited");
    values[2].value = QStringLiteral("20");
    EXPECT_EQ(changedFields(db(), copy, values), (QList<int>{2}));
    values = valuesOf(copy);
    values[3].value = QStringLiteral("30");
    values[4].checked = true;
    EXPECT_EQ(changedFields(db(), copy, values), (QList<int>{3, 4}));
}

// Unknown types are not shown but kept; wild places are clamped to the panel; a list's other
// database is ignored; each is noted.
TEST_P(CustomFormsTest, OddRowsAreSkippedClampedOrIgnoredAndNoted)
{
    define(kOrder, {{1, "Picture", "IMAGE", "logo"},
                    {2, "Far", "EDIT", "x", false, -4500, 900'000'000, 0, 1'000'000'000},
                    {3, "Pick", "COMBO", "", false, 150, 150, 1500, 300, "LU_PRIORITY", "PRIORITY",
                     "other.mdb"},
                    {4, "Fine", "EDIT", "y", false, 300, 600, 1500, 300}});
    const FormCopy copy = readCopy(db(), kOrder, 0);
    ASSERT_EQ(copy.fields.size(), 3);
    ASSERT_EQ(copy.hidden.size(), 1);
    EXPECT_EQ(copy.fields.at(0).pixels, QRect(0, kPanelHeight - 4, 4, 4));
    EXPECT_EQ(copy.fields.at(2).pixels, QRect(20, 40, 100, 20));
    ASSERT_EQ(copy.notes.size(), 3) << copy.notes.join(u'\n').toStdString();
    EXPECT_TRUE(copy.notes.at(0).contains(QStringLiteral("unknown type \"IMAGE\"")));
    EXPECT_TRUE(copy.notes.at(1).contains(QStringLiteral("\"Far\"")));
    EXPECT_TRUE(copy.notes.at(2).contains(QStringLiteral("other.mdb")));

    const Outcome<qlonglong, int> saved = save(SaveMode::Add, copy, valuesOf(copy));
    ASSERT_TRUE(saved);
    EXPECT_EQ(rowsOf(*saved).size(), 4) << "the unknown row is kept";
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT TOP FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                                         "CONTROL_KEY = 2"),
                          {*saved})
                  .toLongLong(),
              900'000'000)
        << "stored places are written back as they were";
}

// A list comes from a real table, distinct and sorted, names found whatever their case; a
// missing table or column gives an empty list and the message.
TEST_P(CustomFormsTest, ListsComeFromTheCatalogue)
{
    for (const char* p : {"High 'A'", "low", "High 'A'", "Mid \"B\""})
        addTaskRow(db(), {{scr::Title, QString::fromUtf8(p)}});
    FormField f;
    f.name = QStringLiteral("Priority");
    f.table = QStringLiteral("scr");
    f.field = QStringLiteral("scr_title");
    const Outcome<QStringList> listed = listValues(db(), f);
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed, (QStringList{QStringLiteral("forms"), QStringLiteral("High 'A'"),
                                    QStringLiteral("low"), QStringLiteral("Mid \"B\"")}));

    for (const auto& [table, field] : {std::pair{"No table", "x"}, std::pair{"LU_PRIORITY", "x'"},
                                       std::pair{"SCR; DROP TABLE SCR", "SCR_Title"}}) {
        f.table = QString::fromUtf8(table);
        f.field = QString::fromUtf8(field);
        const Outcome<QStringList> none = listValues(db(), f);
        ASSERT_TRUE(none.refusal());
        EXPECT_EQ(none.refusal()->message, missingListMessage(f.name, f.table, f.field));
    }
    EXPECT_TRUE(db().hasTable(QStringLiteral("SCR")));
}

// Two clients open one copy: the first save wins, the second writes nothing and is told; its
// values can still go into a new copy. Any update of the attachment moves its version.
TEST_P(CustomFormsTest, TheSecondOfTwoClientsSavingOneCopyIsRefused)
{
    const qlonglong number = savedOrder(QStringLiteral("first"));
    const std::unique_ptr<Database> other = connectAgain();
    const FormCopy mine = readCopy(db(), kOrder, number);
    const FormCopy theirs = readCopy(*other, kOrder, number);
    QList<FieldValue> values = valuesOf(theirs);
    values[1].value = QStringLiteral("theirs");
    ASSERT_TRUE(saveCopy(*other, SaveMode::Open, theirs, values, {}, kMe, {}, false));

    values[1].value = QStringLiteral("mine");
    const Outcome<qlonglong, int> refused = save(SaveMode::Open, mine, values);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(*refused.refusal(), (RefusalOf<int>{kSavedElsewhere, kChangedElsewhere}));
    EXPECT_EQ(readCopy(db(), kOrder, number).fields.at(1).value, QStringLiteral("theirs"));
    const Outcome<qlonglong, int> asNew = save(SaveMode::Add, mine, values);
    ASSERT_TRUE(asNew);
    EXPECT_EQ(readCopy(db(), kOrder, *asNew).fields.at(1).value, QStringLiteral("mine"));

    const qlonglong before = readCopy(db(), kOrder, number).version;
    db().execute(QStringLiteral("UPDATE ATTACH SET Attach_Title = 'x' WHERE Attach_Number = ?"),
                 {number});
    EXPECT_EQ(readCopy(db(), kOrder, number).version, before + 1);
    const FormCopy fresh = readCopy(db(), kOrder, number);
    EXPECT_TRUE(save(SaveMode::Open, fresh, valuesOf(fresh))) << "a copy read after the change";

    db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"), {number});
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH_VERSION WHERE "
                                         "Attach_Number = ?"),
                          {number})
                  .toInt(),
              0)
        << "the version goes with its attachment";
}

// The designer rewrites a form's definition rows in one transaction (a write failing part-way
// leaves the old ones); the rows of filled-in copies and the copies' own values stay as they are.
TEST_P(CustomFormsTest, TheDesignerReplacesDefinitionsOnlyAndAllOrNothing)
{
    const qlonglong filled = savedOrder(QStringLiteral("R-1"));
    const QStringList copyRows = rowsOf(filled);

    FormDefinition d = *readDefinition(db(), kOrder);
    ASSERT_EQ(d.fields.size(), 4);
    d.caption = QStringLiteral("Order's form");
    d.fields.removeAt(2);
    setColumnValue(d.fields[0], FieldColumn::Value, QStringLiteral("Supplier's order"));
    setColumnValue(d.fields[1], FieldColumn::Mandatory, QStringLiteral("0"));
    d.fields << newField(d);
    EXPECT_EQ(d.fields.last().key, 5);
    writeDefinition(db(), d, at(2024, 2, 1, 9, 0, 0));

    const QStringList definition{QStringLiteral("1 Title=Supplier's order/0/0/main/1"),
                                 QStringLiteral("2 O'Brien's ref=/0/0/main/1"),
                                 QStringLiteral("4 Signed=Signed off/0/1/main/1"),
                                 QStringLiteral("5 Field5=/0/0//0")};
    EXPECT_EQ(rowsOf(0), definition);
    EXPECT_EQ(rowsOf(filled), copyRows) << "a filled-in copy keeps its rows";
    EXPECT_EQ(readDefinition(db(), kOrder)->caption, QStringLiteral("Order's form"));
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM FORM")), 1);

    test::refuseInserts(db(), QStringLiteral("CONTROL"), QStringLiteral("NEW.CONTROL_KEY = 4"));
    d.caption = QStringLiteral("lost");
    d.fields[0].value = QStringLiteral("lost");
    EXPECT_THROW(writeDefinition(db(), d, at(2024, 2, 1, 9, 0, 0)), DbError);
    EXPECT_EQ(rowsOf(0), definition);
    EXPECT_EQ(readDefinition(db(), kOrder)->caption, QStringLiteral("Order's form"));

    deleteDefinition(db(), kOrder);
    EXPECT_FALSE(readDefinition(db(), kOrder));
    EXPECT_TRUE(rowsOf(0).isEmpty());
    EXPECT_EQ(rowsOf(filled), copyRows) << "deleting the form leaves its copies";
}

// A definition needs a name, a name no other form has when new, and keys used once; only
// administrators design forms, refused before anything is asked or written.
TEST_P(CustomFormsTest, DefinitionsAreCheckedAndWrittenByAdministratorsOnly)
{
    defineOrder();
    FormDefinition twice = *readDefinition(db(), kOrder);
    twice.fields[3].key = 2;
    FormDefinition taken;
    taken.name = QStringLiteral(" supplier's ORDER ");
    FormDefinition unnamed;
    unnamed.name = QStringLiteral("  ");
    const FormDefinition stored = *readDefinition(db(), kOrder);
    const struct
    {
        const FormDefinition* d;
        std::optional<RefusalOf<int>> expected;
    } cases[] = {
        {&twice, RefusalOf<int>{keyUsedTwice(2), 3}},
        {&taken, RefusalOf<int>{kFormExists, -1}},
        {&unnamed, RefusalOf<int>{kNoFormName, -1}},
        {&stored, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(definitionProblem(db(), *c.d), c.expected) << c.d->name.toStdString();

    FormDesign design(session, prompt);
    session.user.record.administrator = false;
    const RefusalOf<> refused{UserRights::kNotAdministrator};
    EXPECT_EQ(*design.open().refusal(), refused);
    EXPECT_EQ(*design.edit(kOrder).refusal(), refused);
    EXPECT_EQ(*design.remove(kOrder).refusal(), refused);
    FormDefinition fresh;
    fresh.name = QStringLiteral("Fresh");
    EXPECT_EQ(*design.save(fresh).refusal(), (RefusalOf<int>{UserRights::kNotAdministrator, -1}));
    EXPECT_TRUE(prompt.texts().isEmpty()) << shown();
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM FORM")), 1);

    session.user.record.administrator = true;
    ASSERT_TRUE(design.save(fresh));
    EXPECT_FALSE(fresh.isNew);
    EXPECT_EQ(*design.open(), (QStringList{QStringLiteral("Fresh"), kOrder}));
}

BX_INSTANTIATE_ENGINES(CustomFormsTest);

} // namespace
