#include "workflow/NoticeService.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "support/Lifecycles.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "workflow/RecordRoute.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::addTaskRow;

namespace {

constexpr qlonglong kShop = 4;
const QDateTime kWhen = naive(QDate(2024, 1, 31), QTime(12, 5, 9));

/** Users of a workshop "Printers" (4): rita asks, olga owns, the others are members. */
class NoticeServiceTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        const QStringList ids{u"ann"_s, u"rita"_s, u"olga"_s,   u"mia"_s,
                              u"dan"_s, u"nat"_s,  u"O'Brien"_s};
        bx::test::addUsers(db(), ids);
        for (const QString& id : ids)
            set(id, u"User_Email"_s, QString(id).remove(u'\'').toLower() + u"@bx.test"_s);
        bx::test::addWorkshop(db(), kShop, u"Printers"_s);
        bx::test::addMembers(db(), kShop, {u"mia"_s, u"dan"_s, u"nat"_s, u"O'Brien"_s});
        for (const char* follower : {"mia", "dan", "O'Brien"})
            set(QString::fromUtf8(follower), u"Parent_User_Notify"_s, true);
        set(u"dan"_s, u"Disabled"_s, true);
        set(u"O'Brien"_s, u"Notice_Digest"_s, 15);

        clock.setStandardOffsetSeconds(2 * 3600); // the fixed clock's 14:05:09 is 12:05:09 GMT
        session.user.record.userName = u"Ann Actor"_s;
        session.user.record.email = u"ann@bx.test"_s;
        session.system.smtpServer = u"smtp.bx.test"_s;
        session.taskNotifier = &service;
    }

    void set(const QString& user, const QString& column, const QVariant& value)
    {
        bx::test::setUserColumn(db(), user, column, value);
    }

    qlonglong task(const QVariantMap& columns = {})
    {
        return addTaskRow(db(),
                          {{u"SCR_Title"_s, u"Printer"_s},
                           {u"SCR_Request_ID"_s, u"rita"_s},
                           {u"SCR_Group_ID"_s, kShop},
                           {u"SCR_Owner_User_ID"_s, u"olga"_s}},
                          columns);
    }

    bool record(qlonglong number, const QString& action, const QString& owner = u"olga"_s,
                qlonglong group = kShop, const QDateTime& target = {}, const QString& comment = {})
    {
        RouteHistoryEntry e;
        e.taskNumber = number;
        e.action = action;
        e.ownerUser = owner;
        e.groupId = group;
        e.targetDate = target;
        e.comment = comment;
        return RecordRoute(session.db(), e, kWhen, session.user.userId, session.taskNotifier);
    }

    /** "address/digest" of every outbox row, sorted. */
    QStringList outbox()
    {
        QStringList out;
        const RecordSet rows = db().query(u"SELECT Recipient, Digest FROM MAIL_OUTBOX"_s);
        for (const QVariantList& row : rows.rows())
            out << row.at(0).toString() + u'/' + row.at(1).toString();
        out.sort();
        return out;
    }

    QStringList messageOwners()
    {
        QStringList out;
        const RecordSet rows = db().query(u"SELECT Owner_User_ID FROM MAIL"_s);
        for (const QVariantList& row : rows.rows())
            out << row.at(0).toString();
        return out;
    }

    int errorLines(const QString& part)
    {
        QFile log(session.errorLog().path());
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return int(QString::fromUtf8(log.readAll()).count(part));
    }

    NoticeService service{session};
};

/**
 * One event. `preferences` are "user.column" flags set true, or "user.column=text", comma
 * separated; `mails` the outbox rows "address/digest", sorted and space separated.
 */
struct Case
{
    const char* name;
    const char* action;
    const char* owner;
    qlonglong group;
    const char* requester;
    const char* preferences;
    bool showCustom;
    const char* mails;
    bool ritaHearsOfIt; ///< the only internal message goes to the requester, rita
};

