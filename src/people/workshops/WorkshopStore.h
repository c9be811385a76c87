#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bx {

class Database;

/** A row of LU_GROUP. parentId 0 stands for "no parent" (Null in the table). */
struct WorkshopRow
{
    qlonglong groupId = 0;
    QString name;
    QString rootFolder;
    qlonglong parentId = 0;
};

/** A user as the pickers list one. */
struct UserChoice
{
    QString userId;
    QString userName;
};

/** The ready-made candidate lists of the workshop window. */
enum class CandidateList
{
    TeamMembers, ///< my direct reports and me
    TeamMates,   ///< the other users under my supervisor
    MyTeam,      ///< my supervisor, his reports, my reports and me
    AllUsers,    ///< every enabled user
};

// The membership procedures every window uses. User IDs compare without regard to case, as the
// columns do. All throw DbError.

/** The GROUP_ID of the workshop that contains `groupId`; 0 when it has none or is gone. */
qlonglong ParentWorkshop(Database& db, qlonglong groupId);
/** GROUP_NAME of the workshop; empty when it is gone or its name is Null. */
QString GroupName(Database& db, qlonglong groupId);
/** Adds the membership row unless it is there; returns whether a row was added. */
bool AddUserToGroup(Database& db, const QString& userId, qlonglong groupId);
/** Removes the membership row, if any. */
void RemoveUserFromGroup(Database& db, const QString& userId, qlonglong groupId);

/**
 * The queries of the workshop windows, with every value bound. Lists of users leave disabled users
 * out (a Null Disabled counts as enabled) except members(), which shows a workshop as it is.
 * Every method throws DbError.
 */
class WorkshopStore
{
public:
    explicit WorkshopStore(Database& db)
        : m_db(db)
    {
    }

    std::optional<WorkshopRow> load(qlonglong groupId);
    /** All workshops by name. */
    QList<WorkshopRow> all();
    /** Workshops whose name begins with the text ("*" is a wildcard), by name. */
    QList<WorkshopRow> findByPrefix(const QString& text);
    /** Workshops the user is not a member of, by name. */
    QList<WorkshopRow> notMemberOf(const QString& userId);
    /**
     * Parent choices: the workshops `me` belongs to plus the current parent, by name, without the
     * edited workshop and the workshops below it (which would make the tree a loop).
     */
    QList<WorkshopRow> parentChoices(const QString& me, qlonglong currentParent,
                                     qlonglong editedId);
    bool isMember(const QString& userId, qlonglong groupId);

    /**
     * Another workshop (not `exceptId`) of this name, compared trimmed and without regard to case
     * for every alphabet (the embedded engine's NOCASE knows only ASCII letters, so the comparison
     * is made here).
     */
    std::optional<WorkshopRow> sameName(const QString& name, qlonglong exceptId = 0);

    QList<UserChoice> candidates(CandidateList list, const QString& me, const QString& supervisor);
    /** The members of a workshop by user ID (disabled ones too). */
    QList<UserChoice> members(qlonglong groupId);
    /** Enabled users whose ID contains the text, without regard to case. */
    QList<UserChoice> searchUsers(const QString& part);

    /** The folder (LU_CATEGORY) of that name as stored, compared like sameName(). */
    std::optional<QString> findCategory(const QString& folder);
    /** All folder names, sorted. */
    QStringList categories();

private:
    QList<WorkshopRow> rows(const QString& sql, const QVariantList& params = {});
    QList<UserChoice> users(const QString& sql, const QVariantList& params = {});

    Database& m_db;
};

} // namespace bx
