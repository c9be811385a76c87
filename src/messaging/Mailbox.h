#pragma once

#include "core/Refusal.h"
#include "core/SenderIdentity.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

namespace bx {

class Clock;
class Database;
class Prompt;

/** The boxes of the Messages page. */
enum class MailBox
{
    Inbox, ///< received copies (Sent = 0)
    Sent,  ///< the user's own copies of what he sent (Sent <> 0)
    Outbox ///< e-mail of the user not sent yet: queued or failed rows of MAIL_OUTBOX
};

/** The control a refusal of the Messages page puts the focus on. */
enum class MailField
{
    None,
    Body,      ///< NewMessageBody; the refusal is shown with the critical icon
    Recipients ///< the recipient line
};

namespace mail {

inline const QString kNoItemSelected = QStringLiteral("No Item Selected");

/** Whether the recipient is written as an e-mail address (it holds "@" and "."). */
bool isAddress(const QString& recipient);

/**
 * The title of a message: the text before the first line break of any kind, at most 50
 * characters; empty when the first line is.
 */
QString titleOf(const QString& body);

} // namespace mail

/** One line of a box's list. The list never holds a body. */
struct MailRow
{
    qlonglong number = 0; ///< Mail_Number, or Outbox_Number in the Outbox box
    QString title;
    QString party;  ///< From (Inbox), the recipients joined by "; " (Sent, Outbox)
    QDateTime date; ///< local time
    bool viewed = true;
    qlonglong folder = 0; ///< MAIL_Folder_Number; 0 = the box itself
    bool failed = false;  ///< Outbox: sending failed for good
    QString error;        ///< Outbox: the last error of the sender
};

/** A mail folder (FOLDER with Folder_Type 1) of the user in the workshop. */
struct MailFolder
{
    qlonglong counter = 0;
    QString name;
    qlonglong parent = 0;
};

/**
 * What the poll compares: the number of unread received messages and the newest Mail_Number of
 * the user's mailbox in the workshop. The list is read again only when it changed.
 */
struct MailProbe
{
    qlonglong unread = 0;
    qlonglong newest = 0;

    QVariantList toVariant() const { return {unread, newest}; }
    bool operator==(const MailProbe&) const = default;
};

/** A box as the page shows it: its folders, its rows (newest first) and the probe of the read. */
struct MailList
{
    QList<MailFolder> folders;
    QList<MailRow> rows;
    MailProbe probe;
};

/** A message as read for the reading box, a reply or a forward. */
struct MailMessageText
{
    qlonglong number = 0;
    QString title;
    QString body;
    QString sender;
    QDateTime date; ///< local time
};

/** What the compose box is to hold: its text and its recipients. */
struct ComposeText
{
    QString text;
    QStringList recipients;
};

/** What a send did. */
struct SentMail
{
    qlonglong senderCopy = 0;
    int received = 0;    ///< received copies written
    int emailed = 0;     ///< e-mails queued in the outbox
    bool toSelf = false; ///< one received copy is the sender's own: his inbox changed
    QString composeText; ///< what the compose box shows now: the marker and the message
};

/**
 * The internal mail of one user in one workshop (table MAIL), and his e-mail waiting in the
 * outbox. Every statement binds its values; new rows are numbered by Database::insertNumbered.
 * Database errors are thrown (DbError) for the window's command to report; a send writes all its
 * rows in one transaction or none.
 *
 * Dates are stored in GMT (the time zone's base bias, see core/Gmt.h) and handed out in local
 * time. A workshop of 0 is no workshop: its rows have group_id Null (the column refers to
 * LU_GROUP).
 */
class Mailbox
{
public:
    /** The sender's identity, as his own copy and his e-mail name him (senderOf the session). */
    using User = SenderIdentity;

    Mailbox(Database& db, User user, qlonglong workshop, const Clock& clock);

    /** E-mail is sent with the user's own mail settings ("SMTP My Setting"). */
    void setPersonalMail(bool personal) { m_personal = personal; }

