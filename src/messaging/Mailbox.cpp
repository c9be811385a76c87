#include "messaging/Mailbox.h"

#include "core/Clock.h"
#include "core/Folders.h"
#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "messaging/MailMessage.h"
#include "messaging/Outbox.h"

#include <QHash>
#include <QSet>

namespace bx {

namespace mail {

bool isAddress(const QString& recipient)
{
    return recipient.contains(QLatin1Char('@')) && recipient.contains(QLatin1Char('.'));
}

QString titleOf(const QString& body)
{
    static const QString breaks = QStringLiteral("\r\n\v\f\u0085\u2028\u2029");
    qsizetype end = 0;
    while (end < body.size() && !breaks.contains(body.at(end)))
        ++end;
    qsizetype take = qMin<qsizetype>(end, 50);
    // Never cut a character written as two UTF-16 units in half.
    if (take > 0 && take < end && body.at(take - 1).isHighSurrogate())
        --take;
    return body.left(take);
}

} // namespace mail

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
/** What the compose box shows after a send, in front of the message, as the window has it. */
const QString kSentMarkerLf = QStringLiteral("\n============ Message sent =========== \n");
const QString kReceivedTitle = QStringLiteral("Message :");

/** Typed text that names no user and is no address is refused as an address would be. */
RefusalOf<MailField> notARecipient(const QString& typed)
{
    return {notAnAddress(typed), MailField::Recipients};
}

/** The text with a leading sent marker (either line-break form) taken away. */
QString withoutSentMarker(const QString& body)
{
    for (const QString& marker :
         {QStringLiteral("\r\n============ Message sent =========== \r\n"), kSentMarkerLf}) {
        if (body.startsWith(marker))
            return body.mid(marker.size());
    }
    return body;
}

QString headerLine(const QString& inside)
{
    return QStringLiteral("=======( ") + inside + QStringLiteral(") ======");
}

} // namespace

Mailbox::Mailbox(Database& db, User user, qlonglong workshop, const Clock& clock)
    : m_db(db)
    , m_user(std::move(user))
    , m_workshop(workshop)
    , m_clock(clock)
{
}

QString Mailbox::inWorkshop(QVariantList& params) const
{
    if (m_workshop == 0)
        return QStringLiteral("group_id IS NULL");
    params << m_workshop;
    return QStringLiteral("group_id = ?");
}

QVariant Mailbox::workshopValue() const
{
    // The column refers to LU_GROUP: no workshop is Null, never 0.
    return m_workshop != 0 ? QVariant(m_workshop) : QVariant();
}

QDateTime Mailbox::nowUtc() const
{
    return m_clock.nowUtc();
}

Outcome<SentMail, MailField> Mailbox::send(const QStringList& recipients, const QString& body,
                                           Prompt& prompt)
{
    using Result = Outcome<SentMail, MailField>;
    if (recipients.isEmpty())
        return Result::declined();
    if (body.trimmed().isEmpty())
        return RefusalOf<MailField>{QStringLiteral("Please enter Message body."), MailField::Body};
    const QString text = withoutSentMarker(body);
    if (text.trimmed().isEmpty())
        return Result::declined();

    Addressees to;
    if (auto refused = sortRecipients(recipients, to))
        return *refused;
    if (auto refused = askToEmail(prompt, to))
        return *refused;
    return write(text, to);
}

