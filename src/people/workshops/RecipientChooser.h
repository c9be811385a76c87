#pragma once

#include "people/cSelUser.h"

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;

/** A member row of the chooser's user list. */
struct ChooserUser
{
    QString userId;
    QString userName;
    QString email;
    QString location;
};

/** A row of the chooser's lifecycle list. */
struct ChooserLifecycle
{
    QString lifecycleId;
    QString ownerId;
    qlonglong ownerGroupId = 0;
};

/**
 * What the recipient chooser holds while the user picks: the chosen workshop, the users ticked in
 * it (ticks in other workshops are kept when the workshop changes), or one lifecycle.
 *
 * result(): a chosen lifecycle alone, in lifecycle mode; otherwise the ticked users in the order
 * they were ticked; otherwise, with a workshop chosen, the workshop itself; otherwise nothing.
 *
 * The echo line: "[   " + the parts joined by "; " + " ]", where for every workshop that has
 * ticked users (or for the chosen workshop when nobody is ticked) the parts are "Workshop: " +
 * its name followed by its user IDs; a lifecycle gives "Workshop: " + the owning workshop's name
 * and the lifecycle ID. Nothing chosen gives an empty line.
 */
class RecipientChooser
{
public:
    enum class Mode
    {
        Users,     ///< workshops and users
        Lifecycles ///< lifecycles of the chosen workshop
    };

    explicit RecipientChooser(Database& db)
        : m_db(db)
    {
    }

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }

    /** Chooses the workshop whose members and lifecycles are listed; 0 chooses none. */
    void setWorkshop(qlonglong groupId, const QString& name);
    qlonglong workshop() const { return m_groupId; }

    /** The enabled members of the chosen workshop by user ID. @throws DbError */
    QList<ChooserUser> users() const;
    /** The lifecycles the chosen workshop owns by ID. @throws DbError */
    QList<ChooserLifecycle> lifecycles() const;

    void setTicked(const QString& userId, bool ticked);
    /** Whether the user is ticked in the chosen workshop. */
    bool isTicked(const QString& userId) const;

    /** Makes the lifecycle the recipient (the list's click). */
    void chooseLifecycle(const ChooserLifecycle& lifecycle);

    QList<cSelUser> result() const;
    QString echo() const;

private:
    QString nameOf(qlonglong groupId) const;

    Database& m_db;
    Mode m_mode = Mode::Users;
    qlonglong m_groupId = 0;
    QString m_groupName;
    QList<cSelUser> m_ticked;
    QList<std::pair<qlonglong, QString>> m_names; ///< workshops seen, for the echo line
    std::optional<cSelUser> m_lifecycle;
};

} // namespace bx
