#include "core/schema/UserReferences.h"

namespace bx {

const QList<ColumnRef> kUserReferenceColumns = {
    {QStringLiteral("LU_USER"), QStringLiteral("USER_ID")},
    {QStringLiteral("LU_USER"), QStringLiteral("Supervisor_User_ID")},
    {QStringLiteral("SCR"), QStringLiteral("SCR_Owner_User_ID")},
    {QStringLiteral("SCR"), QStringLiteral("SCR_LC_Owner_ID")},
    {QStringLiteral("SCR"), QStringLiteral("SCR_Request_ID")},
    {QStringLiteral("ROUTE"), QStringLiteral("USER_ID")},
    {QStringLiteral("ATTACH"), QStringLiteral("Attach_Owner")},
    {QStringLiteral("MAIL"), QStringLiteral("Owner_User_ID")},
    {QStringLiteral("MAIL_OUTBOX"), QStringLiteral("Queued_By")},
    {QStringLiteral("FOLDER"), QStringLiteral("Folder_Owner_ID")},
    {QStringLiteral("PAXCAL"), QStringLiteral("Cal_ID")},
    {QStringLiteral("TIME_SHEET"), QStringLiteral("User_ID")},
    {QStringLiteral("TIME_SHEET_ROUTE"), QStringLiteral("User_ID")},
    {QStringLiteral("CHECKLIST_ITEM"), QStringLiteral("User_ID")},
    {QStringLiteral("CHECKLIST_ITEM"), QStringLiteral("Sign_User_ID")},
    {QStringLiteral("REPLICA"), QStringLiteral("User_ID")},
    {QStringLiteral("LIFECYCLE"), QStringLiteral("Owner_ID")},
    {QStringLiteral("LIFECYCLE_USER"), QStringLiteral("User_ID")},
    {QStringLiteral("GROUPLINK"), QStringLiteral("User_ID")},
};

} // namespace bx
