#pragma once

#include "core/Refusal.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bx {

class Clock;
class Database;
class Prompt;
struct UserRecord;

/**
 * The shared address list (CONTACT) and its calls (CALL_LOG): reading, saving and deleting a
 * contact, the list's prefix search, company completion, the card text a task shows, and the
 * calls. Saving, importing and deleting ask the user's rights first and write nothing when
 * refused.
 */
namespace contacts {

/** The card's boxes a refusal puts the focus on. */
enum class ContactField
{
    None,
    LastName,
    FirstName,
    Content, ///< the call dialog's text
};

using ContactRefusal = RefusalOf<ContactField>;

inline const QString kNotFound = QStringLiteral("Unable to locate Contact record");
inline const QString kNoContactSelected = QStringLiteral("No Contact Selected");

/** The key tasks kept for a contact carry in SCR_Contact_Key; it never names a contact there. */
inline constexpr qlonglong kTaskOfContactMarker = 1;

/** One contact, every text as the user sees it (a stored single blank reads as empty). */
struct Contact
{
    qlonglong key = 0; ///< 0 for a contact not saved yet
    QString lastName;
    QString firstName;
    QString mi;
    QString title;
    QString company;
    QString address;
    QString city;
    QString state;
    QString zip;
    QString phoneHome;
    QString phoneWork;
    QString phoneCell;
    QString fax;
    QString email;
    QString notes;

    bool operator==(const Contact&) const = default;
};

/** A row of the contact list. */
struct ListedContact
{
    qlonglong key = 0;
    QString name; ///< "Last First", each trimmed
    QString company;
};

/** The contact with `key`; nothing when there is none. @throws DbError */
std::optional<Contact> load(Database& db, qlonglong key);

/**
 * Checks the names ("Last Name must be specified", then "First Name must be specified") without
 * the right: what the card refuses before anything else.
 */
std::optional<ContactRefusal> checkNames(const Contact& contact);

/**
 * Saves the contact: refused without the right to edit contacts and for a missing name; every
 * other empty text is stored as a single blank. A contact with key 0 gets a new key.
 * @return the stored key @throws DbError
 */
Outcome<qlonglong, ContactField> save(Database& db, const UserRecord& user, const Contact& contact);

/**
 * Adds the contacts in one transaction, each as save() would store it, after the right to edit
 * contacts (asked first: refused, nothing is written). Names are not checked: the caller keeps
 * out what it cannot name. @return how many were added @throws DbError
 */
Outcome<int> addAll(Database& db, const UserRecord& user, const QList<Contact>& contacts);

/** Every contact, by last and first name, for export. @throws DbError */
QList<Contact> all(Database& db);

/**
 * Deletes the contact after asking "Delete the contact from Brindlepax?" (only Yes goes on), in
 * one transaction: the tasks naming it lose their key (never the marker key 1 of tasks kept for a
 * contact), its calls and the task attachments that name it go with it. Refused without the right
 * to delete, and with "Unable to locate contact record" when there is no such contact. @throws
 * DbError
 */
Outcome<Done> remove(Database& db, const UserRecord& user, Prompt& prompt, qlonglong key);

/**
 * The contacts whose last name begins with `prefix` (ignoring case, every character literal),
 * ordered by last name, then first name (letter case aside), then key; every contact for an
 * empty prefix. @throws DbError
 */
QList<ListedContact> search(Database& db, const QString& prefix);

/** The distinct companies beginning with `typed` (all for an empty text), sorted. */
QStringList companies(Database& db, const QString& typed);

/**
 * The first contact of the company, whose work details the card copies; nothing when none has
 * it. @throws DbError
 */
std::optional<Contact> firstOfCompany(Database& db, const QString& company);

/**
 * The card text a task shows for the contact, lines separated by CR LF: "Last, First"; title;
 * company; address; "City, State Zip"; "Home:", "Work:", "FAX:" with their numbers; e-mail. A
 * line whose fields are all empty is left out. Empty for an unknown key. @throws DbError
 */
QString cardText(Database& db, qlonglong key);

/** Up to this many distinct keys listNames() binds one by one; more are read as their range. */
inline constexpr qsizetype kKeysBoundOneByOne = 500;

/**
 * "Last, First" for each key that names a contact, read in one statement however many keys
 * there are; keys 0, 1 and unknown keys are not in the answer (the list shows them empty).
 * @throws DbError
 */
QHash<qlonglong, QString> listNames(Database& db, const QList<qlonglong>& keys);

// --- Calls --------------------------------------------------------------------------------------

/** One call; the date is local time (stored in GMT). */
struct Call
{
    qlonglong id = 0; ///< 0 for a new call
    qlonglong contactKey = 0;
    QDateTime date;
    QString content;
};

/** A row of a contact's call history. */
struct ListedCall
{
    qlonglong id = 0;
    QDateTime date; ///< local
    QString summary;
};

/** The first line of a call's text (up to CR or LF), cut to at most 50 characters. */
QString callSummary(const QString& content);

/** The contact's calls, newest first. @throws DbError */
QList<ListedCall> calls(Database& db, const Clock& clock, qlonglong contactKey);

/** The call with `id`; nothing when there is none. @throws DbError */
std::optional<Call> loadCall(Database& db, const Clock& clock, qlonglong id);

/**
 * Saves the call (a new id for id 0), its date stored in GMT; a text empty after trimming is
 * refused with "Please define a Content.". @return the call's id @throws DbError
 */
Outcome<qlonglong, ContactField> saveCall(Database& db, const Clock& clock, const Call& call);

/** Deletes the call. @throws DbError */
void deleteCall(Database& db, qlonglong id);

} // namespace contacts
} // namespace bx
