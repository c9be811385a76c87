#include "tasks/WindowCustomRows.h"

#include "core/UserRecord.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"

#include <algorithm>
#include <gtest/gtest.h>

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
        admin.userId = QStringLiteral("admin");
        // Stored by hand, as older clients left them: a control twice, under two spellings.
        store(QStringLiteral("Task"), QStringLiteral("cmdSave"), QStringLiteral("Keep"), false);
        store(QStringLiteral("Task"), QStringLiteral("lblOld"), QStringLiteral("Old"), true);
        store(QStringLiteral("Task"), QStringLiteral("T_DUE"), QVariant(), false);
        store(QStringLiteral("Task"), QStringLiteral("cmdEdit"), QVariant(), true);
        store(QStringLiteral("task"), QStringLiteral(" CMDEDIT"), QStringLiteral("Twice"), true);
        store(QStringLiteral("Meeting"), QStringLiteral("lblOld"), QStringLiteral("O'Neil's"),
              false);
    }

    void store(const QString& form, const QString& control, const QVariant& caption, bool visible)
    {
        session.db().execute(QStringLiteral("INSERT INTO CUSTOM (FORM_NAME, CONTROL_NAME, "
                                            "CONTROL_VALUE, CONTROL_VISIBLE) VALUES (?, ?, ?, ?)"),
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

    int rowCount()
    {
        return session.db().scalar(QStringLiteral("SELECT COUNT(*) FROM CUSTOM")).toInt();
    }

    UserRecord admin;
};

// One save changes a row, collapses a control stored twice into one, adds a row (an empty
// caption is kept, not taken for Null), drops the row of a control no longer named and the
// row of one put back as built; another caption's rows stay.
TEST_P(WindowCustomRowsTest, SaveLeavesExactlyTheWantedRowsOfItsCaption)
{
    const QList<Row> wanted = {
        {QStringLiteral(" cmdSave "), QStringLiteral("Store"), true},
        {QStringLiteral("CmdEdit"), std::nullopt, false},
        {QStringLiteral("lblNew"), QStringLiteral(""), true},
        {QStringLiteral("T_DUE"), std::nullopt, true},
    };
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, QStringLiteral("Task"), wanted));

    EXPECT_EQ(rowsOf(QStringLiteral("Task")),
              (QList<Row>{{QStringLiteral("CmdEdit"), std::nullopt, false},
                          {QStringLiteral("cmdSave"), QStringLiteral("Store"), true},
                          {QStringLiteral("lblNew"), QStringLiteral(""), true}}));
    EXPECT_EQ(rowsOf(QStringLiteral("Meeting")),
              (QList<Row>{{QStringLiteral("lblOld"), QStringLiteral("O'Neil's"), false}}));
    EXPECT_EQ(windowCustomCaptions(session.db()),
              (QStringList{QStringLiteral("Meeting"), QStringLiteral("Task")}));

    // Saving the same rows again changes nothing; an empty list clears the caption.
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, QStringLiteral("Task"), wanted));
    EXPECT_EQ(rowCount(), 4);
    ASSERT_FALSE(saveWindowCustomRows(session.db(), admin, QStringLiteral("TASK"), {}));
    EXPECT_EQ(windowCustomCaptions(session.db()), QStringList{QStringLiteral("Meeting")});
}

TEST_P(WindowCustomRowsTest, RefusedSavesWriteNothing)
{
    UserRecord plain;
    plain.userId = QStringLiteral("ann");
    const Row hidden{QStringLiteral("cmdSave"), std::nullopt, false};
    const struct
    {
        const char* name;
        const UserRecord& user;
        QString form;
        QList<Row> rows;
        QString message;
        int field;
    } cases[] = {
        {"plain user", plain, QStringLiteral("Task"), {hidden}, UserRights::kNotAdministrator, -1},
        {"blank caption", admin, QStringLiteral("  "), {hidden}, kNoWindowCaption, -1},
        {"blank control",
         admin,
         QStringLiteral("Task"),
         {hidden, {QStringLiteral(" "), std::nullopt, true}},
         kNoControlName,
         1},
        {"control twice",
         admin,
         QStringLiteral("Task"),
         {{QStringLiteral("lblNew"), std::nullopt, true},
          hidden,
          {QStringLiteral(" CMDSAVE"), QStringLiteral("x")}},
         kControlTwice.arg(QStringLiteral("CMDSAVE")),
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
    const QList<Row> before = rowsOf(QStringLiteral("Task"));
    test::refuseInserts(session.db(), QStringLiteral("CUSTOM"),
                        QStringLiteral("NEW.CONTROL_NAME = 'lblNew'"));
    EXPECT_THROW(saveWindowCustomRows(session.db(), admin, QStringLiteral("Task"),
                                      {{QStringLiteral("lblNew"), QStringLiteral("New")}}),
                 DbError);
    EXPECT_EQ(rowsOf(QStringLiteral("Task")), before);
    EXPECT_EQ(rowCount(), 6);
}

BX_INSTANTIATE_ENGINES(WindowCustomRowsTest);

} // namespace
} // namespace bx