std::optional<RefusalOf<MailField>> Mailbox::sortRecipients(const QStringList& recipients,
                                                            Addressees& to) const
{
    // Who is who, in one statement: the user IDs named and the users of the addresses named.
    QStringList ids;
    QStringList addresses;
    for (const QString& r : recipients) {
        if (mail::isAddress(r)) {
            const QString address = outbox::bareAddress(r);
            if (auto refused = outbox::checkAddress(address))
                return RefusalOf<MailField>{refused->message, MailField::Recipients};
            addresses << address;
        } else {
            ids << r.trimmed();
        }
    }
    const KnownUsers known = knownUsers(ids, addresses);

    QSet<QString> seen;
    for (const QString& r : recipients) {
        QString user;
        if (mail::isAddress(r)) {
            const QString address = outbox::bareAddress(r);
            user = known.ofEmail.value(address.toLower());
            if (user.isEmpty()) {
                if (!seen.contains(address.toLower())) {
                    seen.insert(address.toLower());
                    to.external << address;
                }
                continue;
            }
        } else {
            user = known.ofId.value(r.trimmed().toLower());
            if (user.isEmpty())
                return notARecipient(r.trimmed());
        }
        const QString key = QStringLiteral("\x01") + user.trimmed().toLower();
        if (!seen.contains(key)) {
            seen.insert(key);
            to.internal << user;
        }
    }
    return std::nullopt;
}

Mailbox::KnownUsers Mailbox::knownUsers(const QStringList& ids, const QStringList& addresses) const
{
    QStringList where;
    QVariantList params;
    if (!ids.isEmpty()) {
        where << QStringLiteral("USER_ID IN (") + Dialect::markers(ids.size()) + QLatin1Char(')');
        for (const QString& id : ids)
            params << id;
    }
    if (!addresses.isEmpty()) {
        where << QStringLiteral("User_Email IN (") + Dialect::markers(addresses.size()) +
                     QLatin1Char(')');
        for (const QString& a : addresses)
            params << a;
    }
    const RecordSet users =
        m_db.query(QStringLiteral("SELECT USER_ID, User_Email FROM LU_USER WHERE ") +
                       where.join(QStringLiteral(" OR ")) + QStringLiteral(" ORDER BY USER_ID"),
                   params);
    KnownUsers known;
    for (const QVariantList& row : users.rows()) {
        const QString id = row.value(0).toString();
        known.ofId.insert(id.trimmed().toLower(), id);
        const QString email = row.value(1).toString().trimmed().toLower();
        if (!email.isEmpty() && !known.ofEmail.contains(email))
            known.ofEmail.insert(email, id);
    }
    return known;
}

std::optional<RefusalOf<MailField>> Mailbox::askToEmail(Prompt& prompt, Addressees& to) const
{
    if (!to.external.isEmpty() &&
        prompt.ask(QStringLiteral("Some email recipients are not listed in Brindlepax with the "
                                  "target email address.  Would you like to send to these users by "
                                  "email?  Please note that email may not be secure."),
                   QStringLiteral("Send by Email?"), PromptButtons::YesNo,
                   PromptIcon::Question) != PromptAnswer::Yes)
        to.external.clear();
    if (!to.external.isEmpty()) {
        if (m_user.address().isEmpty())
            return RefusalOf<MailField>{outbox::kNoSenderAddress, MailField::Recipients};
        if (auto refused = outbox::checkAddress(m_user.address()))
            return RefusalOf<MailField>{refused->message, MailField::Recipients};
    }
    return std::nullopt;
}

