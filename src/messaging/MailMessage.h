#pragma once

#include "core/Refusal.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QIODevice;

namespace bx {

/** An attachment made from text in memory: a calendar entry, a notice of a digest. */
struct TextAttachment
{
    QString name; ///< its file name
    QString type; ///< its MIME type, parameters included ("text/calendar; method=PUBLISH")
    QString text; ///< written as UTF-8
};

/** One e-mail as the sender composed it, before it becomes bytes. */
struct OutgoingMail
{
    QString fromName;
    QString fromAddress;
    QStringList to; ///< bare addresses, name@domain
    QString subject;
    QString body;
    QString attachmentPath; ///< optional; read piece by piece while the message is written
    QString messageId;      ///< "<id@host>"; empty: a fresh one is made
    QList<TextAttachment> textAttachments; ///< attached after the file, in order
};

/** "<address> is not a valid e-mail address": the refusal of anything that is no one address. */
QString notAnAddress(const QString& address);

/**
 * Whether `address` is one bare address: a local part, "@" and a domain, without blanks, control
 * characters, brackets, quotes or address separators.
 */
bool isMailboxAddress(const QString& address);

/**
 * A fresh Message-ID, "<random@host>", the host being the part of `fromAddress` after its "@"
 * ("localhost" when it has none). Random enough never to repeat between clients.
 */
QString newMessageId(const QString& fromAddress);

/**
 * Checks what would let the sender's text escape its header: the sender and every recipient must
 * be one address with an "@" and no line break, space, control character or address separator;
 * a given Message-ID must have the form "<id@host>". Display names, the subject and attachments'
 * file names may hold any text (control characters, line breaks among them, become spaces). There
 * must be at least one recipient.
 */
std::optional<RefusalOf<>> checkMail(const OutgoingMail& mail);

/**
 * Writes `mail` to `out` as an Internet message: UTF-8, CR LF line ends, no line longer than 998
 * octets; non-ASCII subject and names encoded, the body quoted-printable, and the attachment, when
 * there is one, base64 in a multipart/mixed message with its file name encoded when not ASCII and
 * a content type guessed from its name. The attachment is copied from disk in pieces, so a large
 * file is never whole in memory. Text attachments follow it, base64 as well, with their given type
 * and charset UTF-8 (a type that cannot be read becomes application/octet-stream).
 *
 * @param date the moment the Date header gives, in its own offset from UTC
 * @return the Message-ID written (the given one, or a fresh one when none was given); a refusal,
 *         naming what is wrong, for an address checkMail refuses, an attachment that cannot be
 *         read, or a device that cannot be written (`out` may then hold part of the message)
 */
Outcome<QString> writeMailMessage(const OutgoingMail& mail, const QDateTime& date, QIODevice& out);

/**
 * The same, into the file `path`: the file appears only once the whole message is in it; on a
 * refusal an older file at `path` stays as it was.
 */
Outcome<QString> writeMailMessage(const OutgoingMail& mail, const QDateTime& date,
                                  const QString& path);

} // namespace bx
