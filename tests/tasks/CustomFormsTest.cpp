// Custom forms on each engine: reading a copy, the mandatory check, saving new and opened copies
// in one transaction, the close comparison and the lists of drop-down fields.

#include "tasks/CustomForms.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"
#include "support/RefuseInserts.h"
#include "tasks/FormDesign.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::forms;
using namespace bx::test::tasks;

namespace {

const QString kOrder = u"Supplier's order"_s;
const QString kRef = u"O'Brien's ref"_s;

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
        db().execute(u"INSERT INTO FORM (Form_Name) VALUES (?)"_s, {form});
        for (const Def& d : defs)
            db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, "
                         "ATTACH_NUMBER, NAME, TYPE, VALUE, MANDATORY, MAIN_FORM, "
                         "RIGHT_ALIGN, \"left\", TOP, WIDTH, HEIGHT, \"table\", "
                         "FIELD, DATABASE) VALUES (?, ?, 0, ?, ?, ?, ?, 'main', ?, "
                         "?, ?, ?, ?, ?, ?, ?)"_s,
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
        RecordSet rs = db().query(u"SELECT * FROM CONTROL WHERE ATTACH_NUMBER = ? "
                                  "ORDER BY CONTROL_KEY"_s,
                                  {attach});
        QStringList rows;
        for (; !rs.eof(); rs.moveNext())
            rows << u"%1 %2=%3/%4/%5/%6/%7"_s.arg(rs.number(u"CONTROL_KEY"_s))
                        .arg(rs.text(u"NAME"_s), rs.text(u"VALUE"_s))
                        .arg(rs.flag(u"CHECKED"_s))
                        .arg(rs.flag(u"MANDATORY"_s))
                        .arg(rs.text(u"MAIN_FORM"_s))
                        .arg(rs.flag(u"RIGHT_ALIGN"_s));
        return rows;
    }

    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped())
            return;
        task = addTaskRow(db(), {{scr::Title, u"forms"_s}});
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
    values[2].value = u"a note"_s;
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
    EXPECT_EQ(save(SaveMode::Add, none, values).refusal()->message, u"Please Select a Form"_s);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH"_s), 0);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CONTROL"_s), 4);
}

// A new copy is an "X" attachment named after its form; reopened and saved, its values are
// replaced and it keeps its mandatory flags; the definition is never touched.
TEST_P(CustomFormsTest, ReopenedCopySavedReplacesItsValuesAndStaysMandatory)
{
    defineOrder();
    const QStringList definition = rowsOf(0);
    const FormCopy blank = readCopy(db(), kOrder, 0);
    QList<FieldValue> values = valuesOf(blank);
    values[1].value = u"R-'1'"_s;
    values[3].checked = true;
    const Outcome<qlonglong, int> added = save(SaveMode::Add, blank, values);
    ASSERT_TRUE(added) << (added.refusal() ? added.refusal()->message.toStdString() : "");

    const RecordSet a = db().query(u"SELECT * FROM ATTACH WHERE Attach_Number = ?"_s, {*added});
    EXPECT_EQ(a.text(u"Attach_Type"_s), u"X"_s);
    EXPECT_EQ(a.text(u"Attach_Title"_s), kOrder);
    EXPECT_EQ(a.text(u"Attach_Filename"_s), kOrder);
    EXPECT_EQ(a.number(scr::Number), task);
    EXPECT_EQ(a.text(u"Category"_s), kProjects);
    EXPECT_TRUE(a.flag(u"Publish"_s));
    EXPECT_EQ(formOfCopy(db(), *added), kOrder);

    const FormCopy opened = readCopy(db(), kOrder, *added);
    ASSERT_EQ(opened.fields.size(), 4);
    EXPECT_TRUE(opened.fields.at(1).mandatory);
    EXPECT_EQ(opened.fields.at(1).value, u"R-'1'"_s);
    values = valuesOf(opened);
    values[2].value = u"second"_s;
    ASSERT_TRUE(save(SaveMode::Open, opened, values));
    EXPECT_EQ(rowsOf(*added),
              (QStringList{u"1 Title=Order/0/0/main/1"_s, u"2 O'Brien's ref=R-'1'/0/1/main/1"_s,
                           u"3 Note=second/0/0/main/1"_s, u"4 Signed=Signed off/1/1/main/1"_s}));
    EXPECT_EQ(rowsOf(0), definition);
    // Still mandatory after the reopen: blanking the reference is refused.
    const FormCopy again = readCopy(db(), kOrder, *added);
    values = valuesOf(again);
    values[1].value = u" "_s;
    EXPECT_TRUE(save(SaveMode::Open, again, values).refusal());
}