TEST_P(NoticeServiceTest, EventsReachWhoAskedForThemOnce)
{
    const Case cases[] = {
        {"new task: owner and following members, not the disabled one or nat", "Create Request",
         "olga", kShop, "rita", "olga.Ext5", false,
         "mia@bx.test/0 obrien@bx.test/15 olga@bx.test/0", true},
        {"owner who also follows the team gets one e-mail", "task ROUTED", "mia", kShop, "rita",
         "mia.Ext5", false, "mia@bx.test/0 obrien@bx.test/15", true},
        {"routed to the workshop: members only", "Task routed", "", kShop, "rita", "olga.Ext5",
         false, "mia@bx.test/0 obrien@bx.test/15", true},
        {"owner without Ext5, no workshop: nothing", "Task routed", "olga", 0, "rita", "", false,
         "", false},
        {"closed: the requester who asked", "YES", "olga", kShop, "rita", "rita.Ext2,olga.Ext5",
         false, "rita@bx.test/0", true},
        {"closed: nobody asked", "Cancel", "olga", kShop, "rita", "rita.Ext4", false, "", false},
        {"requester who owns it too", "Task routed", "rita", 0, "rita", "rita.Ext4,rita.Ext5",
         false, "rita@bx.test/0", true},
        {"requester's Ext1 silences him alone", "Create Request", "olga", 0, "rita",
         "rita.Ext1,rita.Ext4,olga.Ext5", false, "olga@bx.test/0", true},
        {"owner's Ext1 and a bad address still make a notice", "Task routed", "olga", 0, "rita",
         "olga.Ext5,olga.Ext1,rita.Ext4,rita.User_Email=rita at home", false, "", true},
        {"no requester: e-mail without an internal message", "Task routed", "olga", 0, "",
         "olga.Ext5", false, "olga@bx.test/0", false},
        {"target date", "Target Date changed", "olga", kShop, "rita", "rita.Ext3", false,
         "rita@bx.test/0", true},
        {"custom field hidden", "Custom Field changed", "olga", kShop, "rita", "rita.Ext6", false,
         "", false},
        {"custom field shown", "Custom Field changed", "olga", kShop, "rita", "rita.Ext6", true,
         "rita@bx.test/0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        db().execute(u"DELETE FROM MAIL_OUTBOX"_s);
        db().execute(u"DELETE FROM MAIL"_s);
        db().execute(
            u"UPDATE LU_USER SET Ext1 = 0, Ext2 = 0, Ext3 = 0, Ext4 = 0, Ext5 = 0, Ext6 = 0"_s);
        for (const char* id : {"rita", "olga"})
            set(QString::fromUtf8(id), u"User_Email"_s, QString::fromUtf8(id) + u"@bx.test"_s);
        for (const QString& p : QString::fromUtf8(c.preferences).split(u',', Qt::SkipEmptyParts)) {
            const QStringList userColumn = p.section(u'=', 0, 0).split(u'.');
            set(userColumn.at(0), userColumn.at(1),
                p.contains(u'=') ? QVariant(p.section(u'=', 1)) : QVariant(true));
        }
        session.system.showCustom = c.showCustom;
        const qlonglong n =
            task({{u"SCR_Request_ID"_s,
                   *c.requester ? QVariant(QString::fromUtf8(c.requester)) : QVariant()}});
        ASSERT_TRUE(record(n, QString::fromUtf8(c.action), QString::fromUtf8(c.owner), c.group));
        EXPECT_EQ(outbox(), QString::fromUtf8(c.mails).split(u' ', Qt::SkipEmptyParts));
        EXPECT_EQ(messageOwners(), c.ritaHearsOfIt ? QStringList{u"rita"_s} : QStringList());
    }
}

TEST_P(NoticeServiceTest, NoticeCarriesSubjectBodyAndSender)
{
    session.system.showCustom = true;
    session.system.labelCustom = u"Cost centre"_s;
    session.system.personalMail = true;
    set(u"rita"_s, u"Ext3"_s, true);
    const qlonglong n =
        task({{u"SCR_Custom_Field"_s, u"CC-7"_s}, {u"SCR_Comments_AsText"_s, u"Jammed"_s}});
    ASSERT_TRUE(record(n, u"Target Date changed"_s, u"olga"_s, kShop,
                       naive(QDate(2024, 2, 10), QTime(17, 0)), u"Toner low"_s));

    const QString subject = u"BX#%1[Printer], Target Date changed"_s.arg(n);
    const QString body =
        u"Title:                Printer\r\nAction:               Target Date "
        "changed\r\nComments:             Toner low\r\nDate Action Occurred: "
        "2024-01-31 12:05:09 (GMT) \r\n\r\nRequester:            rita\r\n"
        "Owner ID:             Printers\r\nTarget Completion:    2024-02-10 "
        "17:00:00 (GMT) \r\nCost centre: CC-7\r\nStatus:               A\r\n\r\nJammed\r\n"_s;
    const RecordSet mail = db().query(u"SELECT * FROM MAIL_OUTBOX"_s);
    ASSERT_EQ(mail.rowCount(), 1);
    EXPECT_EQ(
        bx::test::rowTexts(mail, {u"Subject"_s, u"Body"_s, u"Sender_Name"_s, u"Sender_Address"_s}),
        (QStringList{subject, body, u"Ann Actor"_s, u"ann@bx.test"_s}));
    EXPECT_EQ(mail.number(u"SCR_Number"_s), n);
    EXPECT_EQ(mail.number(u"Route_Number"_s),
              db().scalar(u"SELECT MAX(Route_Number) FROM ROUTE WHERE SCR_Number = ? "
                          "AND Route_Date_Out IS NOT NULL"_s,
                          {n})
                  .toLongLong());
    EXPECT_TRUE(mail.flag(u"Personal"_s));

    const RecordSet message = db().query(u"SELECT * FROM MAIL"_s);
    ASSERT_EQ(message.rowCount(), 1);
    EXPECT_EQ(bx::test::rowTexts(message, {u"Title"_s, u"Body"_s, u"Sender"_s}),
              (QStringList{subject, body, u"ann"_s}));
    EXPECT_EQ(message.dateTime(u"Date"_s), kWhen);
    EXPECT_EQ(message.number(u"group_id"_s), kShop);
    EXPECT_FALSE(message.flag(u"Viewed"_s));
}

TEST_P(NoticeServiceTest, LongTitleIsCutInTheMessageOnly)
{
    set(u"rita"_s, u"Ext2"_s, true);
    const QString title = QString(60, u'x');
    const qlonglong n = task({{u"SCR_Title"_s, title}});
    ASSERT_TRUE(record(n, u"NO"_s));
    const QString subject = u"BX#%1[%2], NO"_s.arg(n).arg(title);
    EXPECT_EQ(db().scalar(u"SELECT Subject FROM MAIL_OUTBOX"_s).toString(), subject);
    EXPECT_EQ(db().scalar(u"SELECT Title FROM MAIL"_s).toString(), subject.left(50));

    const QString emoji = QString(49, u'a') + QString::fromUtf8("\xF0\x9F\x93\x8E");
    EXPECT_EQ(cutText(emoji, 50), emoji.left(49));
    EXPECT_EQ(cutText(emoji, 51), emoji);
}

TEST_P(NoticeServiceTest, WhatIsNotRecordedSendsNothing)
{
    set(u"olga"_s, u"Ext5"_s, true);
    set(u"rita"_s, u"Ext4"_s, true);
    const qlonglong secret = task({{u"SCR_Sensitive"_s, true}});
    EXPECT_FALSE(record(secret, u"Task routed"_s));

    // The new open row is refused after the notices were written: they go with it.
    bx::test::refuseInserts(db(), u"ROUTE"_s, u"NEW.Route_Date_Out IS NULL"_s);
    EXPECT_THROW(record(task(), u"Task routed"_s), DbError);
    EXPECT_EQ(outbox(), QStringList());
    EXPECT_EQ(messageOwners(), QStringList());
}

TEST_P(NoticeServiceTest, WithoutSmtpServerOnlyTheMessageGoesAndOneLineIsLogged)
{
    session.system.smtpServer.clear();
    set(u"rita"_s, u"Ext4"_s, true);
    const QString line = u"Default SMTP Server name not specified"_s;
    const int before = errorLines(line);
    ASSERT_TRUE(record(task(), u"Task routed"_s));
    ASSERT_TRUE(record(task(), u"Create Request"_s));
    EXPECT_EQ(outbox(), QStringList());
    EXPECT_EQ(messageOwners().size(), 2);
    EXPECT_EQ(errorLines(line), before + 1);
}

TEST_P(NoticeServiceTest, CalendarEventKeepsItsUidAndRisesInSequence)
{
    set(u"rita"_s, u"Ext4"_s, true);
    set(u"rita"_s, u"Ext2"_s, true);
    const QDateTime due = naive(QDate(2024, 3, 1), QTime(9, 0));
    const qlonglong dated = task();
    // A database without its id gets one with its first notice; one made in a recording that was
    // rolled back is not used afterwards.
    db().execute(u"DELETE FROM Vars WHERE VarName = ?"_s, {Vars::kDatabaseIdVar});
    {
        Transaction undone(session.db());
        ASSERT_TRUE(record(dated, u"Create Request"_s, u"olga"_s, 0, due));
    }
    ASSERT_EQ(outbox(), QStringList());
    ASSERT_TRUE(record(dated, u"Create Request"_s, u"olga"_s, 0, due));
    ASSERT_TRUE(record(dated, u"Task routed"_s, u"olga"_s, 0, due));
    ASSERT_TRUE(record(task(), u"YES"_s));

    const RecordSet rows = db().query(
        u"SELECT Attach_Name, Attach_Type, Attach_Text FROM MAIL_OUTBOX ORDER BY Outbox_Number"_s);
    ASSERT_EQ(rows.rowCount(), 3);
    const auto field = [&](int row, const QString& name) {
        const QStringList lines = rows.value(row, u"Attach_Text"_s).toString().split(u"\r\n"_s);
        for (const QString& l : lines)
            if (l.startsWith(name + u':'))
                return l.mid(name.size() + 1);
        return QString();
    };
    EXPECT_EQ(rows.value(0, u"Attach_Name"_s).toString(), u"BX%1.ics"_s.arg(dated));
    EXPECT_TRUE(
        rows.value(0, u"Attach_Type"_s).toString().startsWith("text/calendar; method=PUBLISH"_L1));
    EXPECT_EQ(field(0, u"UID"_s), field(1, u"UID"_s));
    const QString databaseId =
        db().scalar(u"SELECT VarValue FROM Vars WHERE VarName = ?"_s, {Vars::kDatabaseIdVar})
            .toString();
    ASSERT_FALSE(databaseId.isEmpty());
    EXPECT_TRUE(field(0, u"UID"_s).contains(databaseId));
    EXPECT_LT(field(0, u"SEQUENCE"_s).toInt(), field(1, u"SEQUENCE"_s).toInt());
    // The due date is stored in GMT and published as that instant.
    EXPECT_EQ(field(0, u"DTSTART"_s), u"20240301T090000Z"_s);
    EXPECT_EQ(field(0, u"SUMMARY"_s), u"Printer"_s);
    EXPECT_TRUE(rows.value(2, u"Attach_Name"_s).isNull()) << "no target date";
}

BX_INSTANTIATE_ENGINES(NoticeServiceTest);

} // namespace
