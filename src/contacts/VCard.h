#pragma once

#include "contacts/Contacts.h"
#include "core/Refusal.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace bx {

class Database;
struct UserRecord;

/**
 * Contacts to and from vCard files: written as vCard 4.0 (UTF-8, CR LF, lines folded at 75
 * octets, text escaped), read from 3.0 and 4.0 (and the 2.1 habits still found in them: folded
 * QUOTED-PRINTABLE values, CHARSET, bare type words).
 */
namespace vcard {

/** The largest file an import reads. */
inline constexpr qint64 kMaxImportBytes = 8 * 1024 * 1024;

/** The cards of a file, each a contact (key 0), and how many were left out for want of a name. */
struct ReadCards
{
    QList<contacts::Contact> cards;
    int skipped = 0;
};

/** What an import did. */
struct Imported
{
    int added = 0;
    int skipped = 0;
};

/** The contacts as one vCard 4.0 stream: N, FN, ORG, TITLE, ADR, TEL by type, EMAIL, NOTE. */
QByteArray write(const QList<contacts::Contact>& contacts);

/**
 * Reads every card of the bytes. A malformed stream is refused naming the line (counted from 1)
 * where the fault lies; nothing of it is kept then. Touches no file or database, so that it can
 * be fed any bytes.
 */
Outcome<ReadCards> read(const QByteArray& bytes);

/**
 * Writes every contact to the file with writeWholeFile.
 * @return "" when written, else the refusal's message naming the file @throws DbError
 */
Outcome<int> exportFile(Database& db, const QString& path);

/**
 * Imports the file's cards in one transaction, after the right to edit contacts: refused for a
 * file over kMaxImportBytes (naming file and limit), one that cannot be read, and a malformed
 * one (naming its line); nothing is written then. @throws DbError
 */
Outcome<Imported> importFile(Database& db, const UserRecord& user, const QString& path);

/** "%1 contacts were imported, %2 cards without a name were skipped." */
QString importedSentence(const Imported& imported);

} // namespace vcard
} // namespace bx