Outcome<SentMail, MailField> Mailbox::write(const QString& text, const Addressees& to)
{
    const QString title = mail::titleOf(text);
    const QDateTime now = GmtConverter(m_clock).nowGmt();
    const QStringList columns{QStringLiteral("Title"),
                              QStringLiteral("Body"),
                              QStringLiteral("Owner_User_ID"),
                              QStringLiteral("Sender"),
                              QStringLiteral("Date"),
                              QStringLiteral("Viewed"),
                              QStringLiteral("MAIL_Folder_Number"),
                              QStringLiteral("SentDate"),
                              QStringLiteral("Sent"),
                              QStringLiteral("SourceID"),
                              QStringLiteral("POPID"),
                              QStringLiteral("group_id")};
    SentMail sent;
    Transaction tx(m_db);
    sent.senderCopy = m_db.insertNumbered(
        QStringLiteral("MAIL"), QStringLiteral("Mail_Number"), columns,
        {title.isEmpty() ? QStringLiteral("Sent Message :") : title, text, m_user.id, m_user.id,
         now, false, 0, now, true, 0, QString(), workshopValue()});
    for (const QString& user : to.internal) {
        m_db.insertNumbered(QStringLiteral("MAIL"), QStringLiteral("Mail_Number"), columns,
                            {title.isEmpty() ? kReceivedTitle : title, text, user, m_user.id, now,
                             false, 0, QVariant(), false, sent.senderCopy, QString(),
                             workshopValue()});
        ++sent.received;
        if (user.trimmed().compare(m_user.id.trimmed(), Qt::CaseInsensitive) == 0)
            sent.toSelf = true;
    }
    for (const QString& address : to.external) {
        outbox::QueuedMail mail;
        mail.recipient = address;
        mail.senderName = m_user.displayName();
        mail.senderAddress = m_user.address();
        mail.subject = title.isEmpty() ? kReceivedTitle : title;
        mail.body = text;
        mail.personal = m_personal;
        const Outcome<qlonglong> queued = outbox::queue(m_db, mail, m_user.id, nowUtc());
        if (!queued)
            return RefusalOf<MailField>{queued.refusal()->message, MailField::Recipients};
        ++sent.emailed;
    }
    tx.commit();
    sent.composeText = kSentMarkerLf + text;
    return sent;
}

MailProbe Mailbox::probe()
{
    return probe(m_db, m_user.id, m_workshop);
}

MailProbe Mailbox::probe(Database& db, const QString& userId, qlonglong workshop)
{
    const QString inShop =
        workshop == 0 ? QStringLiteral("group_id IS NULL") : QStringLiteral("group_id = ?");
    QVariantList params{userId};
    if (workshop != 0)
        params << workshop;
    MailProbe p;
    p.unread = db.scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL WHERE Owner_User_ID = ? AND ") +
                             inShop + QStringLiteral(" AND Sent = 0 AND Viewed = 0"),
                         params)
                   .toLongLong();
    p.newest = db.scalar(QStringLiteral("SELECT MAX(Mail_Number) FROM MAIL WHERE "
                                        "Owner_User_ID = ? AND ") +
                             inShop,
                         params)
                   .toLongLong();
    return p;
}

QStringList Mailbox::listStatements(MailBox box, qlonglong workshop)
{
    if (box == MailBox::Outbox) {
        // Outbox rows are not kept per workshop: the e-mail leaves whichever workshop is shown.
        return {QStringLiteral(
            "SELECT Outbox_Number, Subject, Recipient, Queued_Date, State, Last_Error FROM "
            "MAIL_OUTBOX WHERE Queued_By = ? AND State IN (?, ?) "
            "ORDER BY Queued_Date DESC, Outbox_Number DESC")};
    }
    const QString inShop =
        workshop == 0 ? QStringLiteral("group_id IS NULL") : QStringLiteral("group_id = ?");
    const bool sentBox = box == MailBox::Sent;
    const QString sentTest = sentBox ? QStringLiteral("Sent <> 0") : QStringLiteral("Sent = 0");
    QStringList statements{
        QStringLiteral("SELECT Folder_Counter, Folder_Name, Parent_Folder_Counter FROM FOLDER "
                       "WHERE Folder_Owner_ID = ? AND Folder_Type = 1 AND ") +
            inShop + QStringLiteral(" ORDER BY Folder_Name"),
        QStringLiteral("SELECT Mail_Number, Title, Sender, Date, Viewed, MAIL_Folder_Number "
                       "FROM MAIL WHERE Owner_User_ID = ? AND ") +
            inShop + QStringLiteral(" AND ") + sentTest +
            QStringLiteral(" ORDER BY Date DESC, Mail_Number DESC")};
    if (sentBox) {
        // The owners of the received copies of every sent message of the box, in one statement.
        // The copies are the recipients' rows: the server shows them to their sender through
        // this view only.
        statements << QStringLiteral("SELECT SourceID, Owner_User_ID FROM MAIL_SENT_COPIES "
                                     "WHERE Sender_Owner = ? AND ") +
                          inShop + QStringLiteral(" AND Sent <> 0 ORDER BY SourceID, Mail_Number");
    }
    return statements;
}

