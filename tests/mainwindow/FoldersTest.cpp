#include "core/Folders.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

constexpr qlonglong kHere = 7;
constexpr qlonglong kElsewhere = 4;

class FoldersTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("O'Brien")});
        for (qlonglong group : {kHere, kElsewhere})
            test::addWorkshop(db(), group);
        session.currentWorkshopId = static_cast<int>(kHere);
    }

    qlonglong addFolder(const QString& name, qlonglong parent, qlonglong group = kHere)
    {
        return test::addFolder(db(), QStringLiteral("ann"), name, parent, group);
    }

    qlonglong addTaskIn(qlonglong folder, qlonglong group)
    {
        return test::addTaskRow(db(), {{QStringLiteral("SCR_Group_ID"), group},
                                       {QStringLiteral("SCR_Parent_Folder_Number"), folder}});
    }

    /** Parent_Folder_Counter, or -1 when the folder is gone. */
    qlonglong parentOf(qlonglong folder)
    {
        const QVariant v = db().scalar(
            QStringLiteral("SELECT Parent_Folder_Counter FROM FOLDER WHERE Folder_Counter = ?"),
            {folder});
        return v.isNull() ? -1 : v.toLongLong();
    }

    bool deleteIt(qlonglong folder, const QString& name = QStringLiteral("Old"))
    {
        prompt.answer(PromptAnswer::Yes);
        return deleteFolder(session, prompt, FolderType::Task, folder, name).has_value();
    }
};

TEST_P(FoldersTest, DeletingLiftsSubFoldersToTheDeletedFoldersParent)
{
    const qlonglong top = addFolder(QStringLiteral("Top"), 0);
    for (const qlonglong parent : {qlonglong(0), top}) {
        const qlonglong doomed = addFolder(QStringLiteral("Doomed"), parent);
        const qlonglong a = addFolder(QStringLiteral("A"), doomed);
        const qlonglong b = addFolder(QStringLiteral("B"), doomed);
        const qlonglong grandChild = addFolder(QStringLiteral("C"), a);

        prompt.answer(PromptAnswer::Yes);
        EXPECT_EQ(deleteFolder(session, prompt, FolderType::Task, doomed, QStringLiteral("Doomed")),
                  parent);
        EXPECT_EQ(prompt.last().text, QStringLiteral("Would you like to delete folder Doomed?"));
        EXPECT_EQ(parentOf(doomed), -1);
        EXPECT_EQ(parentOf(a), parent);
        EXPECT_EQ(parentOf(b), parent);
        EXPECT_EQ(parentOf(grandChild), a);
    }
}

TEST_P(FoldersTest, OnlyTasksOfTheCurrentWorkshopKeepAFolder)
{
    const qlonglong foreignOnly = addFolder(QStringLiteral("Foreign"), 0);
    const qlonglong foreignTask = addTaskIn(foreignOnly, kElsewhere);
    EXPECT_TRUE(deleteIt(foreignOnly));
    EXPECT_EQ(parentOf(foreignOnly), -1);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT SCR_Parent_Folder_Number FROM SCR WHERE "
                                         "SCR_Counter = ?"),
                          {foreignTask})
                  .toLongLong(),
              0);

    const qlonglong busy = addFolder(QStringLiteral("Busy"), 0);
    addTaskIn(busy, kHere);
    EXPECT_FALSE(deleteIt(busy));
    EXPECT_EQ(prompt.last().text, folders::kHoldsTasks);
    EXPECT_EQ(parentOf(busy), 0);
}

TEST_P(FoldersTest, DeleteRefusals)
{
    const qlonglong kept = addFolder(QStringLiteral("Kept"), 0);
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(deleteFolder(session, prompt, FolderType::Task, kept, QStringLiteral("Kept")));
    EXPECT_EQ(parentOf(kept), 0);

    EXPECT_FALSE(deleteFolder(session, prompt, FolderType::Task, 0, {}));
    EXPECT_EQ(prompt.last().text, folders::kSelectToDelete);

    const qlonglong other = addFolder(QStringLiteral("Other shop"), 0, kElsewhere);
    EXPECT_FALSE(deleteIt(other));
    EXPECT_EQ(prompt.last().text, folders::kNotFound);
    EXPECT_EQ(parentOf(other), 0);
}

TEST_P(FoldersTest, CreateAndRenameKeepQuotesInNames)
{
    const QString name = QStringLiteral("O'Brien's \"odd\" jobs");
    prompt.answerInput(name);
    const std::optional<FolderRow> made = createFolder(session, prompt, FolderType::Task, 0);
    ASSERT_TRUE(made);
    const std::optional<FolderRow> stored = readFolder(db(), made->counter);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, name);
    EXPECT_EQ(stored->ownerId, QStringLiteral("ann"));
    EXPECT_EQ(stored->groupId, kHere);
    EXPECT_EQ(stored->type, 0);

    prompt.answerInput(QString());
    EXPECT_FALSE(createFolder(session, prompt, FolderType::Task, made->counter));

    const QString renamed = QStringLiteral("Ann's; DROP TABLE FOLDER --");
    prompt.answerInput(renamed);
    EXPECT_EQ(renameFolder(session, prompt, made->counter, name), renamed);
    EXPECT_EQ(readFolder(db(), made->counter)->name, renamed);

    const qlonglong other = addFolder(QStringLiteral("Other shop"), 0, kElsewhere);
    prompt.answerInput(QStringLiteral("Mine now"));
    EXPECT_FALSE(renameFolder(session, prompt, other, QStringLiteral("Other shop")));
    EXPECT_EQ(prompt.last().text, folders::kNotFound);
    EXPECT_EQ(readFolder(db(), other)->name, QStringLiteral("Other shop"));

    EXPECT_FALSE(renameFolder(session, prompt, 0, {}));
    EXPECT_EQ(prompt.last().text, folders::kSelectToRename);
}

BX_INSTANTIATE_ENGINES(FoldersTest);

} // namespace
