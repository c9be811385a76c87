#include "core/Folders.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

constexpr qlonglong kHere = 7;
constexpr qlonglong kElsewhere = 4;

class FoldersTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s, u"O'Brien"_s});
        for (qlonglong group : {kHere, kElsewhere})
            test::addWorkshop(db(), group);
        session.currentWorkshopId = static_cast<int>(kHere);
    }

    qlonglong addFolder(const QString& name, qlonglong parent, qlonglong group = kHere)
    {
        return test::addFolder(db(), u"ann"_s, name, parent, group);
    }

    qlonglong addTaskIn(qlonglong folder, qlonglong group)
    {
        return test::addTaskRow(
            db(), {{u"SCR_Group_ID"_s, group}, {u"SCR_Parent_Folder_Number"_s, folder}});
    }

    /** Parent_Folder_Counter, or -1 when the folder is gone. */
    qlonglong parentOf(qlonglong folder)
    {
        const QVariant v = db().scalar(
            u"SELECT Parent_Folder_Counter FROM FOLDER WHERE Folder_Counter = ?"_s, {folder});
        return v.isNull() ? -1 : v.toLongLong();
    }

    bool deleteIt(qlonglong folder, const QString& name = u"Old"_s)
    {
        prompt.answer(PromptAnswer::Yes);
        return deleteFolder(session, prompt, FolderType::Task, folder, name).has_value();
    }
};

TEST_P(FoldersTest, DeletingLiftsSubFoldersToTheDeletedFoldersParent)
{
    const qlonglong top = addFolder(u"Top"_s, 0);
    for (const qlonglong parent : {qlonglong(0), top}) {
        const qlonglong doomed = addFolder(u"Doomed"_s, parent);
        const qlonglong a = addFolder(u"A"_s, doomed);
        const qlonglong b = addFolder(u"B"_s, doomed);
        const qlonglong grandChild = addFolder(u"C"_s, a);

        prompt.answer(PromptAnswer::Yes);
        EXPECT_EQ(deleteFolder(session, prompt, FolderType::Task, doomed, u"Doomed"_s), parent);
        EXPECT_EQ(prompt.last().text, u"Would you like to delete folder Doomed?"_s);
        EXPECT_EQ(parentOf(doomed), -1);
        EXPECT_EQ(parentOf(a), parent);
        EXPECT_EQ(parentOf(b), parent);
        EXPECT_EQ(parentOf(grandChild), a);
    }
}

TEST_P(FoldersTest, OnlyTasksOfTheCurrentWorkshopKeepAFolder)
{
    const qlonglong foreignOnly = addFolder(u"Foreign"_s, 0);
    const qlonglong foreignTask = addTaskIn(foreignOnly, kElsewhere);
    EXPECT_TRUE(deleteIt(foreignOnly));
    EXPECT_EQ(parentOf(foreignOnly), -1);
    EXPECT_EQ(db().scalar(u"SELECT SCR_Parent_Folder_Number FROM SCR WHERE "
                          "SCR_Counter = ?"_s,
                          {foreignTask})
                  .toLongLong(),
              0);

    const qlonglong busy = addFolder(u"Busy"_s, 0);
    addTaskIn(busy, kHere);
    EXPECT_FALSE(deleteIt(busy));
    EXPECT_EQ(prompt.last().text, u"You can not delete this folder because it contains tasks"_s);
    EXPECT_EQ(parentOf(busy), 0);
}

TEST_P(FoldersTest, DeleteRefusals)
{
    const qlonglong kept = addFolder(u"Kept"_s, 0);
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(deleteFolder(session, prompt, FolderType::Task, kept, u"Kept"_s));
    EXPECT_EQ(parentOf(kept), 0);

    EXPECT_FALSE(deleteFolder(session, prompt, FolderType::Task, 0, {}));
    EXPECT_EQ(prompt.last().text, u"Please select a folder to delete"_s);

    const qlonglong other = addFolder(u"Other shop"_s, 0, kElsewhere);
    EXPECT_FALSE(deleteIt(other));
    EXPECT_EQ(prompt.last().text, folders::kNotFound);
    EXPECT_EQ(parentOf(other), 0);
}

TEST_P(FoldersTest, CreateAndRenameKeepQuotesInNames)
{
    const QString name = u"O'Brien's \"odd\" jobs"_s;
    prompt.answerInput(name);
    const std::optional<FolderRow> made = createFolder(session, prompt, FolderType::Task, 0);
    ASSERT_TRUE(made);
    const std::optional<FolderRow> stored = readFolder(db(), made->counter);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, name);
    EXPECT_EQ(stored->ownerId, u"ann"_s);
    EXPECT_EQ(stored->groupId, kHere);
    EXPECT_EQ(stored->type, 0);

    prompt.answerInput(QString());
    EXPECT_FALSE(createFolder(session, prompt, FolderType::Task, made->counter));

    const QString renamed = u"Ann's; DROP TABLE FOLDER --"_s;
    prompt.answerInput(renamed);
    EXPECT_EQ(renameFolder(session, prompt, made->counter, name), renamed);
    EXPECT_EQ(readFolder(db(), made->counter)->name, renamed);

    const qlonglong other = addFolder(u"Other shop"_s, 0, kElsewhere);
    prompt.answerInput(u"Mine now"_s);
    EXPECT_FALSE(renameFolder(session, prompt, other, u"Other shop"_s));
    EXPECT_EQ(prompt.last().text, folders::kNotFound);
    EXPECT_EQ(readFolder(db(), other)->name, u"Other shop"_s);

    EXPECT_FALSE(renameFolder(session, prompt, 0, {}));
    EXPECT_EQ(prompt.last().text, u"Please select a folder to rename"_s);
}

BX_INSTANTIATE_ENGINES(FoldersTest);

} // namespace
