#include "people/UserStore.h"

#include "core/db/Database.h"

namespace bx {

std::optional<UserRecord> loadUser(Database& db, const QString& userId)
{
    // The columns by name: on the server a user's login may not read User_Password.
    const RecordSet rs = db.query(
        QStringLiteral("SELECT USER_ID, User_Name, User_Email, Access_Level, Supervisor_User_ID, "
                       "Disabled, Ext1, Allow_Edit_Custom, User_Review_Account, Allow_Forwarding, "
                       "Full_Access, Edit_Contact_Info, Delete_Contact_Info, Edit_Unowned, "
                       "Allow_Edit_CloseDate, Allow_Create_Lifecycle, Edit_Custom_Tab, Ext10, "
                       "Ext11, Ext12, Ext13, Join_Team FROM LU_USER WHERE ") +
            db.dialect().textEquals(QStringLiteral("USER_ID")),
        {userId.trimmed()});
    if (rs.eof())
        return std::nullopt;

    const auto text = [&](const char* column) { return rs.text(QLatin1String(column)); };
    const auto flag = [&](const char* column) { return rs.flag(QLatin1String(column)); };

    UserRecord r;
    r.userId = text("USER_ID");
    r.userName = text("User_Name");
    r.email = text("User_Email");
    r.accessLevel = text("Access_Level");
    r.supervisor = text("Supervisor_User_ID");
    r.disabled = flag("Disabled");
    r.notificationsOff = flag("Ext1");
    r.allowEditCustom = flag("Allow_Edit_Custom");
    r.userReviewAccount = flag("User_Review_Account");
    r.allowForwarding = flag("Allow_Forwarding");
    r.fullAccess = flag("Full_Access");
    r.editContactInfo = flag("Edit_Contact_Info");
    r.deleteContactInfo = flag("Delete_Contact_Info");
    r.editUnowned = flag("Edit_Unowned");
    r.allowEditCloseDate = flag("Allow_Edit_CloseDate");
    r.allowCreateLifecycle = flag("Allow_Create_Lifecycle");
    r.editCustomTab = flag("Edit_Custom_Tab");
    r.reports = flag("Ext10");
    r.businessIntelligence = flag("Ext11");
    r.administrator = flag("Ext12");
    r.globalReports = flag("Ext13");
    r.joinTeam = flag("Join_Team"); // Null reads as 0, so as false

    // The built-in administrator keeps his rights even if someone cleared them in his row.
    if (UserRecord::isBuiltInAdmin(userId)) {
        r.administrator = true;
        r.globalReports = true;
    }
    return r;
}

} // namespace bx
