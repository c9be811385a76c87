#pragma once

#include "people/workshops/WorkshopStore.h"

#include <QList>

namespace bx {

class Database;
class SettingsStore;

/**
 * The five workshops the user opened last, newest first, in the per-user settings: section
 * "RECENT", keys "RECENT1" (newest) to "RECENT5"; "0" or a missing key is an empty place.
 *
 * Remembering a workshop puts it in RECENT1 and shifts the others down one place (1 to 2, ...,
 * 4 to 5; the fifth falls off). A workshop already in the list is moved to the top instead of
 * being listed twice, and the places below it close up, so the list never holds an ID twice.
 */
class RecentWorkshops
{
public:
    static constexpr int kPlaces = 5;

    explicit RecentWorkshops(SettingsStore& settings)
        : m_settings(settings)
    {
    }

    /** The remembered IDs, newest first, without empty places. */
    QList<qlonglong> ids() const;

    /** Remembers a workshop as the newest. 0 is ignored. */
    void remember(qlonglong groupId);

    /**
     * The remembered workshops that still exist, newest first: the list of the join window.
     * @throws DbError
     */
    QList<WorkshopRow> rows(Database& db) const;

    /**
     * The workshop a log-on starts in: the newest remembered one the user belongs to, else the
     * first of his workshops, else 0. @throws DbError
     */
    qlonglong startWorkshop(Database& db, const QString& userId) const;

private:
    SettingsStore& m_settings;
};

} // namespace bx
