#include "tasks/CustomTab.h"

#include "core/UserRecord.h"
#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace bx {
namespace {

class CustomTabTest : public test::SessionTest
{
protected:
    void addWorkshopUnder(qlonglong id, qlonglong parent)
    {
        test::addWorkshop(session.db(), id);
        if (parent != 0)
            session.db().execute(u"UPDATE LU_GROUP SET parent_workshop = ? WHERE GROUP_ID = ?"_s,
                                 {parent, id});
    }
};

// A workshop without its own plug-in takes the nearest one above; a parent chain that loops ends.
TEST_P(CustomTabTest, WorkshopTakesItsOwnPlugInOrTheNearestAbove)
{
    UserRecord admin;
    admin.userId = u"admin"_s;
    addWorkshopUnder(101, 0);
    addWorkshopUnder(102, 101);
    addWorkshopUnder(103, 102);
    addWorkshopUnder(105, 0);
    addWorkshopUnder(104, 105);
    session.db().execute(u"UPDATE LU_GROUP SET parent_workshop = 104 WHERE GROUP_ID = 105"_s);
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 101, u"Maker.Root"_s));
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 103, u" Maker.Three "_s));

    const struct
    {
        qlonglong workshop;
        QString progId;
    } cases[] = {{101, u"Maker.Root"_s},
                 {102, u"Maker.Root"_s},
                 {103, u"Maker.Three"_s},
                 {104, QString()},
                 {199, QString()}};
    for (const auto& c : cases)
        EXPECT_EQ(plugins::customTabProgId(session.db(), c.workshop), c.progId) << c.workshop;

    // Removing a workshop's own choice gives it the one above again.
    ASSERT_FALSE(plugins::setCustomTab(session.db(), admin, 103, QString()));
    EXPECT_EQ(plugins::customTabProgId(session.db(), 103), u"Maker.Root"_s);
    EXPECT_EQ(plugins::ownCustomTab(session.db(), 103), QString());
}

BX_INSTANTIATE_ENGINES(CustomTabTest);

} // namespace
} // namespace bx