MailList Mailbox::list(MailBox box)
{
    MailList out;
    const QStringList statements = listStatements(box, m_workshop);
    if (box == MailBox::Outbox) {
        const RecordSet rs =
            m_db.query(statements.value(0), {m_user.id, QString::fromLatin1(outbox::kPending),
                                             QString::fromLatin1(outbox::kFailed)});
        const int offset = m_clock.currentOffsetSeconds();
        out.rows.reserve(rs.rowCount());
        for (const QVariantList& r : rs.rows()) {
            MailRow row;
            row.number = r.value(0).toLongLong();
            row.title = r.value(1).toString();
            row.party = r.value(2).toString();
            const QDateTime queued = RecordSet::toDateTime(r.value(3));
            row.date = queued.isValid() ? queued.addSecs(offset) : queued;
            row.failed = r.value(4).toString() == QLatin1String(outbox::kFailed);
            row.error = r.value(5).toString();
            out.rows << row;
        }
        out.probe = probe();
        return out;
    }

    QVariantList params{m_user.id};
    inWorkshop(params);
    const RecordSet folders = m_db.query(statements.value(0), params);
    for (const QVariantList& r : folders.rows())
        out.folders << MailFolder{r.value(0).toLongLong(), r.value(1).toString(),
                                  r.value(2).toLongLong()};

    const GmtConverter gmt(m_clock);
    const bool sentBox = box == MailBox::Sent;
    const RecordSet rs = m_db.query(statements.value(1), params);
    QHash<qlonglong, qsizetype> rowOf;
    out.rows.reserve(rs.rowCount());
    for (const QVariantList& r : rs.rows()) {
        MailRow row;
        row.number = r.value(0).toLongLong();
        row.title = r.value(1).toString();
        row.party = sentBox ? QString() : r.value(2).toString();
        row.date = gmt.toLocal(RecordSet::toDateTime(r.value(3)));
        row.viewed = sentBox || r.value(4).toLongLong() != 0;
        row.folder = r.value(5).toLongLong();
        if (sentBox)
            rowOf.insert(row.number, out.rows.size());
        out.rows << row;
    }
    if (sentBox && !out.rows.isEmpty()) {
        const RecordSet copies = m_db.query(statements.value(2), params);
        for (const QVariantList& r : copies.rows()) {
            const auto at = rowOf.constFind(r.value(0).toLongLong());
            if (at == rowOf.constEnd())
                continue;
            QString& party = out.rows[*at].party;
            if (!party.isEmpty())
                party += QStringLiteral("; ");
            party += r.value(1).toString();
        }
    }
    out.probe = probe();
    return out;
}

std::optional<MailMessageText> Mailbox::read(qlonglong number)
{
    const RecordSet rs =
        m_db.query(QStringLiteral("SELECT Mail_Number, Title, Body, Sender, Date, Viewed FROM "
                                  "MAIL WHERE Mail_Number = ? AND Owner_User_ID = ?"),
                   {number, m_user.id});
    if (rs.isEmpty())
        return std::nullopt;
    if (!rs.flag(QStringLiteral("Viewed")))
        m_db.execute(QStringLiteral("UPDATE MAIL SET Viewed = ? WHERE Mail_Number = ?"),
                     {true, number});
    return MailMessageText{number, rs.text(QStringLiteral("Title")),
                           rs.text(QStringLiteral("Body")), rs.text(QStringLiteral("Sender")),
                           GmtConverter(m_clock).toLocal(rs.dateTime(QStringLiteral("Date")))};
}

