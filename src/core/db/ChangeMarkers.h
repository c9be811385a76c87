#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace bx {

class Database;

/**
 * The change markers of the workshops: the table CHANGE_MARKER, which the database's own triggers
 * write after every change to the rows the task views read (tasks, their routes, approval
 * checklists, users' Disabled flag). A poll reads the markers first and the view only when they
 * moved, so that an unchanged database costs one small query per check.
 *
 * Every login only reads the table; the triggers write it with the rights of the schema's owner.
 */
namespace change_markers {

/** The table the triggers write. */
inline const QString kTable = QStringLiteral("CHANGE_MARKER");

/**
 * The workshop whose marker moves for a change that may concern every workshop's view: a user
 * disabled or enabled, a task of no workshop, a checklist template. Every workshop's check reads
 * it beside its own.
 */
inline constexpr qlonglong kEveryWorkshop = 0;

/**
 * Which markers stand for a view: those of one workshop (with kEveryWorkshop's), or, for a view
 * that lists tasks of any workshop (a search, the approval list), all of them.
 */
struct Scope
{
    std::optional<qlonglong> workshop; ///< none: every workshop

    bool operator==(const Scope&) const = default;
};

/** What one check of the markers found. */
struct Reading
{
    /** Some marker of the scope moved since the state compared with (always, without one). */
    bool moved = true;
    /**
     * Where the markers stand now, to hand to the next check; an opaque value of the engine. A
     * view read after this check sees every change the state counts as seen.
     */
    QVariant state;
};

/**
 * Reads the markers of `scope` in one statement and compares them with `since` (a state an
 * earlier check of the same scope returned, on any connection to the database; invalid: none).
 *
 * The embedded engine serialises its writers, so there a marker is a number that only grows, and
 * the state is the highest of the scope. The server's writers run side by side and commit in any
 * order, so a highest number could hide a change that commits after a later one: there the state
 * is the check's snapshot of running transactions, and the markers moved when a row of the scope
 * was written by a transaction that snapshot did not see committed.
 * @throws DbError
 */
Reading read(Database& db, const Scope& scope, const QVariant& since);

} // namespace change_markers

} // namespace bx
