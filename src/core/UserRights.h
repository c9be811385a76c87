#pragma once

#include "core/Refusal.h"
#include "core/UserRecord.h"

#include <QString>

#include <optional>

/**
 * The rights a user's row grants, one answer per right, and the refusal each window shows when
 * the right is missing. Windows ask these instead of reading UserRecord's flags themselves, so
 * that a rule such as "admin is always an administrator" holds everywhere.
 *
 * Every answer works on the record as it was loaded at log-on (Session::user.record).
 */
namespace bx::UserRights {

/** Refused by the user administration and the administrator menus. */
inline const QString kNotAdministrator =
    QStringLiteral("Unable to modify.  You do not have Brindlepax Administrator privileges.");
/** Refused by the main window when opening a workshop the user is not a member of. */
inline const QString kJoinWorkshopRequired =
    QStringLiteral("Join Workshop privilege is required to open other workshops.  Please see your "
                   "Brindlepax Administrator.");
/** Refused by the join-workshop wizard. */
inline const QString kNoJoinWorkshopPrivilege = QStringLiteral(
    "Sorry, you don't have Join Workshop privileges.  Please see your Brindlepax Administrator.");
/** Refused when creating a sub-task of a task owned by somebody else. */
inline const QString kMustOwnParentTask =
    QStringLiteral("You must own the task for which you are creating a subtask");
/** Refused when making a sub-task independent. */
inline const QString kMayNotDetachSubtask =
    QStringLiteral("System settings don't allow to make this operation. See 'Allow to Change Task "
                   "Ownership' option of Admin utility.");
/** Refused by the report designer when a shared report would change. */
inline const QString kNoGlobalReports = QStringLiteral(
    "Sorry, you don't have Global Reports privilege, which is needed to modify custom reports");
/** Refused by the report window's changes of stored reports. */
inline const QString kNoReports =
    QStringLiteral("Sorry, you don't have Reports and Report Designer privilege.  Please see your "
                   "Brindlepax Administrator.");
/** Refused when saving or importing contacts. */
inline const QString kNoEditContacts =
    QStringLiteral("Sorry, you don't have the privilege to edit the contact database.  Please see "
                   "your Brindlepax Administrator.");
/** Refused when deleting a contact. */
inline const QString kNoDeleteContacts =
    QStringLiteral("Sorry, you don't have the privilege to delete contacts.  Please see your "
                   "Brindlepax Administrator.");
/** Refused by the lifecycle designer's changes. */
inline const QString kNoLifecyclePrivilege =
    QStringLiteral("Sorry, you don't have the privilege to create lifecycles.  Please see your "
                   "Brindlepax Administrator.");

/** Refused when saving, editing or removing a stored analysis. */
inline const QString kNoBusinessIntelligence =
    QStringLiteral("Sorry, you don't have Business Intelligence privilege, which is needed to "
                   "modify analyses.  Please see your Brindlepax Administrator.");

/** Ext12, and always for the built-in "admin": user administration and administrator menus. */
bool isAdministrator(const UserRecord& user);
/** Ext13, and always for "admin": may change shared reports. */
bool hasGlobalReports(const UserRecord& user);
/** Full_Access: task lists may show tasks owned by other team members. */
bool mayViewOthersTasks(const UserRecord& user);
/** Join_Team (Null is false): may open workshops the user is not a member of. */
bool mayJoinWorkshops(const UserRecord& user);
/**
 * Edit_Unowned: may create sub-tasks of tasks owned by others and make a sub-task independent.
 * `ownsTask` is whether the user owns the task in question; an owner needs no right.
 */
bool mayChangeTaskOwnership(const UserRecord& user, bool ownsTask = false);
/** Allow_Forwarding: free routing is offered, for an active task (status "A") only. */
bool mayForward(const UserRecord& user, bool taskActive);
/** Allow_Edit_Custom: the task editor lets the user change the custom field. */
bool mayEditCustomField(const UserRecord& user);
/** Edit_Custom_Tab: the custom tab opens in edit mode rather than view mode. */
bool editsCustomTab(const UserRecord& user);
/** Allow_Edit_CloseDate: the to-do window lets the user edit the close date. */
bool mayEditCloseDate(const UserRecord& user);
/** Allow_Create_Lifecycle: the lifecycle designer command is available. */
bool mayCreateLifecycles(const UserRecord& user);
/** Ext10: reports and the report designer are available. */
bool hasReports(const UserRecord& user);
/** Ext11: the analysis screens are available. */
bool hasBusinessIntelligence(const UserRecord& user);
/** Ext1 clear: the user gets e-mail notifications at all. */
bool receivesEmailNotifications(const UserRecord& user);
/** Edit_Contact_Info, and always for administrators: may add, change and import contacts. */
bool mayEditContacts(const UserRecord& user);
/** Delete_Contact_Info, and always for administrators: may delete contacts. */
bool mayDeleteContacts(const UserRecord& user);

// The checks in front of the administrative operations. Every logic entry that changes what all
// users share asks one of them first and returns its refusal, having written nothing, whoever
// called it: the windows hide these commands, but that alone keeps no other caller out. `field`
// is the refusal's field in the caller's enum (normally its "none").

/**
 * kNotAdministrator unless isAdministrator(): user administration, system settings, lookup
 * lists and rule scripts.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessAdministrator(const UserRecord& user,
                                                          Field field = Field{})
{
    if (isAdministrator(user))
        return std::nullopt;
    return RefusalOf<Field>{kNotAdministrator, field};
}

/**
 * kNoLifecyclePrivilege unless mayCreateLifecycles() or isAdministrator(): lifecycles, their
 * stages and their action-item templates.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessLifecycleDesigner(const UserRecord& user,
                                                              Field field = Field{})
{
    if (mayCreateLifecycles(user) || isAdministrator(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoLifecyclePrivilege, field};
}

/**
 * kNoBusinessIntelligence unless hasBusinessIntelligence() or isAdministrator(): saving and
 * removing stored analyses, which every user with the right shares.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessAnalyst(const UserRecord& user, Field field = Field{})
{
    if (hasBusinessIntelligence(user) || isAdministrator(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoBusinessIntelligence, field};
}

/**
 * kNoReports unless hasReports() or isAdministrator(): listing, opening, publishing and deleting
 * stored reports.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessReporter(const UserRecord& user, Field field = Field{})
{
    if (hasReports(user) || isAdministrator(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoReports, field};
}

/**
 * kNoGlobalReports unless hasGlobalReports(): changing a report every workshop shares, and
 * running a query the user wrote himself.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessGlobalReporter(const UserRecord& user,
                                                           Field field = Field{})
{
    if (hasGlobalReports(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoGlobalReports, field};
}

/** kNoEditContacts unless mayEditContacts(): saving a contact, importing contacts. */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessContactEditor(const UserRecord& user,
                                                          Field field = Field{})
{
    if (mayEditContacts(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoEditContacts, field};
}

/** kNoDeleteContacts unless mayDeleteContacts(): deleting a contact. */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessContactDeleter(const UserRecord& user,
                                                           Field field = Field{})
{
    if (mayDeleteContacts(user))
        return std::nullopt;
    return RefusalOf<Field>{kNoDeleteContacts, field};
}

/**
 * kNotAdministrator unless the user is an administrator or `member` of the workshop (he has a
 * GROUPLINK row for it): deleting a workshop.
 */
std::optional<RefusalOf<>> refuseUnlessMayDeleteWorkshop(const UserRecord& user, bool member);

/**
 * kNotAdministrator unless the user is an administrator or `member` of the checklist's workshop
 * (he has a GROUPLINK row for it): opening the checklist designer, and creating, editing, saving
 * and deleting a checklist.
 */
template <typename Field = NoField>
std::optional<RefusalOf<Field>> refuseUnlessChecklistDesigner(const UserRecord& user, bool member,
                                                              Field field = Field{})
{
    if (member)
        return std::nullopt;
    return refuseUnlessAdministrator(user, field);
}

} // namespace bx::UserRights