std::optional<MailMessageText> Mailbox::readOutbox(qlonglong number)
{
    const RecordSet rs = m_db.query(
        QStringLiteral("SELECT Subject, Body, Sender_Address, Queued_Date FROM MAIL_OUTBOX "
                       "WHERE Outbox_Number = ? AND Queued_By = ?"),
        {number, m_user.id});
    if (rs.isEmpty())
        return std::nullopt;
    const QDateTime queued = rs.dateTime(QStringLiteral("Queued_Date"));
    return MailMessageText{
        number, rs.text(QStringLiteral("Subject")), rs.text(QStringLiteral("Body")),
        rs.text(QStringLiteral("Sender_Address")),
        queued.isValid() ? queued.addSecs(m_clock.currentOffsetSeconds()) : queued};
}

ComposeText Mailbox::reply(const MailMessageText& message) const
{
    const QString now = m_clock.nowLocal().toString(kTimeFormat);
    const QString name = m_user.name.trimmed().isEmpty() ? m_user.id : m_user.name;
    return {QStringLiteral("\n\n") + headerLine(name + QLatin1Char(' ') + now) +
                QStringLiteral("\n\n") + message.body,
            {message.sender}};
}

ComposeText Mailbox::forward(const MailMessageText& message) const
{
    return {QStringLiteral("\n\n") +
                headerLine(QStringLiteral("Forwarded: ") + message.sender + QStringLiteral(", ") +
                           message.date.toString(kTimeFormat)) +
                QStringLiteral("\n\n") + message.body,
            {}};
}

Outcome<qlonglong> Mailbox::remove(MailBox box, qlonglong number)
{
    if (number == 0)
        return RefusalOf<>{mail::kNoItemSelected};
    if (box == MailBox::Outbox) {
        // A row a sender has claimed and whose claim still runs is on its way: it stays.
        return m_db.execute(
            QStringLiteral("DELETE FROM MAIL_OUTBOX WHERE Outbox_Number = ? AND Queued_By = ? "
                           "AND State IN (?, ?) AND (Claim_Expires IS NULL OR Claim_Expires < ?)"),
            {number, m_user.id, QString::fromLatin1(outbox::kPending),
             QString::fromLatin1(outbox::kFailed), nowUtc()});
    }
    return m_db.execute(
        QStringLiteral("DELETE FROM MAIL WHERE Mail_Number = ? AND Owner_User_ID = ?"),
        {number, m_user.id});
}

Outcome<qlonglong> Mailbox::removeAll(MailBox box, Prompt& prompt)
{
    if (prompt.ask(QStringLiteral("All messages will be removed. Are you sure?"), {},
                   PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return Outcome<qlonglong>::declined();
    if (box == MailBox::Outbox) {
        return m_db.execute(
            QStringLiteral("DELETE FROM MAIL_OUTBOX WHERE Queued_By = ? AND State IN (?, ?) AND "
                           "(Claim_Expires IS NULL OR Claim_Expires < ?)"),
            {m_user.id, QString::fromLatin1(outbox::kPending), QString::fromLatin1(outbox::kFailed),
             nowUtc()});
    }
    QVariantList params{m_user.id};
    const QString inShop = inWorkshop(params);
    return m_db.execute(QStringLiteral("DELETE FROM MAIL WHERE Owner_User_ID = ? AND ") + inShop,
                        params);
}

bool Mailbox::move(qlonglong number, qlonglong folder)
{
    if (folder != 0) {
        const std::optional<FolderRow> f = readFolder(m_db, folder);
        if (!f || f->type != static_cast<int>(FolderType::Mail) ||
            f->ownerId.trimmed().compare(m_user.id.trimmed(), Qt::CaseInsensitive) != 0)
            return false;
    }
    return m_db.execute(QStringLiteral("UPDATE MAIL SET MAIL_Folder_Number = ? WHERE "
                                       "Mail_Number = ? AND Owner_User_ID = ?"),
                        {folder, number, m_user.id}) > 0;
}

} // namespace bx
