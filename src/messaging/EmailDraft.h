#pragma once

#include "core/Refusal.h"
#include "messaging/Outbox.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace bx {

class Database;
class Session;

/**
 * The e-mail a user writes from the task editor: completion of the addresses typed into its
 * recipient box from the contacts, and sending, which queues one outbox row per recipient and
 * gives back the record of the e-mail that the editor adds to the task's description.
 */
namespace email {

/** The box a refused send puts the focus on. */
enum class EmailField
{
    None,
    To,
};

using EmailRefusal = RefusalOf<EmailField>;

using outbox::kNoSenderAddress;

/** What the e-mail window holds: recipients separated by ";", subject and message. */
struct Draft
{
    QString to;
    QString subject;
    QString message;
};

/** The recipients of a recipient box: its ";"-separated entries, trimmed, empty ones left out. */
QStringList recipientEntries(const QString& to);

/** The recipient box split before the entry being typed: everything up to its last ";", and the
 * rest. */
struct TypedEntry
{
    QString before; ///< up to and including the last ";" (empty when there is none)
    QString entry;  ///< the entry being typed, trimmed
};
TypedEntry typedEntry(const QString& to);

/** The recipient box with the entry being typed replaced by `chosen`, ready for the next one. */
QString withCompletion(const QString& to, const QString& chosen);

/**
 * The contacts with an e-mail address whose name ("first last", or the last name alone) or
 * address begins with `typed`, ignoring case, every character of it taken literally: as
 * "First Last <address>" (the address alone for a contact without a name), ordered by name, at
 * most `limit`. Nothing for a blank text. @throws DbError
 */
QStringList completions(Database& db, const QString& typed, int limit = 20);

/**
 * The record of a sent e-mail, its lines separated by "\n": the e-mail banner, the date in GMT,
 * the recipients (joined by "; "), the subject, the message banner and the message.
 */
QString record(const Draft& draft, const QDateTime& gmt);

/**
 * Sends the draft from the signed-in user: one outbox row per distinct recipient, all in one
 * transaction, From the user's User_Name and User_Email, under the user's own mail settings when
 * the session uses them. Refuses, having written nothing, a box without recipients ("Recipient
 * e-mail address not specified"), any entry that is not one address ("Name <address>" counts as
 * its address), and a user without a usable e-mail address (kNoSenderAddress).
 *
 * @return record() of the e-mail, dated now in GMT
 * @throws DbError
 */
Outcome<QString, EmailField> send(Session& session, const Draft& draft);

} // namespace email
} // namespace bx
