#include "tasks/WindowCustomRows.h"

#include "core/UserRecord.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace bx {

void PrintTo(const WindowCustomRow& row, std::ostream* os)
{
    *os << row.controlName.toStdString() << " caption="
        << (row.caption ? "\"" + row.caption->toStdString() + "\"" : std::string("null"))
        << " visible=" << row.visible;
}

namespace {

using Row = WindowCustomRow;

class WindowCustomRowsTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        admin.userId = u"admin"_s;
        // Stored by hand, as older clients left them: a control twice, under two spellings.
        store(u"Task"_s, u"cmdSave"_s, u"Keep"_s, false);
        store(u"Task"_s, u"lblOld"_s, u"Old"_s, true);
        store(u"Task"_s, u"T_DUE"_s, QVariant(), false);
        store(u"Task"_s, u"cmdEdit"_s, QVariant(), true);
        store(u"task"_s, u" CMDEDIT"_s, u"Twice"_s, true);
        store(u"Meeting"_s, u"lblOld"_s, u"O'Neil's"_s, false);
    }

    void store(const QString& form, const QString& control, const QVariant& caption, bool visible)
    {
        session.db().execute(u"INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, "
                             "CONTROL_VALUE, CONTROL_VISIBLE) VALUES (?, ?, ?, ?)"_s,
                             {form, control, caption, session.db().dialect().flag(visible)});
    }

    /** The rows of `form`, by control name. */
    QList<Row> rowsOf(const QString& form)
    {
        QList<Row> rows = windowCustomRows(session.db(), form);
        std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
            return a.controlName.compare(b.controlName, Qt::CaseInsensitive) < 0;
        });
        return rows;
    }

    int rowCount() { return session.db().scalar(u"SELECT COUNT(*) FROM CUSTOM"_s).toInt(); }

    UserRecord admin;
};

// One save changes a row, collapses a control stored twice into one, adds a row (an empty
// caption is kept, not taken for Null), drops the row of a control no longer named and the
// row of one put back as built; another caption's rows stay.
TEST_P(WindowCustomRowsTest, SaveLeavesExactlyTheWantedRowsOfItsCaption)
{
    const QList<Row> wanted = {
        {u" cmdSave "_s, u"Store"_s, true},
        {u"CmdEdit"_s, std::nullopt, false},
        {u"lblNew"_s, u""_s, true},
        {u"T_DUE"_s, std::nullopt, true},
    };
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, u"Task"_s, wanted));

    EXPECT_EQ(rowsOf(u"Task"_s), (QList<Row>{{u"CmdEdit"_s, std::nullopt, false},
                                             {u"cmdSave"_s, u"Store"_s, true},
                                             {u"lblNew"_s, u""_s, true}}));
    EXPECT_EQ(rowsOf(u"Meeting"_s), (QList<Row>{{u"lblOld"_s, u"O'Neil's"_s, false}}));
    EXPECT_EQ(windowCustomCaptions(session.db()), (QStringList{u"Meeting"_s, u"Task"_s}));

    // Saving the same rows again changes nothing; an empty list clears the caption.
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, u"Task"_s, wanted));
    EXPECT_EQ(rowCount(), 4);
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, u"TASK"_s, {}));
    EXPECT_EQ(windowCustomCaptions(session.db()), QStringList{u"Meeting"_s});
}

TEST_P(WindowCustomRowsTest, RefusedSavesWriteNothing)
{
    UserRecord plain;
    plain.userId = u"ann"_s;
    const Row hidden{u"cmdSave"_s, std::nullopt, false};
    const struct
    {
        const char* name;
        const UserRecord& user;
        QString form;
        QList<Row> rows;
        QString message;
        int field;
    } cases[] = {
        {"plain user", plain, u"Task"_s, {hidden}, UserRights::kNotAdministrator, -1},
        {"blank caption", admin, u"  "_s, {hidden}, u"Please choose a window."_s, -1},
        {"blank control",
         admin,
         u"Task"_s,
         {hidden, {u" "_s, std::nullopt, true}},
         u"Each row needs the name of a control."_s,
         1},
        {"control twice",
         admin,
         u"Task"_s,
         {{u"lblNew"_s, std::nullopt, true}, hidden, {u" CMDSAVE"_s, u"x"_s}},
         u"The control \"CMDSAVE\" has more than one row."_s,
         2},
    };
    for (const auto& c : cases) {
        const auto refused = saveWindowCustomRows(session.db(), c.user, c.form, c.rows);
        ASSERT_TRUE(refused) << c.name;
        EXPECT_EQ(refused->message, c.message) << c.name;
        EXPECT_EQ(refused->field, c.field) << c.name;
        EXPECT_EQ(rowCount(), 6) << c.name;
    }
}

// A row the database refuses undoes the whole save, the deletions before it included.
TEST_P(WindowCustomRowsTest, AFailedRowLeavesTheStoredRowsAsTheyWere)
{
    const QList<Row> before = rowsOf(u"Task"_s);
    test::refuseInserts(session.db(), u"CUSTOM"_s, u"NEW.CONTROL_NAME = 'lblNew'"_s);
    EXPECT_THROW(saveWindowCustomRows(session.db(), admin, u"Task"_s, {{u"lblNew"_s, u"New"_s}}),
                 DbError);
    EXPECT_EQ(rowsOf(u"Task"_s), before);
    EXPECT_EQ(rowCount(), 6);
}

BX_INSTANTIATE_ENGINES(WindowCustomRowsTest);

} // namespace
} // namespace bx
