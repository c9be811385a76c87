#pragma once

#include "core/Refusal.h"

#include <QDateTime>
#include <QString>

namespace bx {

class Database;

namespace outbox {

/** Said when the user whose command would send e-mail has no e-mail address of his own. */
inline const QString kNoSenderAddress = QStringLiteral(
    "Your user record has no e-mail address, so no e-mail can be sent from you.  Please ask your "
    "Administrator to enter one.");

/**
 * What the subject of every notice the program sends begins with ("BX#" + the task's number, or
 * "BX# <n> notices" for a digest); mail fetched with such a subject is not stored again.
 */
inline const QString kNoticeMarker = QStringLiteral("BX#");

/**
 * The outbox's table: queue() notes a change to it on the connection (Database::noteChanged),
 * so that whoever watches its commits (the main window, for its sender) learns of mail queued.
 */
inline const QString kOutboxTable = QStringLiteral("MAIL_OUTBOX");

/** States of an outbox row. */
inline constexpr char kPending[] = "P"; ///< waiting for its next attempt
inline constexpr char kSent[] = "S";    ///< accepted by the mail server
inline constexpr char kFailed[] = "F";  ///< refused for good, or pending too long

/** One e-mail waiting to leave, for one recipient: a row of MAIL_OUTBOX. */
struct QueuedMail
{
    QString recipient; ///< one bare address, name@domain
    QString senderName;
    QString senderAddress;
    QString subject;
    QString body;
    QString attachName;    ///< an optional text attachment: its file name,
    QString attachType;    ///< its MIME type ("text/calendar; method=PUBLISH"),
    QString attachText;    ///< and its text
    QString messageId;     ///< "<id@host>"; empty: a fresh one is made when queued
    bool personal = false; ///< to be sent with the queuing user's own mail settings
    qlonglong scrNumber = 0;
    qlonglong routeNumber = 0;
    int digestMinutes = 0; ///< a notice may wait this long to leave with the recipient's others
};

/**
 * Refuses anything but one bare address (local part "@" domain, no blank, control character,
 * bracket or separator) with "<address> is not a valid e-mail address", so that what a user typed
 * never reaches the envelope or a header as more than one address.
 */
std::optional<RefusalOf<>> checkAddress(const QString& address);

/** The address of "Name <address>" (the part in the brackets), else the text trimmed. */
QString bareAddress(const QString& typed);

/**
 * Adds one pending row, due at once (or after `digestMinutes`), through `db`, inside the caller's
 * transaction when one is open: the mail leaves only if the caller's work commits. Refuses a
 * recipient or sender address checkAddress refuses, writing nothing.
 *
 * @param queuedBy the user whose command queues the mail
 * @param nowUtc   the present moment, UTC
 * @return the row's Outbox_Number
 */
Outcome<qlonglong> queue(Database& db, const QueuedMail& mail, const QString& queuedBy,
                         const QDateTime& nowUtc);

} // namespace outbox
} // namespace bx