// A row that cannot be written part-way through a save leaves the copy as it was.
TEST_P(CustomFormsTest, SaveFailingPartWayKeepsTheOldValues)
{
    const qlonglong number = savedOrder(u"old"_s);
    const QStringList before = rowsOf(number);

    test::refuseInserts(db(), u"CONTROL"_s, u"NEW.CONTROL_KEY = 3"_s);
    const FormCopy opened = readCopy(db(), kOrder, number);
    QList<FieldValue> values = valuesOf(opened);
    values[1].value = u"new"_s;
    EXPECT_THROW(save(SaveMode::Open, opened, values), DbError);
    EXPECT_EQ(rowsOf(number), before);
    EXPECT_THROW(save(SaveMode::Add, opened, values), DbError);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH"_s), 1);
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
    values[0].value = u"labels are not edited"_s;
    values[2].value = u"20"_s;
    EXPECT_EQ(changedFields(db(), copy, values), (QList<int>{2}));
    values = valuesOf(copy);
    values[3].value = u"30"_s;
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
    EXPECT_TRUE(copy.notes.at(0).contains(u"unknown type \"IMAGE\""_s));
    EXPECT_TRUE(copy.notes.at(1).contains(u"\"Far\""_s));
    EXPECT_TRUE(copy.notes.at(2).contains(u"other.mdb"_s));

    const Outcome<qlonglong, int> saved = save(SaveMode::Add, copy, valuesOf(copy));
    ASSERT_TRUE(saved);
    EXPECT_EQ(rowsOf(*saved).size(), 4) << "the unknown row is kept";
    EXPECT_EQ(db().scalar(u"SELECT TOP FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                          "CONTROL_KEY = 2"_s,
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
    f.name = u"Priority"_s;
    f.table = u"scr"_s;
    f.field = u"scr_title"_s;
    const Outcome<QStringList> listed = listValues(db(), f);
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed, (QStringList{u"forms"_s, u"High 'A'"_s, u"low"_s, u"Mid \"B\""_s}));

    for (const auto& [table, field] : {std::pair{"No table", "x"}, std::pair{"LU_PRIORITY", "x'"},
                                       std::pair{"SCR; DROP TABLE SCR", "SCR_Title"}}) {
        f.table = QString::fromUtf8(table);
        f.field = QString::fromUtf8(field);
        const Outcome<QStringList> none = listValues(db(), f);
        ASSERT_TRUE(none.refusal());
        EXPECT_EQ(none.refusal()->message, missingListMessage(f.name, f.table, f.field));
    }
    EXPECT_TRUE(db().hasTable(u"SCR"_s));
}

// Two clients open one copy: the first save wins, the second writes nothing and is told; its
// values can still go into a new copy. Any update of the attachment moves its version.
TEST_P(CustomFormsTest, TheSecondOfTwoClientsSavingOneCopyIsRefused)
{
    const qlonglong number = savedOrder(u"first"_s);
    const std::unique_ptr<Database> other = connectAgain();
    const FormCopy mine = readCopy(db(), kOrder, number);
    const FormCopy theirs = readCopy(*other, kOrder, number);
    QList<FieldValue> values = valuesOf(theirs);
    values[1].value = u"theirs"_s;
    ASSERT_TRUE(saveCopy(*other, SaveMode::Open, theirs, values, {}, kMe, {}, false));

    values[1].value = u"mine"_s;
    const Outcome<qlonglong, int> refused = save(SaveMode::Open, mine, values);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(
        *refused.refusal(),
        (RefusalOf<int>{
            u"This form was saved by another user since you opened it. Save your values as a new copy?"_s,
            kChangedElsewhere}));
    EXPECT_EQ(readCopy(db(), kOrder, number).fields.at(1).value, u"theirs"_s);
    const Outcome<qlonglong, int> asNew = save(SaveMode::Add, mine, values);
    ASSERT_TRUE(asNew);
    EXPECT_EQ(readCopy(db(), kOrder, *asNew).fields.at(1).value, u"mine"_s);

    const qlonglong before = readCopy(db(), kOrder, number).version;
    db().execute(u"UPDATE ATTACH SET Attach_Title = 'x' WHERE Attach_Number = ?"_s, {number});
    EXPECT_EQ(readCopy(db(), kOrder, number).version, before + 1);
    const FormCopy fresh = readCopy(db(), kOrder, number);
    EXPECT_TRUE(save(SaveMode::Open, fresh, valuesOf(fresh))) << "a copy read after the change";

    db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = ?"_s, {number});
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM ATTACH_VERSION WHERE "
                          "Attach_Number = ?"_s,
                          {number})
                  .toInt(),
              0)
        << "the version goes with its attachment";
}

