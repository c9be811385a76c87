#include "core/UserRights.h"

namespace bx::UserRights {

bool isAdministrator(const UserRecord& user)
{
    // A record may come from elsewhere than loadUser(), so the built-in rule is applied here too.
    return user.administrator || UserRecord::isBuiltInAdmin(user.userId);
}

bool hasGlobalReports(const UserRecord& user)
{
    return user.globalReports || UserRecord::isBuiltInAdmin(user.userId);
}

bool mayViewOthersTasks(const UserRecord& user)
{
    return user.fullAccess;
}

bool mayJoinWorkshops(const UserRecord& user)
{
    return user.joinTeam;
}

bool mayChangeTaskOwnership(const UserRecord& user, bool ownsTask)
{
    return ownsTask || user.editUnowned;
}

bool mayForward(const UserRecord& user, bool taskActive)
{
    return user.allowForwarding && taskActive;
}

bool mayEditCustomField(const UserRecord& user)
{
    return user.allowEditCustom;
}

bool editsCustomTab(const UserRecord& user)
{
    return user.editCustomTab;
}

bool mayEditCloseDate(const UserRecord& user)
{
    return user.allowEditCloseDate;
}

bool mayCreateLifecycles(const UserRecord& user)
{
    return user.allowCreateLifecycle;
}

bool hasReports(const UserRecord& user)
{
    return user.reports;
}

bool hasBusinessIntelligence(const UserRecord& user)
{
    return user.businessIntelligence;
}

bool receivesEmailNotifications(const UserRecord& user)
{
    return !user.notificationsOff;
}

bool mayEditContacts(const UserRecord& user)
{
    return user.editContactInfo || isAdministrator(user);
}

bool mayDeleteContacts(const UserRecord& user)
{
    return user.deleteContactInfo || isAdministrator(user);
}

std::optional<RefusalOf<>> refuseUnlessMayDeleteWorkshop(const UserRecord& user, bool member)
{
    // Members keep what the main window has always let them do with the workshops it lists.
    if (member)
        return std::nullopt;
    return refuseUnlessAdministrator(user);
}

} // namespace bx::UserRights
