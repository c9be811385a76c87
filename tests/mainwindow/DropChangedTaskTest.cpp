// A task another client changes while the drop's question is open is left as that client left
// it, whatever it was dropped on.

#include "core/db/Database.h"
#include "mainwindow/TaskMoves.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <functional>
#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kMe = QStringLiteral("ann");
const QString kOther = QStringLiteral("O'Brien");
constexpr qlonglong kShop = 7;
constexpr qlonglong kOtherShop = 4;
const QString kFolderCategory = QStringLiteral("O'Neil's folder");

/** Answers Yes to the drop's question, after another client renamed the task meanwhile. */
class RenamingPrompt final : public Prompt
{
public:
    void inform(const QString& text, const QString&, PromptIcon) override { shown << text; }
    PromptAnswer ask(const QString& text, const QString&, PromptButtons, PromptIcon) override
    {
        shown << text;
        whileAsked();
        return PromptAnswer::Yes;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::function<void()> whileAsked;
    QStringList shown;
};

class DropChangedTaskTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {kMe, kOther});
        test::addWorkshop(db(), kShop);
        test::addWorkshop(db(), kOtherShop);
        test::addCategories(db(), {kFolderCategory});
        session.user.userId = kMe;
        session.currentWorkshopId = static_cast<int>(kShop);
    }
};

TEST_P(DropChangedTaskTest, EveryDropRefusesATaskChangedWhileAsked)
{
    const qlonglong folder =
        db().insertNumbered(QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter"),
                            {QStringLiteral("Folder_Owner_ID"), QStringLiteral("Folder_Name"),
                             QStringLiteral("Parent_Folder_Counter"), QStringLiteral("Folder_Type"),
                             QStringLiteral("Group_ID")},
                            {kOther, QStringLiteral("Bob's box"), 0, 0, kShop});
    const qlonglong parent = test::addTaskRow(db(), {{QStringLiteral("SCR_Owner_User_ID"), kMe}});
    const std::pair<DropTarget, QVariant> drops[] = {
        {DropTarget::User, kOther},
        {DropTarget::Workshop, kOtherShop},
        {DropTarget::Category, kFolderCategory},
        {DropTarget::Folder, folder},
        {DropTarget::Task, parent},
    };
    for (const auto& [target, key] : drops) {
        SCOPED_TRACE(static_cast<int>(target));
        const qlonglong n = test::addTaskRow(db(), {{QStringLiteral("SCR_Owner_User_ID"), kMe},
                                                    {QStringLiteral("SCR_Group_ID"), kShop}});
        RenamingPrompt renaming;
        renaming.whileAsked = [&] {
            db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                         {QStringLiteral("Renamed by O'Brien"), n});
        };
        EXPECT_FALSE(dropTask(session, renaming, n, target, key));
        EXPECT_EQ(renaming.shown.last(),
                  QStringLiteral("This task was changed since you opened it. Your changes were "
                                 "not saved."));
        const RecordSet row =
            db().query(QStringLiteral("SELECT * FROM SCR WHERE SCR_Number = ?"), {n});
        EXPECT_EQ(row.text(QStringLiteral("SCR_Owner_User_ID")), kMe);
        EXPECT_EQ(row.number(QStringLiteral("SCR_Group_ID")), kShop);
        EXPECT_TRUE(row.isNull(QStringLiteral("SCR_Category")));
        EXPECT_EQ(row.number(QStringLiteral("SCR_Parent_Folder_Number")), 0);
        EXPECT_EQ(row.number(QStringLiteral("SCR_Parent_Number")), 0);
        EXPECT_EQ(
            db().scalar(QStringLiteral("SELECT count(*) FROM ROUTE WHERE SCR_Number = ?"), {n})
                .toLongLong(),
            0);
    }
}

BX_INSTANTIATE_ENGINES(DropChangedTaskTest);

} // namespace