// The designer rewrites a form's definition rows in one transaction (a write failing part-way
// leaves the old ones); the rows of filled-in copies and the copies' own values stay as they are.
TEST_P(CustomFormsTest, TheDesignerReplacesDefinitionsOnlyAndAllOrNothing)
{
    const qlonglong filled = savedOrder(u"R-1"_s);
    const QStringList copyRows = rowsOf(filled);

    FormDefinition d = *readDefinition(db(), kOrder);
    ASSERT_EQ(d.fields.size(), 4);
    d.caption = u"Order's form"_s;
    d.fields.removeAt(2);
    setColumnValue(d.fields[0], FieldColumn::Value, u"Supplier's order"_s);
    setColumnValue(d.fields[1], FieldColumn::Mandatory, u"0"_s);
    d.fields << newField(d);
    EXPECT_EQ(d.fields.last().key, 5);
    writeDefinition(db(), d, at(2024, 2, 1, 9, 0, 0));

    const QStringList definition{u"1 Title=Supplier's order/0/0/main/1"_s,
                                 u"2 O'Brien's ref=/0/0/main/1"_s,
                                 u"4 Signed=Signed off/0/1/main/1"_s, u"5 Field5=/0/0//0"_s};
    EXPECT_EQ(rowsOf(0), definition);
    EXPECT_EQ(rowsOf(filled), copyRows) << "a filled-in copy keeps its rows";
    EXPECT_EQ(readDefinition(db(), kOrder)->caption, u"Order's form"_s);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM FORM"_s), 1);

    test::refuseInserts(db(), u"CONTROL"_s, u"NEW.CONTROL_KEY = 4"_s);
    d.caption = u"lost"_s;
    d.fields[0].value = u"lost"_s;
    EXPECT_THROW(writeDefinition(db(), d, at(2024, 2, 1, 9, 0, 0)), DbError);
    EXPECT_EQ(rowsOf(0), definition);
    EXPECT_EQ(readDefinition(db(), kOrder)->caption, u"Order's form"_s);

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
    taken.name = u" supplier's ORDER "_s;
    FormDefinition unnamed;
    unnamed.name = u"  "_s;
    const FormDefinition stored = *readDefinition(db(), kOrder);
    const struct
    {
        const FormDefinition* d;
        std::optional<RefusalOf<int>> expected;
    } cases[] = {
        {&twice, RefusalOf<int>{keyUsedTwice(2), 3}},
        {&taken, RefusalOf<int>{u"Form already exists, Please specify another name."_s, -1}},
        {&unnamed, RefusalOf<int>{u"Please specify a name for this form"_s, -1}},
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
    fresh.name = u"Fresh"_s;
    EXPECT_EQ(*design.save(fresh).refusal(), (RefusalOf<int>{UserRights::kNotAdministrator, -1}));
    EXPECT_TRUE(prompt.texts().isEmpty()) << shown();
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM FORM"_s), 1);

    session.user.record.administrator = true;
    ASSERT_TRUE(design.save(fresh));
    EXPECT_FALSE(fresh.isNew);
    EXPECT_EQ(*design.open(), (QStringList{u"Fresh"_s, kOrder}));
}

BX_INSTANTIATE_ENGINES(CustomFormsTest);

} // namespace
