#pragma once

#include "core/Refusal.h"
#include "people/workshops/WorkshopStore.h"

#include <QStringList>

#include <optional>

namespace bx {

class Prompt;
class Session;

/** What the workshop window hands over to be saved. */
struct WorkshopDraft
{
    qlonglong groupId = 0; ///< 0: a new workshop
    QString name;
    qlonglong parentId = 0; ///< 0: no parent
    QString rootFolder;
    QStringList members; ///< user IDs
};

/** The box of the workshop window a refused save puts the focus on. */
enum class WorkshopField
{
    None,
    Name,
    Members,
    RootFolder
};

/**
 * The workshop operations of the windows and the main window, for the signed-in user of the
 * session. Each one checks its input and returns its refusal, writing nothing; questions go
 * through the prompt. Every method that reads or writes throws DbError, with its transaction
 * rolled back.
 */
class WorkshopService
{
public:
    WorkshopService(Session& session, Prompt& prompt);

    /** The signed-in user's ID as his row spells it. */
    QString me() const;

    /**
     * Saves a new or edited workshop. Refuses an empty name, no members, no root folder and a name
     * that another workshop has in any letter case. A root folder that does not exist is offered
     * for creation ("Create Folder?"); No returns without saving. Then, in one transaction: the
     * new folder with view access for the signed-in user, the LU_GROUP row (name and folder
     * trimmed), the members (an edited workshop's list is replaced), and every member enabled.
     *
     * @return the workshop's GROUP_ID; declined when No was answered
     */
    Outcome<qlonglong, WorkshopField> save(const WorkshopDraft& draft);

    /**
     * Renames a group (groupId non-zero) or adds one by name (0). The name is required and must be
     * unique among the other groups. Only GROUP_NAME changes. Hands back the GROUP_ID.
     */
    Outcome<qlonglong, WorkshopField> saveName(qlonglong groupId, const QString& name);

    /** Loads a group for renaming; a gone one is refused. */
    Outcome<WorkshopRow> openForRename(qlonglong groupId);

    /** Enabled users whose ID contains the text; refused with "User not found" when none. */
    Outcome<QList<UserChoice>> searchUsers(const QString& text);

    /** Refused unless the user may join workshops (Join_Team), worded as the start panel does. */
    std::optional<RefusalOf<>> mayJoin() const;

    /**
     * Joins a workshop for good (the join window): needs Join_Team, adds the membership unless it
     * is there and remembers the workshop as recent. A workshop that was only opened for the
     * session stays a membership after this.
     */
    Outcome<> join(qlonglong groupId);

    /**
     * Opens a workshop in the main window: it becomes the current workshop and the newest recent
     * one. A workshop the user is not a member of needs Join_Team; the user then becomes a member
     * for this session only (the membership is listed in Session::temporaryWorkshops and removed
     * when the session ends).
     */
    Outcome<> open(qlonglong groupId);

    /**
     * Asks "Leave Workshop: " + name; Yes removes the signed-in user's membership. Returns whether
     * the user left.
     */
    bool leave(qlonglong groupId);

    /**
     * Refused unless the user is an administrator or a member of the workshop
     * (UserRights::kNotAdministrator). Then asks "Delete " + name; Yes deletes the workshop unless
     * it has tasks, attachments or is the workshop of a lifecycle stage (refused in that order).
     * Declined on No.
     */
    Outcome<> remove(qlonglong groupId);

    /** The workshop picker's OK: 0 is refused. */
    static std::optional<RefusalOf<>> confirmPick(qlonglong groupId);

private:
    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
