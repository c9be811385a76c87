#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace bx {

class Database;

/**
 * The address book beside the recipient boxes: the contacts with their e-mail addresses, a
 * search over them, and the box with the chosen addresses added.
 */
namespace addressbook {

/** A row of the address book. */
struct AddressEntry
{
    qlonglong key = 0;
    QString name; ///< "Last First", each trimmed
    QString email;
    QString company;
};

/** Every contact, by name. @throws DbError */
QList<AddressEntry> addressBook(Database& db);

/** Whether the entry's name, e-mail or company holds `text` (ignoring case); blank: all. */
bool matches(const AddressEntry& entry, const QString& text);

/**
 * The recipient box after adding the chosen addresses: what it held, then the bare addresses,
 * joined with ";", none empty and none twice (ignoring case).
 */
QString joinRecipients(const QString& box, const QStringList& chosen);

} // namespace addressbook
} // namespace bx
