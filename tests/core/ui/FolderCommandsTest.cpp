#include "core/ui/FolderCommands.h"

#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

constexpr qlonglong kShop = 7;

class FolderCommandsTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann")});
        test::addWorkshop(db(), kShop);
        session.currentWorkshopId = static_cast<int>(kShop);
        folder =
            db().insertNumbered(QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter"),
                                {QStringLiteral("Folder_Owner_ID"), QStringLiteral("Folder_Name"),
                                 QStringLiteral("Parent_Folder_Counter"),
                                 QStringLiteral("Folder_Type"), QStringLiteral("Group_ID")},
                                {QStringLiteral("ann"), QStringLiteral("Old"), 0, 0, kShop});
    }

    /** From here on the database refuses to change or delete any folder. */
    void refuseFolderChanges()
    {
        if (db().engine() == Engine::Postgres)
            db().executeScript(QStringLiteral(
                "CREATE FUNCTION refuse_folder() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "RAISE EXCEPTION 'refused'; END $$; CREATE TRIGGER refuse_folder BEFORE UPDATE OR "
                "DELETE ON FOLDER FOR EACH ROW EXECUTE FUNCTION refuse_folder()"));
        else
            db().executeScript(QStringLiteral(
                "CREATE TRIGGER refuse_update BEFORE UPDATE ON FOLDER BEGIN SELECT RAISE(ABORT, "
                "'refused'); END; CREATE TRIGGER refuse_delete BEFORE DELETE ON FOLDER BEGIN "
                "SELECT RAISE(ABORT, 'refused'); END"));
    }

    /** The error the database raises for a refused change of a folder. */
    DbError refusal()
    {
        try {
            db().execute(QStringLiteral("DELETE FROM FOLDER"));
        } catch (const DbError& e) {
            return e;
        }
        ADD_FAILURE() << "the folder was not refused";
        return DbError(DbErrorKind::Other, {}, {});
    }

    qlonglong folder = 0;
};

} // namespace

// Each folder command words its database failure its own way: rename the description alone,
// delete the engine's number before it; neither reports a change.
TEST_P(FolderCommandsTest, AFailureIsShownInTheCommandsOwnWords)
{
    refuseFolderChanges();
    const DbError e = refusal();

    prompt.answerInput(QStringLiteral("New"));
    EXPECT_FALSE(renameFolderCommand(session, prompt, folder, QStringLiteral("Old")));
    EXPECT_EQ(prompt.last().text, e.description());
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(
        deleteFolderCommand(session, prompt, FolderType::Task, folder, QStringLiteral("Old")));
    EXPECT_EQ(prompt.last().text, e.number() + QStringLiteral(": ") + e.description());
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);

    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Folder_Name FROM FOLDER")).toString(),
              QStringLiteral("Old"));
}

// Done commands say so, so that the window reads its tree again; an empty name does nothing.
TEST_P(FolderCommandsTest, ADoneCommandAsksForTheTreeToBeReadAgain)
{
    prompt.answerInput(QString());
    EXPECT_FALSE(newFolderCommand(session, prompt, FolderType::Task, 0));
    prompt.answerInput(QStringLiteral("Made"));
    EXPECT_TRUE(newFolderCommand(session, prompt, FolderType::Task, folder));
    prompt.answerInput(QStringLiteral("New"));
    EXPECT_TRUE(renameFolderCommand(session, prompt, folder, QStringLiteral("Old")));
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(
        deleteFolderCommand(session, prompt, FolderType::Task, folder, QStringLiteral("New")));
}

BX_INSTANTIATE_ENGINES(FolderCommandsTest);
