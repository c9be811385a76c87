#include "messaging/EmailDraft.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/SenderIdentity.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "messaging/MailMessage.h"
#include "messaging/Outbox.h"

#include <QSet>

namespace bx::email {

namespace {

const QChar kSeparator = QLatin1Char(';');

/** A contact's name as it may stand before "<address>" in the recipient box. */
QString displayName(const QString& first, const QString& last)
{
    QString name = (first.trimmed() + QLatin1Char(' ') + last.trimmed()).trimmed();
    // A separator or a bracket inside the name would split the entry or hide its address.
    for (const QChar c : {kSeparator, QChar(u'<'), QChar(u'>')})
        name.remove(c);
    return name.simplified();
}

} // namespace

QStringList recipientEntries(const QString& to)
{
    QStringList out;
    for (const QString& part : to.split(kSeparator)) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty())
            out << entry;
    }
    return out;
}

TypedEntry typedEntry(const QString& to)
{
    const qsizetype cut = to.lastIndexOf(kSeparator) + 1;
    return {to.left(cut), to.mid(cut).trimmed()};
}

QString withCompletion(const QString& to, const QString& chosen)
{
    QString before = typedEntry(to).before;
    if (!before.isEmpty())
        before += QLatin1Char(' ');
    return before + chosen + QStringLiteral("; ");
}

QStringList completions(Database& db, const QString& typed, int limit)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return {};
    const Dialect& d = db.dialect();
    const LikeClause name = d.beginsWith(
        QStringLiteral("TRIM(COALESCE(First_Name, '') || ' ' || COALESCE(Last_Name, ''))"), text);
    const LikeClause last = d.beginsWith(QStringLiteral("TRIM(Last_Name)"), text);
    const LikeClause address = d.beginsWith(QStringLiteral("TRIM(Email)"), text);
    RecordSet rs = db.query(
        QStringLiteral("SELECT First_Name, Last_Name, Email FROM CONTACT WHERE Email IS NOT NULL "
                       "AND TRIM(Email) <> '' AND (") +
            name.sql + QStringLiteral(" OR ") + last.sql + QStringLiteral(" OR ") + address.sql +
            QStringLiteral(") ORDER BY Last_Name, First_Name, Email LIMIT ?"),
        {name.pattern, last.pattern, address.pattern, limit});
    QStringList out;
    for (; !rs.eof(); rs.moveNext()) {
        const QString mail = outbox::bareAddress(rs.text(QStringLiteral("Email")));
        const QString who = displayName(rs.text(QStringLiteral("First_Name")),
                                        rs.text(QStringLiteral("Last_Name")));
        out << (who.isEmpty() ? mail : who + QStringLiteral(" <") + mail + QLatin1Char('>'));
    }
    out.removeDuplicates();
    return out;
}

QString record(const Draft& draft, const QDateTime& gmt)
{
    return QStringList{
        QStringLiteral("   ======================= Email ====================  "),
        QStringLiteral("Date:      ") + gmt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
            QStringLiteral(" (GMT) "),
        QStringLiteral("To:        ") + recipientEntries(draft.to).join(QStringLiteral("; ")),
        QStringLiteral("Subject:   ") + draft.subject,
        QStringLiteral("   ====================== Message ===================  "),
        draft.message,
    }
        .join(QLatin1Char('\n'));
}

Outcome<QString, EmailField> send(Session& session, const Draft& draft)
{
    const QStringList entries = recipientEntries(draft.to);
    if (entries.isEmpty())
        return EmailRefusal{QStringLiteral("Recipient e-mail address not specified"),
                            EmailField::To};
    QStringList recipients;
    QSet<QString> seen;
    for (const QString& entry : entries) {
        const QString address = outbox::bareAddress(entry);
        if (auto refused = outbox::checkAddress(address))
            return EmailRefusal{refused->message, EmailField::To};
        if (!seen.contains(address.toLower())) {
            seen.insert(address.toLower());
            recipients << address;
        }
    }

    Database& db = session.db();
    const SenderIdentity me = senderOf(session.user);
    const QString senderAddress = me.address();
    if (senderAddress.isEmpty())
        return EmailRefusal{kNoSenderAddress};
    if (auto refused = outbox::checkAddress(senderAddress))
        return EmailRefusal{refused->message};

    const Clock& clock = session.clock();
    const QDateTime nowUtc = clock.nowUtc();
    outbox::QueuedMail mail;
    mail.senderName = me.displayName();
    mail.senderAddress = senderAddress;
    mail.subject = draft.subject;
    mail.body = draft.message;
    // One message to several people: every copy carries the same Message-ID.
    mail.messageId = newMessageId(senderAddress);
    mail.personal = session.system.personalMail;

    Transaction tx(db);
    for (const QString& recipient : std::as_const(recipients)) {
        mail.recipient = recipient;
        const auto queued = outbox::queue(db, mail, me.id, nowUtc);
        if (!queued)
            return EmailRefusal{queued.refusal()->message, EmailField::To};
    }
    tx.commit();
    return record(draft, GmtConverter(clock).nowGmt());
}

} // namespace bx::email
