#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

// The indexes behind the team view's lists: the workshop, owner and status of a task, who
// requested it, its category and due date (the sub-task's parent is indexed since the start), the
// completing route entry and the checklist signer. Each is made only when it is not there yet, so
// that a database where an administrator already added one of them upgrades as well.
void step76(StepActions& a)
{
    const char* indexes[][2] = {
        {"IX_SCR_Group_Owner_Status", "SCR (SCR_Group_ID, SCR_Owner_User_ID, SCR_Status)"},
        {"IX_SCR_Group_Status", "SCR (SCR_Group_ID, SCR_Status, SCR_Owner_Target_Date)"},
        {"IX_SCR_Request_ID", "SCR (SCR_Request_ID)"},
        {"IX_SCR_Category", "SCR (SCR_Category)"},
        {"IX_ROUTE_Status_Date", "ROUTE (SCR_Number, Route_Status, Route_Date_In)"},
        {"IX_CHECKLIST_ITEM_Sign", "CHECKLIST_ITEM (Sign_User_ID, Attach_Number)"},
        {"IX_CHECKLIST_ITEM_Attach", "CHECKLIST_ITEM (Attach_Number, Action_Name)"},
    };
    for (const auto& [name, on] : indexes)
        a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2")
                  .arg(QString::fromLatin1(name), QString::fromLatin1(on)));
}

} // namespace

QList<StepDefinition> upgradeSteps76()
{
    return {{76, QStringLiteral("Indexes of the task views"), ErrorPolicy::Strict, step76}};
}

} // namespace bx
