#include "core/db/RecordSet.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

// E-mail leaves through an outbox: the client that writes a message or a notice queues one row per
// recipient in the same transaction as the rest of its work, and a sender delivers the rows after
// the commit, retrying with back-off. A mail server that is slow or down thus never holds up a
// command, and a message is never lost with it.
//
// Columns:
//  - Recipient: one bare address. Sender_Name and Sender_Address: the From of the message.
//  - Subject, Body; one optional text attachment (Attach_Name, Attach_Type, Attach_Text).
//  - Message_ID: fixed when queued, so that a message sent twice after a lost reply is one
//    message to the reader.
//  - Queued_By: the user whose command queued the row. Personal: queued under that user's own
//    mail settings, which only that user's client knows; other rows use the settings of the
//    database and any client may send them once they are left unclaimed.
//  - SCR_Number, Route_Number: the task event of a notice, 0 for other mail.
//  - Digest: the minutes a notice may wait to leave combined with the recipient's other notices;
//    0 sends it alone.
//  - State: 'P' pending, 'S' sent, 'F' failed for good. Attempts, Next_Attempt (UTC),
//    Last_Error: the back-off.
//  - Claim_Token, Claim_Expires (UTC): the sender delivering the row; a claim that expired is
//    taken over by another sender.
//  - Queued_Date, Sent_Date: UTC.
void step80(StepActions& a)
{
    a.run(a.ddl(QStringLiteral(
        "CREATE TABLE MAIL_OUTBOX (Outbox_Number {counter}, Recipient {text}, Sender_Name {text}, "
        "Sender_Address {text}, Subject {text}, Body {text}, Attach_Name {text}, "
        "Attach_Type {text}, Attach_Text {text}, Message_ID {text}, Queued_By {text}, "
        "Personal {flag}, SCR_Number {int} DEFAULT 0, Route_Number {int} DEFAULT 0, "
        "Digest {int} DEFAULT 0, State {text}, Attempts {int} DEFAULT 0, Next_Attempt {date}, "
        "Last_Error {text}, Claim_Token {text}, Claim_Expires {date}, Queued_Date {date}, "
        "Sent_Date {date})")));
    a.run(QStringLiteral("CREATE INDEX IX_MAIL_OUTBOX_Due ON MAIL_OUTBOX (State, Next_Attempt)"));
    a.run(QStringLiteral("CREATE INDEX IX_MAIL_OUTBOX_User ON MAIL_OUTBOX (Queued_By, State)"));
    // The mailbox lists read one user's rows of one workshop and box, newest first; the sent box
    // finds the received copies of a message by SourceID; a fetch skips the POP3 ids the user
    // stored before. The box index also holds every column a list shows and the poll's unread
    // count reads, so that neither reads the rows themselves: a user's messages lie scattered
    // among everybody's, each with its body beside it.
    a.run(QStringLiteral("CREATE INDEX IX_MAIL_Box ON MAIL (Owner_User_ID, group_id, Sent, Date, "
                         "Mail_Number, Viewed, MAIL_Folder_Number, Title, Sender)"));
    a.run(QStringLiteral("CREATE INDEX IX_MAIL_Source ON MAIL (SourceID)"));
    a.run(QStringLiteral("CREATE INDEX IX_MAIL_POPID ON MAIL (Owner_User_ID, POPID)"));
    if (a.onServer()) {
        // The table belongs to the owner of the schema, like every other, not to the login that
        // runs the upgrade; the rights of the users' role come with it.
        const RecordSet owner = a.query(
            QStringLiteral("SELECT quote_ident(tableowner) FROM pg_tables WHERE schemaname = "
                           "current_schema() AND tablename = 'scr'"));
        if (!owner.isEmpty()) {
            a.run(QStringLiteral("ALTER TABLE MAIL_OUTBOX OWNER TO ") +
                  owner.rows().first().first().toString());
        }
    }
}

} // namespace

QList<StepDefinition> upgradeSteps80()
{
    return {{80, QStringLiteral("E-mail outbox and mailbox indexes"), ErrorPolicy::Strict, step80}};
}

} // namespace bx
