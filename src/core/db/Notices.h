#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace bx {

/** A notice the server delivered on a channel the connection listens on. */
struct Notice
{
    QString channel;
    QString payload;
    bool fromThisConnection = false; ///< raised by a statement of the connection that took it
};

/**
 * What one change notice of the server's triggers says: rows of one table changed in one
 * statement, for one workshop (SCR, ROUTE) or one user (MAIL, MAIL_OUTBOX).
 *
 * The payload is a small JSON object: "t" the table in lower case, "w" the workshop or "u" the
 * user, and "k" the keys of the rows (task numbers for SCR and ROUTE, Mail_Number,
 * Outbox_Number). Past kMaxNamedKeys rows, or near the server's payload limit, "k" is left out
 * and the notice stands for every row of the workshop or user; a statement that touched rows of
 * more than kMaxGroups workshops or users sends one notice with neither, for the whole table.
 */
struct ChangeNotice
{
    QString table;         ///< "scr", "route", "mail" or "mail_outbox"
    QVariant workshop;     ///< SCR and ROUTE; Null when not known (a task deleted with its routes)
    QString user;          ///< MAIL: the owner; MAIL_OUTBOX: who queued the rows
    QList<qlonglong> keys; ///< the rows named; empty when `whole`
    bool whole = false;    ///< every row of the workshop or user (of the table, with neither)

    /** The notice a payload holds, or nothing when it is not one of ours. */
    static std::optional<ChangeNotice> parse(const QString& payload);

    /** Whether the notice may concern rows of `userId` (compared trimmed, ignoring case). */
    bool concernsUser(const QString& userId) const;
    /** Whether the notice may concern rows of the workshop `groupId`. */
    bool concernsWorkshop(qlonglong groupId) const;
};

/** Rows named in one notice at most; more make one notice for the workshop or user. */
inline constexpr int kMaxNamedKeys = 40;
/** A payload longer than this, in bytes, names no keys (the server refuses 8,000). */
inline constexpr int kMaxNamedPayload = 7000;
/** Workshops or users one statement names notices for at most; more make one for the table. */
inline constexpr int kMaxGroups = 20;

/**
 * The SQL expression of the channel on which the triggers of a schema announce its changes, for
 * the schema named by the SQL expression `schemaExpression`: short enough for any schema name,
 * and apart for each schema, since notices go to the whole server database.
 */
QString changeChannelSql(const QString& schemaExpression);

} // namespace bx
