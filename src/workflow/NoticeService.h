#pragma once

#include "core/db/RecordSet.h"
#include "workflow/TaskNotifier.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace bx {

class Session;

/** What a notice body needs besides the task: the moment and the custom field's setting. */
struct NoticeBodyContext
{
    QDateTime nowGmt; ///< when the action happened, in GMT
    bool showCustom = false;
    QString customCaption; ///< Label_Custom
};

/** "BX#" + number + "[" + title + "]" + ", " + action. */
QString noticeSubject(const RecordSet& task, const QString& action);

/**
 * The text of a notice, each line ended by CR LF, the labels padded to 22 characters: title,
 * action, the comment (only when it is not blank), the moment in GMT, an empty line, requester,
 * the workshop's name (`ownerText`), the target date in GMT, the custom field (only with
 * `showCustom`), the status letter and an empty line, then the task's comments as plain text.
 */
QString FormatNoticeBody(const QDateTime& targetDate, const RecordSet& task,
                         const QString& ownerText, const QString& action, const QString& comment,
                         const NoticeBodyContext& context);

/** A user who may be sent a notice, as his LU_USER row has it. */
struct NoticeRecipient
{
    QString userId;
    QString email;
    bool emailOff = false; ///< Ext1
    int digestMinutes = 0;
};

/** The first `length` characters of a text, one less where a surrogate pair would be split. */
QString cutText(const QString& text, qsizetype length);

/**
 * The notices of task events, for the signed-in user of a session: e-mails queued in the outbox
 * and one internal message to the requester, all written through the recording's connection
 * inside its transaction.
 *
 * Who gets an e-mail of an event:
 *  - a routing ("Task routed" from the task editor, "ROUTE" from a drop in the team tree) and
 *    "Create Request": the new owner when he asked to hear of new tasks (Ext5);
 *    the enabled members of the task's workshop who asked to hear of their team's tasks
 *    (Parent_User_Notify), in the order the database returns them;
 *  - the requester when he asked for the event: Ext2 for "Reopen", "YES", "NO", "Cancel"; Ext3
 *    for "Target Date changed"; Ext4 for a routing and "Create Request"; Ext6 for "Custom Field
 *    changed" while the custom field is shown.
 * A user is chosen once per event (IDs compared trimmed and without case); a user who turned
 * e-mail off (Ext1), or whose address is not a valid one, gets no e-mail, but being chosen still
 * makes the event a notice. Every notice of an event posts one internal message to the requester
 * (when he has a user row), whether or not e-mail can be sent.
 *
 * A notice names its event by the recorded word, except that a drop's "ROUTE" is told as "Task
 * routed": a drop notifies exactly as the editor's routing does.
 *
 * E-mail is queued only while the session has an SMTP server; without one the first event of
 * the session writes one line to the error log. A task with a target date sends its calendar
 * event along.
 *
 * The session and its clock must outlive the service. The destructor takes the service out of
 * the session when it is still its notifier.
 */
class NoticeService final : public TaskNotifier
{
public:
    explicit NoticeService(Session& session);
    ~NoticeService() override;
    NoticeService(const NoticeService&) = delete;
    NoticeService& operator=(const NoticeService&) = delete;

    void NotifyTaskEvent(Database& db, const RecordSet& task, const RecordSet& route,
                         const QString& action, const QString& stageName,
                         const QDateTime& targetDate, const QString& ownerUser, qlonglong groupId,
                         const QString& comment) override;

private:
    /** Who hears of an event, and what choosing them read. */
    struct Audience
    {
        RecordSet people;      ///< the requester's and the new owner's LU_USER rows
        int requesterRow = -1; ///< the requester's row in `people`; -1 without one
        QString groupName;     ///< the task's workshop, read only when there is a notice
        QList<NoticeRecipient> chosen;
    };
    /** What a notice says. */
    struct Notice
    {
        QString subject;
        QString body;
    };

    Audience chooseRecipients(Database& db, const RecordSet& task, const QString& action,
                              const QString& ownerUser, qlonglong groupId) const;
    /** Queues the e-mail of a notice to the chosen users who take e-mail. */
    void queueMail(Database& db, const RecordSet& task, const RecordSet& route,
                   const QDateTime& targetDate, const Notice& notice,
                   const QList<NoticeRecipient>& chosen);
    QString databaseId(Database& db);
    /** The sender's address, or empty (logged once) when e-mail cannot be queued. */
    QString senderAddress();

    Session& m_session;
    QString m_databaseId;
    bool m_mailProblemLogged = false;
};

} // namespace bx
