#pragma once

#include <QString>

namespace bx {

/**
 * A user's row of LU_USER as the log-on loads it: identity and the rights every window checks
 * (never the stored password, which the program does not read; see Database::passwordSetting).
 * Null reads as empty text or false. For "admin" (any case) administrator and global reports are
 * always true.
 */
struct UserRecord
{
    QString userId;
    QString userName;
    QString email;
    QString accessLevel;
    QString supervisor;
    bool disabled = false;
    bool notificationsOff = false;     ///< Ext1
    bool allowEditCustom = false;      ///< Allow_Edit_Custom
    bool userReviewAccount = false;    ///< User_Review_Account
    bool allowForwarding = false;      ///< Allow_Forwarding
    bool fullAccess = false;           ///< Full_Access
    bool editContactInfo = false;      ///< Edit_Contact_Info
    bool deleteContactInfo = false;    ///< Delete_Contact_Info
    bool editUnowned = false;          ///< Edit_Unowned
    bool allowEditCloseDate = false;   ///< Allow_Edit_CloseDate
    bool allowCreateLifecycle = false; ///< Allow_Create_Lifecycle
    bool editCustomTab = false;        ///< Edit_Custom_Tab
    bool reports = false;              ///< Ext10: reports and the report designer
    bool businessIntelligence = false; ///< Ext11: analyses
    bool administrator = false;        ///< Ext12
    bool globalReports = false;        ///< Ext13
    bool joinTeam = false;             ///< Join_Team

    /** Whether the user ID is the built-in administrator "admin" (trimmed, any case). */
    static bool isBuiltInAdmin(const QString& userId)
    {
        return userId.trimmed().compare(QLatin1String("admin"), Qt::CaseInsensitive) == 0;
    }
};

} // namespace bx
