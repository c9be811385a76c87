#pragma once

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

/**
 * The workshop operations of the windows and the main window, for the signed-in user of the
 * session. Each one checks its input and refuses with a message through the prompt, writing
 * nothing; questions go through the prompt too. A database error is reported (shown and logged)
 * and the operation ends as refused, with its transaction rolled back, so no method throws.
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
     * @return the workshop's GROUP_ID, or std::nullopt when nothing was saved
     */
    std::optional<qlonglong> save(const WorkshopDraft& draft);

    /**
     * Renames a group (groupId non-zero) or adds one by name (0). The name is required and must be
     * unique among the other groups. Only GROUP_NAME changes.
     */
    std::optional<qlonglong> saveName(qlonglong groupId, const QString& name);

    /** Loads a group for renaming; a gone one is refused with a message. */
    std::optional<WorkshopRow> openForRename(qlonglong groupId);

    /** Enabled users whose ID contains the text; "User not found" when there is none. */
    QList<UserChoice> searchUsers(const QString& text);

    /** Whether the user may join workshops (Join_Team); otherwise says so, as the start panel does.
     */
    bool mayJoin();

    /**
     * Joins a workshop for good (the join window): needs Join_Team, adds the membership unless it
     * is there and remembers the workshop as recent. A workshop that was only opened for the
     * session stays a membership after this.
     */
    bool join(qlonglong groupId);

    /**
     * Opens a workshop in the main window: it becomes the current workshop and the newest recent
     * one. A workshop the user is not a member of needs Join_Team; the user then becomes a member
     * for this session only (the membership is listed in Session::temporaryWorkshops and removed
     * when the session ends).
     */
    bool open(qlonglong groupId);

    /** Asks "Leave Workshop: " + name; Yes removes the signed-in user's membership. */
    bool leave(qlonglong groupId);

    /**
     * Asks "Delete " + name; Yes deletes the workshop unless it has tasks, attachments or is the
     * workshop of a lifecycle stage (refused in that order).
     */
    bool remove(qlonglong groupId);

    /** The workshop picker's OK: 0 is refused with a message. */
    bool confirmPick(qlonglong groupId);

private:
    std::optional<qlonglong> doSave(const WorkshopDraft& draft);
    bool refuse(const QString& text);

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
