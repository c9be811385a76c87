#include "messaging/Outbox.h"

#include "core/db/Database.h"
#include "messaging/MailMessage.h"

namespace bx::outbox {

std::optional<RefusalOf<>> checkAddress(const QString& address)
{
    if (isMailboxAddress(address))
        return std::nullopt;
    return RefusalOf<>{notAnAddress(address)};
}

QString bareAddress(const QString& typed)
{
    const QString t = typed.trimmed();
    const qsizetype open = t.lastIndexOf(QLatin1Char('<'));
    if (open >= 0 && t.endsWith(QLatin1Char('>')))
        return t.mid(open + 1, t.size() - open - 2).trimmed();
    return t;
}

Outcome<qlonglong> queue(Database& db, const QueuedMail& mail, const QString& queuedBy,
                         const QDateTime& nowUtc)
{
    for (const QString& address : {mail.recipient, mail.senderAddress}) {
        if (auto refused = checkAddress(address))
            return *refused;
    }
    const QString messageId =
        mail.messageId.isEmpty() ? newMessageId(mail.senderAddress) : mail.messageId;
    const QDateTime now = nowUtc.toUTC();
    const QDateTime due = now.addSecs(qint64(qMax(0, mail.digestMinutes)) * 60);
    const qlonglong number = db.insertNumbered(
        QStringLiteral("MAIL_OUTBOX"), QStringLiteral("Outbox_Number"),
        {QStringLiteral("Recipient"), QStringLiteral("Sender_Name"),
         QStringLiteral("Sender_Address"), QStringLiteral("Subject"), QStringLiteral("Body"),
         QStringLiteral("Attach_Name"), QStringLiteral("Attach_Type"),
         QStringLiteral("Attach_Text"), QStringLiteral("Message_ID"), QStringLiteral("Queued_By"),
         QStringLiteral("Personal"), QStringLiteral("SCR_Number"), QStringLiteral("Route_Number"),
         QStringLiteral("Digest"), QStringLiteral("State"), QStringLiteral("Attempts"),
         QStringLiteral("Next_Attempt"), QStringLiteral("Queued_Date")},
        {mail.recipient, mail.senderName, mail.senderAddress, mail.subject, mail.body,
         mail.attachName.isEmpty() ? QVariant() : QVariant(mail.attachName),
         mail.attachType.isEmpty() ? QVariant() : QVariant(mail.attachType),
         mail.attachName.isEmpty() ? QVariant() : QVariant(mail.attachText), messageId, queuedBy,
         mail.personal, mail.scrNumber, mail.routeNumber, qMax(0, mail.digestMinutes),
         QString::fromLatin1(kPending), 0, due, now});
    // The client's own sender is woken once the row is committed (see kOutboxTable).
    db.noteChanged(kOutboxTable);
    return number;
}

} // namespace bx::outbox
