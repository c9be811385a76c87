#include "workflow/NoticeService.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
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

const QString kNoSmtpServer =
    QStringLiteral("An e-mail error has occurred, notification may not have been sent. Default "
                   "SMTP Server name not specified or specified incorrect.");
const QString kNoSenderAddress =
    QStringLiteral("An e-mail error has occurred, notification may not have been sent. The "
                   "signed-in user has no valid e-mail address.");

QString line(const char* label, const QString& value)
{
    return QString::fromLatin1(label).leftJustified(kLabelWidth) + value + kCrLf;
}

QString gmtText(const QDateTime& gmt)
{
    return gmt.isValid() ? gmt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

bool isOneOf(const QString& action, std::initializer_list<const char*> words)
{
    for (const char* w : words) {
        if (sameText(action, QLatin1String(w)))
            return true;
    }
    return false;
}

/** A user who may be sent a notice, as his LU_USER row has it. */
struct Recipient
{
    QString userId;
    QString email;
    bool emailOff = false; ///< Ext1
    int digestMinutes = 0;
};

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

} // namespace

QString noticeSubject(const RecordSet& task, const QString& action)
{
    return QStringLiteral("BX#") + QString::number(task.number(scr::Number)) + QLatin1Char('[') +
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
    const QString* problem = nullptr;
    QString address;
    if (m_session.system.smtpServer.trimmed().isEmpty()) {
        problem = &kNoSmtpServer;
    } else {
        address = outbox::bareAddress(m_session.user.record.email);
        if (outbox::checkAddress(address)) {
            problem = &kNoSenderAddress;
            address.clear();
        }
    }
    if (problem && !m_mailProblemLogged) {
        m_mailProblemLogged = true;
        m_session.errorLog().write(QStringLiteral("Error "), *problem);
    }
    return address;
}

void NoticeService::NotifyTaskEvent(Database& db, const RecordSet& task, const RecordSet& route,
                                    const QString& action, const QString& /*stageName*/,
                                    const QDateTime& targetDate, const QString& ownerUser,
                                    qlonglong groupId, const QString& comment)
{
    const bool routing = isOneOf(action, {"Task routed", "Create Request"});
    const bool closing = isOneOf(action, {"Reopen", "YES", "NO", "Cancel"});
    const bool retargeted = isOneOf(action, {"Target Date changed"});
    const bool customChanged =
        m_session.system.showCustom && isOneOf(action, {"Custom Field changed"});

    const QString requesterId = task.text(scr::RequestId).trimmed();
    const QString ownerId = ownerUser.trimmed();

    // The requester's and the new owner's rows, in one statement.
    RecordSet people;
    if (!requesterId.isEmpty() || !ownerId.isEmpty())
        people = db.query(QStringLiteral("SELECT USER_ID, User_Email, Ext1, Ext2, Ext3, Ext4, "
                                         "Ext5, Ext6, Notice_Digest FROM LU_USER "
                                         "WHERE USER_ID IN (?, ?)"),
                          {requesterId, ownerId});
    const int requesterRow = rowOf(people, requesterId);
    const int ownerRow = rowOf(people, ownerId);

    RecipientList chosen;
    if (routing && ownerRow >= 0 && flagAt(people, ownerRow, "Ext5"))
        chosen.add(recipientAt(people, ownerRow));

    // The workshop's name and its enabled members who follow their team's tasks, in one statement.
    // Only a routing notice goes to members; for other events the name is wanted only when there
    // is a notice to send.
    QString groupName;
    const auto readGroup = [&](bool addMembers) {
        const RecordSet group = db.query(
            QStringLiteral(
                "SELECT g.GROUP_NAME AS Group_Name, u.USER_ID, u.User_Email, u.Ext1, "
                "u.Notice_Digest FROM LU_GROUP g "
                "LEFT JOIN GROUPLINK l ON l.GROUP_ID = g.GROUP_ID "
                "LEFT JOIN LU_USER u ON u.USER_ID = l.USER_ID AND COALESCE(u.Disabled, 0) = 0 "
                "AND COALESCE(u.Parent_User_Notify, 0) <> 0 "
                "WHERE g.GROUP_ID = ?"),
            {groupId});
        if (group.isEmpty())
            return;
        groupName = group.value(0, QStringLiteral("Group_Name")).toString();
        for (int i = 0; addMembers && i < group.rowCount(); ++i) {
            if (!group.value(i, QStringLiteral("USER_ID")).isNull())
                chosen.add(recipientAt(group, i));
        }
    };
    bool groupRead = false;
    if (routing && groupId != 0) {
        readGroup(true);
        groupRead = true;
    }

    if (requesterRow >= 0 && ((closing && flagAt(people, requesterRow, "Ext2")) ||
                              (retargeted && flagAt(people, requesterRow, "Ext3")) ||
                              (routing && flagAt(people, requesterRow, "Ext4")) ||
                              (customChanged && flagAt(people, requesterRow, "Ext6"))))
        chosen.add(recipientAt(people, requesterRow));

    if (chosen.isEmpty())
        return;
    if (!groupRead && groupId != 0)
        readGroup(false);

    const GmtConverter gmt(m_session.clock());
    const QDateTime nowGmt = naive(gmt.nowGmt());
    const Clock& clock = m_session.clock();
    const QDateTime nowUtc = naive(clock.nowLocal().addSecs(-clock.currentOffsetSeconds()));
    const QString subject = noticeSubject(task, action);
    const QString body =
        FormatNoticeBody(targetDate, task, groupName, action, comment,
                         {nowGmt, m_session.system.showCustom, m_session.system.labelCustom});
    const QString actingUser = m_session.user.userId;

    // One internal message to the requester for the event, however many e-mails it sends.
    if (requesterRow >= 0) {
        const qlonglong workshop =
            m_session.currentWorkshopId != 0 ? m_session.currentWorkshopId : groupId;
        db.insertNumbered(QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
                          {QStringLiteral("Title"), QStringLiteral("Body"),
                           QStringLiteral("Sender"), QStringLiteral("Owner_User_ID"),
                           QStringLiteral("Date"), QStringLiteral("Viewed"), QStringLiteral("Sent"),
                           QStringLiteral("Mail_Folder_Number"), QStringLiteral("group_id")},
                          {cutText(subject, kMessageTitleLength), body, actingUser,
                           people.value(requesterRow, QStringLiteral("USER_ID")), nowGmt, false,
                           false, 0, workshop != 0 ? QVariant(workshop) : QVariant()});
    }

    QList<Recipient> mailTo;
    for (const Recipient& r : chosen.all()) {
        if (!r.emailOff && !outbox::checkAddress(outbox::bareAddress(r.email)))
            mailTo.append(r);
    }
    if (mailTo.isEmpty())
        return;
    const QString from = senderAddress();
    if (from.isEmpty())
        return;

    outbox::QueuedMail mail;
    mail.senderName = m_session.user.record.userName.trimmed().isEmpty()
                          ? actingUser
                          : m_session.user.record.userName.trimmed();
    mail.senderAddress = from;
    mail.subject = subject;
    mail.body = body;
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
        const Outcome<qlonglong> queued = outbox::queue(db, mail, actingUser, nowUtc);
        if (queued.refusal())
            m_session.errorLog().write(QStringLiteral("Error "), queued.refusal()->message);
    }
}

} // namespace bx