    /**
     * cmdSendMessage. `recipients` are user IDs or e-mail addresses ("Name <a@b>" gives a@b). With
     * none nothing happens (declined). An empty body is refused ("Please enter Message body.",
     * MailField::Body); a body after the sent marker that is empty sends nothing (declined).
     * An address of a user (LU_USER.User_Email) is that user; a recipient that is neither a user
     * nor a well-formed address is refused before anything is written. For addresses of nobody
     * the user is asked once "Send by Email?"; on Yes each gets one outbox row (From: User_Name
     * <User_Email>, which must be an address), on No they are left out. The sender's copy, the
     * received copies and the outbox rows are written in one transaction.
     */
    Outcome<SentMail, MailField> send(const QStringList& recipients, const QString& body,
                                      Prompt& prompt);

    /** RefreshMessageList for `box`: its folders and rows, newest first. Never reads a body. */
    MailList list(MailBox box);

    /**
     * The statements the list of `box` runs (with "?" for the user and the workshop), for a
     * check that the list reads no body.
     */
    static QStringList listStatements(MailBox box, qlonglong workshop);

    /** The cheap state the poll compares (unread count and newest number). */
    MailProbe probe();
    /** The same through any connection (the poll's worker reads it on its own). */
    static MailProbe probe(Database& db, const QString& userId, qlonglong workshop);

    /** Reads a message of the user and marks it viewed; nothing when it is gone. */
    std::optional<MailMessageText> read(qlonglong number);
    /** The Outbox box: the body of one of the user's e-mails; nothing when it is gone. */
    std::optional<MailMessageText> readOutbox(qlonglong number);

    /** "Reply": the sender as recipient, the header with the user's name and now, the text. */
    ComposeText reply(const MailMessageText& message) const;
    /** "Forward": no recipient, the header with the sender and the date, the text. */
    ComposeText forward(const MailMessageText& message) const;

    /**
     * "DEL": deletes one message of the user (0: "No Item Selected"). In the Outbox box it drops
     * one e-mail that is not being sent at this moment. @return rows deleted
     */
    Outcome<qlonglong> remove(MailBox box, qlonglong number);
    /**
     * "DEL_ALL": asks "All messages will be removed. Are you sure?"; Yes deletes every message of
     * the user in the workshop (in the Outbox box: every e-mail of his not sent yet).
     */
    Outcome<qlonglong> removeAll(MailBox box, Prompt& prompt);

    /**
     * Moves a message of the user into one of his mail folders (0: back to the box).
     * @return false when the message or the folder is not his
     */
    bool move(qlonglong number, qlonglong folder);

private:
    /** The recipients of a message, sorted: users get a copy, addresses of nobody e-mail. */
    struct Addressees
    {
        QStringList internal; ///< user IDs as stored, in order, each once
        QStringList external; ///< addresses of nobody, in order, each once
    };
    /** The users named, by lower-case ID and by lower-case address (the first user with it). */
    struct KnownUsers
    {
        QHash<QString, QString> ofId;
        QHash<QString, QString> ofEmail;
    };

    /** Sorts what the user typed into `to`; refuses a bad address or an unknown user ID. */
    std::optional<RefusalOf<MailField>> sortRecipients(const QStringList& recipients,
                                                       Addressees& to) const;
    KnownUsers knownUsers(const QStringList& ids, const QStringList& addresses) const;
    /**
     * "Send by Email?" for addresses of nobody (No leaves them out); refuses e-mail from a user
     * without an address of his own.
     */
    std::optional<RefusalOf<MailField>> askToEmail(Prompt& prompt, Addressees& to) const;
    /** The sender's copy, the received copies and the outbox rows, in one transaction. */
    Outcome<SentMail, MailField> write(const QString& text, const Addressees& to);

    /** "group_id = ?" or, without a workshop, "group_id IS NULL"; appends the value bound. */
    QString inWorkshop(QVariantList& params) const;
    QVariant workshopValue() const;
    QDateTime nowUtc() const;

    Database& m_db;
    User m_user;
    qlonglong m_workshop;
    const Clock& m_clock;
    bool m_personal = false;
};

} // namespace bx
