#pragma once

#include "messaging/Pop3Client.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace bx::pop3 {

/**
 * The lines "number size" of a LIST answer. Only lines whose number is above 0 and whose size is
 * a number not below 0 are taken; other lines are passed over.
 */
QList<Pop3Listing> readListing(const QByteArray& answer);

/**
 * The lines "number id" of a UIDL answer. Only lines whose number is above 0 and whose id is made
 * of printable ASCII characters (0x21 to 0x7E, as the protocol allows) are taken; other lines are
 * passed over, so that no control character reaches an id the mailbox keeps.
 */
QHash<int, QString> readUniqueIds(const QByteArray& answer);

} // namespace bx::pop3
