#include "workflow/NoticeService.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/SenderIdentity.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/TaskEvents.h"
#include "core/settings/Vars.h"
#include "messaging/Outbox.h"
#include "workflow/CalendarPart.h"

#include <QUuid>

#include <climits>
#include <optional>

namespace bx {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
constexpr qsizetype kLabelWidth = 22;
constexpr qsizetype kMessageTitleLength = 50;

QString line(const char* label, const QString& value)
{
    return QString::fromLatin1(label).leftJustified(kLabelWidth) + value + kCrLf;
}

QString gmtText(const QDateTime& gmt)
{
    return gmt.isValid() ? gmt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

bool isOneOf(const QString& action, std::initializer_list<QString> words)
{
    for (const QString& w : words) {
        if (sameText(action, w))
            return true;
    }
    return false;
}

using Recipient = NoticeRecipient;

/** The events whose notices go to the new owner and the workshop's members. */
bool isRouting(const QString& action)
{
    return isOneOf(action, {events::kTaskRouted, events::kRoute, events::kCreateRequest});
}

/** The word a notice tells the event by: a drop's "ROUTE" is told as the routing it is. */
const QString& noticeWord(const QString& action)
{
    return sameText(action, events::kRoute) ? events::kTaskRouted : action;
}

Recipient recipientAt(const RecordSet& rows, int row)
{
    return {rows.value(row, QStringLiteral("USER_ID")).toString(),
            rows.value(row, QStringLiteral("User_Email")).toString(),
            rows.value(row, QStringLiteral("Ext1")).toLongLong() != 0,
            int(rows.value(row, QStringLiteral("Notice_Digest")).toLongLong())};
}

bool flagAt(const RecordSet& rows, int row, const char* column)
{
    return rows.value(row, QString::fromLatin1(column)).toLongLong() != 0;
}

int rowOf(const RecordSet& rows, const QString& userId)
{
    if (userId.isEmpty())
        return -1;
    for (int i = 0; i < rows.rowCount(); ++i) {
        if (sameText(rows.value(i, QStringLiteral("USER_ID")).toString(), userId))
            return i;
    }
    return -1;
}

/** Recipients in the order they were chosen, each user once. */
class RecipientList
{
public:
    void add(const Recipient& r)
    {
        for (const Recipient& known : m_list) {
            if (sameText(known.userId, r.userId))
                return;
        }
        m_list.append(r);
    }
    bool isEmpty() const { return m_list.isEmpty(); }
    const QList<Recipient>& all() const { return m_list; }

private:
    QList<Recipient> m_list;
};

/**
 * The workshop's name and, into `members` when given, its enabled members who follow their
 * team's tasks (Parent_User_Notify), in one statement. Empty for no such workshop.
 */
QString readGroup(Database& db, qlonglong groupId, RecipientList* members)
{
    const RecordSet group =
        db.query(QStringLiteral(
                     "SELECT g.GROUP_NAME AS Group_Name, u.USER_ID, u.User_Email, u.Ext1, "
                     "u.Notice_Digest FROM LU_GROUP g "
                     "LEFT JOIN GROUPLINK l ON l.GROUP_ID = g.GROUP_ID "
                     "LEFT JOIN LU_USER u ON u.USER_ID = l.USER_ID AND COALESCE(u.Disabled, 0) = 0 "
                     "AND COALESCE(u.Parent_User_Notify, 0) <> 0 "
                     "WHERE g.GROUP_ID = ?"),
                 {groupId});
    if (group.isEmpty())
        return {};
    for (int i = 0; members && i < group.rowCount(); ++i) {
        if (!group.value(i, QStringLiteral("USER_ID")).isNull())
            members->add(recipientAt(group, i));
    }
    return group.value(0, QStringLiteral("Group_Name")).toString();
}

} // namespace

QString noticeSubject(const RecordSet& task, const QString& action)
{
    return outbox::kNoticeMarker + QString::number(task.number(scr::Number)) + QLatin1Char('[') +
           task.text(scr::Title) + QStringLiteral("], ") + action;
}

QString FormatNoticeBody(const QDateTime& targetDate, const RecordSet& task,
                         const QString& ownerText, const QString& action, const QString& comment,
                         const NoticeBodyContext& context)
{
    QString body = line("Title:", task.text(scr::Title)) + line("Action:", action);
    if (!comment.trimmed().isEmpty())
        body += line("Comments:", comment);
    body += line("Date Action Occurred:", gmtText(context.nowGmt) + QStringLiteral(" (GMT) "));
    body += kCrLf;
    body += line("Requester:", task.text(scr::RequestId));
    body += line("Owner ID:", ownerText);
    body += line("Target Completion:", gmtText(targetDate) + QStringLiteral(" (GMT) "));
    if (context.showCustom)
        body += context.customCaption + QStringLiteral(": ") + task.text(scr::CustomField) + kCrLf;
    body += line("Status:", task.text(scr::Status)) + kCrLf;
    body += task.text(scr::CommentsAsText) + kCrLf;
    return body;
}

QString cutText(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype end = length;
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}

NoticeService::NoticeService(Session& session)
    : m_session(session)
{
}

NoticeService::~NoticeService()
{
    if (m_session.taskNotifier == this)
        m_session.taskNotifier = nullptr;
}

QString NoticeService::databaseId(Database& db)
{
    if (m_databaseId.isEmpty()) {
        const QString stored = Vars::value(db, Vars::kDatabaseIdVar).trimmed();
        if (stored.isEmpty()) {
            // A database that missed its id gets one now, inside the recording's transaction. It
            // is kept only once read back from the database: the recording may yet roll back.
            const QString made = QUuid::createUuid().toString(QUuid::WithoutBraces);
            Vars::setValue(db, Vars::kDatabaseIdVar, made);
            return made;
        }
        m_databaseId = stored;
    }
    return m_databaseId;
}

QString NoticeService::senderAddress()
{
    QString problem;
    QString address;
    if (m_session.system.smtpServer.trimmed().isEmpty()) {
        problem = QStringLiteral(
            "An e-mail error has occurred, notification may not have been sent. Default "
            "SMTP Server name not specified or specified incorrect.");
    } else {
        address = outbox::bareAddress(senderOf(m_session.user).email);
        if (outbox::checkAddress(address)) {
            problem = QStringLiteral(
                "An e-mail error has occurred, notification may not have been sent. The "
                "signed-in user has no valid e-mail address.");
            address.clear();
        }
    }
    if (!problem.isEmpty() && !m_mailProblemLogged) {
        m_mailProblemLogged = true;
        m_session.errorLog().write(QStringLiteral("Error "), problem);
    }
    return address;
}

NoticeService::Audience NoticeService::chooseRecipients(Database& db, const RecordSet& task,
                                                        const QString& action,
                                                        const QString& ownerUser,
                                                        qlonglong groupId) const
{
    const bool routing = isRouting(action);
    const bool closing =
        isOneOf(action, {events::kReopen, events::kYes, events::kNo, events::kCancel});
    const bool retargeted = isOneOf(action, {events::kTargetDateChanged});
    const bool customChanged =
        m_session.system.showCustom && isOneOf(action, {events::kCustomFieldChanged});

    const QString requesterId = task.text(scr::RequestId).trimmed();
    const QString ownerId = ownerUser.trimmed();

    // The requester's and the new owner's rows, in one statement.
    Audience audience;
    RecordSet& people = audience.people;
    if (!requesterId.isEmpty() || !ownerId.isEmpty())
        people = db.query(QStringLiteral("SELECT USER_ID, User_Email, Ext1, Ext2, Ext3, Ext4, "
                                         "Ext5, Ext6, Notice_Digest FROM LU_USER "
                                         "WHERE USER_ID IN (") +
                              Dialect::markers(2) + QLatin1Char(')'),
                          {requesterId, ownerId});
    audience.requesterRow = rowOf(people, requesterId);
    const int ownerRow = rowOf(people, ownerId);

    RecipientList chosen;
    if (routing && ownerRow >= 0 && flagAt(people, ownerRow, "Ext5"))
        chosen.add(recipientAt(people, ownerRow));

    // Only a routing notice goes to the workshop's members; for other events its name is wanted
    // only when there is a notice to send.
    bool groupRead = false;
    if (routing && groupId != 0) {
        audience.groupName = readGroup(db, groupId, &chosen);
        groupRead = true;
    }

    const int requesterRow = audience.requesterRow;
    if (requesterRow >= 0 && ((closing && flagAt(people, requesterRow, "Ext2")) ||
                              (retargeted && flagAt(people, requesterRow, "Ext3")) ||
                              (routing && flagAt(people, requesterRow, "Ext4")) ||
                              (customChanged && flagAt(people, requesterRow, "Ext6"))))
        chosen.add(recipientAt(people, requesterRow));

    audience.chosen = chosen.all();
    if (!audience.chosen.isEmpty() && !groupRead && groupId != 0)
        audience.groupName = readGroup(db, groupId, nullptr);
    return audience;
}

void NoticeService::NotifyTaskEvent(Database& db, const RecordSet& task, const RecordSet& route,
                                    const QString& action, const QString& /*stageName*/,
                                    const QDateTime& targetDate, const QString& ownerUser,
                                    qlonglong groupId, const QString& comment)
{
    const Audience audience = chooseRecipients(db, task, action, ownerUser, groupId);
    if (audience.chosen.isEmpty())
        return;

    const QString word = noticeWord(action);
    const QDateTime nowGmt = naive(GmtConverter(m_session.clock()).nowGmt());
    Notice notice;
    notice.subject = noticeSubject(task, word);
    notice.body =
        FormatNoticeBody(targetDate, task, audience.groupName, word, comment,
                         {nowGmt, m_session.system.showCustom, m_session.system.labelCustom});

    // One internal message to the requester for the event, however many e-mails it sends.
    if (audience.requesterRow >= 0) {
        const qlonglong workshop =
            m_session.currentWorkshopId != 0 ? m_session.currentWorkshopId : groupId;
        db.insertNumbered(
            QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
            {QStringLiteral("Title"), QStringLiteral("Body"), QStringLiteral("Sender"),
             QStringLiteral("Owner_User_ID"), QStringLiteral("Date"), QStringLiteral("Viewed"),
             QStringLiteral("Sent"), QStringLiteral("Mail_Folder_Number"),
             QStringLiteral("group_id")},
            {cutText(notice.subject, kMessageTitleLength), notice.body, m_session.user.userId,
             audience.people.value(audience.requesterRow, QStringLiteral("USER_ID")), nowGmt, false,
             false, 0, workshop != 0 ? QVariant(workshop) : QVariant()});
    }
    queueMail(db, task, route, targetDate, notice, audience.chosen);
}

void NoticeService::queueMail(Database& db, const RecordSet& task, const RecordSet& route,
                              const QDateTime& targetDate, const Notice& notice,
                              const QList<Recipient>& chosen)
{
    QList<Recipient> mailTo;
    for (const Recipient& r : chosen) {
        if (!r.emailOff && !outbox::checkAddress(outbox::bareAddress(r.email)))
            mailTo.append(r);
    }
    if (mailTo.isEmpty())
        return;
    const QString from = senderAddress();
    if (from.isEmpty())
        return;

    const SenderIdentity me = senderOf(m_session.user);
    const QDateTime nowUtc = naive(m_session.clock().nowUtc());
    outbox::QueuedMail mail;
    mail.senderName = me.displayName();
    mail.senderAddress = from;
    mail.subject = notice.subject;
    mail.body = notice.body;
    mail.personal = m_session.system.personalMail;
    mail.scrNumber = task.number(scr::Number);
    mail.routeNumber = route.number(QStringLiteral("Route_Number"));
    if (targetDate.isValid()) {
        // The route numbers of a task rise with each event: later notices replace the event a
        // recipient filed from an earlier one.
        const std::optional<CalendarPart> part =
            calendarPart({mail.scrNumber, task.text(scr::Title), task.text(scr::CommentsAsText),
                          naive(targetDate), databaseId(db),
                          int(qMin<qlonglong>(mail.routeNumber, INT_MAX)), nowUtc});
        if (part) {
            mail.attachName = part->fileName;
            mail.attachType = part->contentType;
            mail.attachText = QString::fromUtf8(part->bytes);
        }
    }
    for (const Recipient& r : mailTo) {
        mail.recipient = outbox::bareAddress(r.email);
        mail.digestMinutes = r.digestMinutes;
        const Outcome<qlonglong> queued = outbox::queue(db, mail, me.id, nowUtc);
        if (queued.refusal())
            m_session.errorLog().write(QStringLiteral("Error "), queued.refusal()->message);
    }
}

} // namespace bx
