#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace bx {

class Clock;

/** What the mailbox keeps of one Internet message that came in. */
struct IncomingMail
{
    QString title;  ///< the subject, decoded, on one line
    QString sender; ///< "Name <address>", or the address alone when the sender gave no name
    QDateTime date; ///< local wall-clock time (naive, see core/Clock.h)
    QString body;   ///< plain text; the names of the attachments follow at its end
    QStringList attachments; ///< file names of the parts the mailbox cannot keep
};

/**
 * Reads the Internet message in the file `path`, which is never held whole in memory beyond the
 * text it yields. Never fails: a message without headers, with broken encodings or with unknown
 * character sets gives what can be read of it (text in an unknown character set is taken as UTF-8
 * when it is valid UTF-8, else as Latin-1); a file that cannot be read gives an empty message.
 *
 * The body is the message's plain text, or its HTML turned into text when it has none. Texts hold
 * no NUL characters. The date is the Date header's moment in local time, with the clock's base
 * bias as everywhere the program stores local time; the clock's present when the header is
 * missing or cannot be read.
 */
IncomingMail readIncomingMail(const QString& path, const Clock& clock);

/** The same, for a message already in memory (the bytes as they came from the server). */
IncomingMail readIncomingMail(const QByteArray& bytes, const Clock& clock);

/**
 * Text of an HTML document, without rendering it: tags dropped (scripts, styles and the head with
 * their content), character references decoded, white space collapsed, and line breaks kept where
 * br, p, div and the other block elements break lines.
 */
QString htmlToText(const QString& html);

} // namespace bx
