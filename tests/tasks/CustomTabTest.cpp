#include "tasks/CustomTab.h"

#include "core/UserRecord.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

namespace bx {
namespace {

class CustomTabTest : public test::SessionTest
{
protected:
    void addWorkshopUnder(qlonglong id, qlonglong parent)
    {
        test::addWorkshop(session.db(), id);
        if (parent != 0)
            session.db().execute(
                QStringLiteral("UPDATE LU_GROUP SET parent_workshop = ? WHERE GROUP_ID = ?"),
                {parent, id});
    }
};

// A workshop without its own plug-in takes the nearest one above; a parent chain that loops ends.
TEST_P(CustomTabTest, WorkshopTakesItsOwnPlugInOrTheNearestAbove)
{
    UserRecord admin;
    admin.userId = QStringLiteral("admin");
    addWorkshopUnder(101, 0);
    addWorkshopUnder(102, 101);
    addWorkshopUnder(103, 102);
    addWorkshopUnder(105, 0);
    addWorkshopUnder(104, 105);
    session.db().execute(
        QStringLiteral("UPDATE LU_GROUP SET parent_workshop = 104 WHERE GROUP_ID = 105"));
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 101, QStringLiteral("Maker.Root")));
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 103, QStringLiteral(" Maker.Three ")));

    const struct
    {
        qlonglong workshop;
        QString progId;
    } cases[] = {{101, QStringLiteral("Maker.Root")},
                 {102, QStringLiteral("Maker.Root")},
                 {103, QStringLiteral("Maker.Three")},
                 {104, QString()},
                 {199, QString()}};
    for (const auto& c : cases)
        EXPECT_EQ(plugins::customTabProgId(session.db(), c.workshop), c.progId) << c.workshop;

    // Removing a workshop's own choice gives it the one above again.
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 103, QString()));
    EXPECT_EQ(plugins::customTabProgId(session.db(), 103), QStringLiteral("Maker.Root"));
    EXPECT_EQ(plugins::ownCustomTab(session.db(), 103), QString());
}

TEST_P(CustomTabTest, OnlyAdministratorsChooseAndNothingIsWrittenOtherwise)
{
    test::addWorkshop(session.db(), 101);
    UserRecord plain;
    plain.userId = QStringLiteral("ann");
    const auto refused = plugins::setCustomTab(session.db(), plain, 101, QStringLiteral("Maker.X"));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, UserRights::kNotAdministrator);
    EXPECT_EQ(session.db().scalar(QStringLiteral("SELECT COUNT(*) FROM CUSTOM_TAB")).toInt(), 0);
}

BX_INSTANTIATE_ENGINES(CustomTabTest);

} // namespace
} // namespace bx
