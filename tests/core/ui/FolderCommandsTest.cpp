#include "core/ui/FolderCommands.h"

#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

constexpr qlonglong kShop = 7;

class FolderCommandsTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s});
        test::addWorkshop(db(), kShop);
        session.currentWorkshopId = static_cast<int>(kShop);
        folder = db().insertNumbered(u"FOLDER"_s, u"Folder_Counter"_s,
                                     {u"Folder_Owner_ID"_s, u"Folder_Name"_s,
                                      u"Parent_Folder_Counter"_s, u"Folder_Type"_s, u"Group_ID"_s},
                                     {u"ann"_s, u"Old"_s, 0, 0, kShop});
    }

    /** From here on the database refuses to change or delete any folder. */
    void refuseFolderChanges()
    {
        if (db().engine() == Engine::Postgres)
            db().executeScript(
                u"CREATE FUNCTION refuse_folder() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "RAISE EXCEPTION 'refused'; END $$; CREATE TRIGGER refuse_folder BEFORE UPDATE OR "
                "DELETE ON FOLDER FOR EACH ROW EXECUTE FUNCTION refuse_folder()"_s);
        else
            db().executeScript(
                u"CREATE TRIGGER refuse_update BEFORE UPDATE ON FOLDER BEGIN SELECT RAISE(ABORT, "
                "'refused'); END; CREATE TRIGGER refuse_delete BEFORE DELETE ON FOLDER BEGIN "
                "SELECT RAISE(ABORT, 'refused'); END"_s);
    }

    /** The error the database raises for a refused change of a folder. */
    DbError refusal()
    {
        try {
            db().execute(u"DELETE FROM FOLDER"_s);
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

    prompt.answerInput(u"New"_s);
    EXPECT_FALSE(renameFolderCommand(session, prompt, folder, u"Old"_s));
    EXPECT_EQ(prompt.last().text, e.description());
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(deleteFolderCommand(session, prompt, FolderType::Task, folder, u"Old"_s));
    EXPECT_EQ(prompt.last().text, e.number() + u": "_s + e.description());
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);

    EXPECT_EQ(db().scalar(u"SELECT Folder_Name FROM FOLDER"_s).toString(), u"Old"_s);
}

// Done commands say so, so that the window reads its tree again; an empty name does nothing.
TEST_P(FolderCommandsTest, ADoneCommandAsksForTheTreeToBeReadAgain)
{
    prompt.answerInput(QString());
    EXPECT_FALSE(newFolderCommand(session, prompt, FolderType::Task, 0));
    prompt.answerInput(u"Made"_s);
    EXPECT_TRUE(newFolderCommand(session, prompt, FolderType::Task, folder));
    prompt.answerInput(u"New"_s);
    EXPECT_TRUE(renameFolderCommand(session, prompt, folder, u"Old"_s));
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(deleteFolderCommand(session, prompt, FolderType::Task, folder, u"New"_s));
}

BX_INSTANTIATE_ENGINES(FolderCommandsTest);
