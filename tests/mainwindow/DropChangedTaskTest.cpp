// A task another client changes while the drop's question is open is left as that client left
// it, whatever it was dropped on.

#include "core/db/Database.h"
#include "mainwindow/TaskMoves.h"
#include "support/ActingPrompt.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kMe = QStringLiteral("ann");
const QString kOther = QStringLiteral("O'Brien");
constexpr qlonglong kShop = 7;
constexpr qlonglong kOtherShop = 4;
const QString kFolderCategory = QStringLiteral("O'Neil's folder");

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
    const auto version = [&](qlonglong n) {
        return db()
            .scalar(QStringLiteral("SELECT SCR_Row_Version FROM SCR WHERE SCR_Number = ?"), {n})
            .toLongLong();
    };
    for (const auto& [target, key] : drops) {
        SCOPED_TRACE(static_cast<int>(target));
        const qlonglong n = test::addTaskRow(db(), {{QStringLiteral("SCR_Owner_User_ID"), kMe},
                                                    {QStringLiteral("SCR_Group_ID"), kShop}});
        const qlonglong before = version(n);
        test::ActingPrompt renaming;
        renaming.whileAsked = [&] {
            db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                         {QStringLiteral("Renamed by O'Brien"), n});
        };
        EXPECT_FALSE(dropTask(session, renaming, n, target, key));
        EXPECT_EQ(renaming.shown.last(),
                  QStringLiteral("This task was changed since you opened it. Your changes were "
                                 "not saved."));
        // The rename raised the version once; any write of the drop would have raised it again.
        EXPECT_EQ(version(n), before + 1);
    }
}

BX_INSTANTIATE_ENGINES(DropChangedTaskTest);

} // namespace
