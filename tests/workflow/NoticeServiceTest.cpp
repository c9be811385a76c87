#include "workflow/NoticeService.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "workflow/RecordRoute.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::addTaskRow;

namespace {

constexpr qlonglong kShop = 4;
const QDateTime kWhen = naive(QDate(2024, 1, 31), QTime(12, 5, 9));

/** Users of a workshop "Printers" (4): rita asks, olga owns, the others are members. */
class NoticeServiceTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QStringList ids{QStringLiteral("ann"),    QStringLiteral("rita"),
                              QStringLiteral("olga"),   QStringLiteral("mia"),
                              QStringLiteral("dan"),    QStringLiteral("nat"),
                              QStringLiteral("O'Brien")};
        bx::test::addUsers(db(), ids);
        for (const QString& id : ids)
            set(id, QStringLiteral("User_Email"),
                QString(id).remove(QLatin1Char('\'')).toLower() + QStringLiteral("@bx.test"));
        bx::test::addWorkshop(db(), kShop, QStringLiteral("Printers"));
        bx::test::addMembers(db(), kShop,
                             {QStringLiteral("mia"), QStringLiteral("dan"), QStringLiteral("nat"),
                              QStringLiteral("O'Brien")});
        for (const char* follower : {"mia", "dan", "O'Brien"})
            set(QString::fromUtf8(follower), QStringLiteral("Parent_User_Notify"), true);
        set(QStringLiteral("dan"), QStringLiteral("Disabled"), true);
        set(QStringLiteral("O'Brien"), QStringLiteral("Notice_Digest"), 15);

        clock.setStandardOffsetSeconds(2 * 3600); // the fixed clock's 14:05:09 is 12:05:09 GMT
        session.user.record.userName = QStringLiteral("Ann Actor");
        session.user.record.email = QStringLiteral("ann@bx.test");
        session.system.smtpServer = QStringLiteral("smtp.bx.test");
        session.taskNotifier = &service;
    }

    void set(const QString& user, const QString& column, const QVariant& value)
    {
        bx::test::setUserColumn(db(), user, column, value);
    }

    qlonglong task(const QVariantMap& columns = {})
    {
        return addTaskRow(db(),
                          {{QStringLiteral("SCR_Title"), QStringLiteral("Printer")},
                           {QStringLiteral("SCR_Request_ID"), QStringLiteral("rita")},
                           {QStringLiteral("SCR_Group_ID"), kShop},
                           {QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("olga")}},
                          columns);
    }

    bool record(qlonglong number, const QString& action,
                const QString& owner = QStringLiteral("olga"), qlonglong group = kShop,
                const QDateTime& target = {}, const QString& comment = {})
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
        const RecordSet rows =
            db().query(QStringLiteral("SELECT Recipient, Digest FROM MAIL_OUTBOX"));
        for (const QVariantList& row : rows.rows())
            out << row.at(0).toString() + QLatin1Char('/') + row.at(1).toString();
        out.sort();
        return out;
    }

    QStringList messageOwners()
    {
        QStringList out;
        const RecordSet rows = db().query(QStringLiteral("SELECT Owner_User_ID FROM MAIL"));
        for (const QVariantList& row : rows.rows())
            out << row.at(0).toString();
        return out;
    }

    /** Makes the database refuse every new ROUTE row for which `condition` holds. */
    void refuseRouteRows(const QString& condition)
    {
        if (isServer())
            db().executeScript(
                QStringLiteral(
                    "CREATE FUNCTION refuse_route() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                    "IF %1 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$; "
                    "CREATE TRIGGER refuse_route BEFORE INSERT ON ROUTE "
                    "FOR EACH ROW EXECUTE FUNCTION refuse_route()")
                    .arg(condition));
        else
            db().executeScript(QStringLiteral("CREATE TRIGGER refuse_route BEFORE INSERT ON ROUTE "
                                              "WHEN %1 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                   .arg(condition));
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
        db().execute(QStringLiteral("DELETE FROM MAIL_OUTBOX"));
        db().execute(QStringLiteral("DELETE FROM MAIL"));
        db().execute(QStringLiteral("UPDATE LU_USER SET Ext1 = 0, Ext2 = 0, Ext3 = 0, Ext4 = 0, "
                                    "Ext5 = 0, Ext6 = 0"));
        for (const char* id : {"rita", "olga"})
            set(QString::fromUtf8(id), QStringLiteral("User_Email"),
                QString::fromUtf8(id) + QStringLiteral("@bx.test"));
        for (const QString& p : QString::fromUtf8(c.preferences).split(u',', Qt::SkipEmptyParts)) {
            const QStringList userColumn = p.section(u'=', 0, 0).split(u'.');
            set(userColumn.at(0), userColumn.at(1),
                p.contains(u'=') ? QVariant(p.section(u'=', 1)) : QVariant(true));
        }
        session.system.showCustom = c.showCustom;
        const qlonglong n =
            task({{QStringLiteral("SCR_Request_ID"),
                   *c.requester ? QVariant(QString::fromUtf8(c.requester)) : QVariant()}});
        ASSERT_TRUE(record(n, QString::fromUtf8(c.action), QString::fromUtf8(c.owner), c.group));
        EXPECT_EQ(outbox(), QString::fromUtf8(c.mails).split(u' ', Qt::SkipEmptyParts));
        EXPECT_EQ(messageOwners(),
                  c.ritaHearsOfIt ? QStringList{QStringLiteral("rita")} : QStringList());
    }
}

TEST_P(NoticeServiceTest, NoticeCarriesSubjectBodyAndSender)
{
    session.system.showCustom = true;
    session.system.labelCustom = QStringLiteral("Cost centre");
    session.system.personalMail = true;
    set(QStringLiteral("rita"), QStringLiteral("Ext3"), true);
    const qlonglong n = task({{QStringLiteral("SCR_Custom_Field"), QStringLiteral("CC-7")},
                              {QStringLiteral("SCR_Comments_AsText"), QStringLiteral("Jammed")}});
    ASSERT_TRUE(record(n, QStringLiteral("Target Date changed"), QStringLiteral("olga"), kShop,
                       naive(QDate(2024, 2, 10), QTime(17, 0)), QStringLiteral("Toner low")));

    const QString subject = QStringLiteral("BX#%1[Printer], Target Date changed").arg(n);
    const QString body = QStringLiteral("Title:                Printer\r\n"
                                        "Action:               Target Date changed\r\n"
                                        "Comments:             Toner low\r\n"
                                        "Date Action Occurred: 2024-01-31 12:05:09 (GMT) \r\n"
                                        "\r\n"
                                        "Requester:            rita\r\n"
                                        "Owner ID:             Printers\r\n"
                                        "Target Completion:    2024-02-10 17:00:00 (GMT) \r\n"
                                        "Cost centre: CC-7\r\n"
                                        "Status:               A\r\n"
                                        "\r\n"
                                        "Jammed\r\n");
    const RecordSet mail = db().query(QStringLiteral("SELECT * FROM MAIL_OUTBOX"));
    ASSERT_EQ(mail.rowCount(), 1);
    EXPECT_EQ(mail.text(QStringLiteral("Subject")), subject);
    EXPECT_EQ(mail.text(QStringLiteral("Body")), body);
    EXPECT_EQ(mail.text(QStringLiteral("Sender_Name")), QStringLiteral("Ann Actor"));
    EXPECT_EQ(mail.text(QStringLiteral("Sender_Address")), QStringLiteral("ann@bx.test"));
    EXPECT_EQ(mail.number(QStringLiteral("SCR_Number")), n);
    EXPECT_EQ(mail.number(QStringLiteral("Route_Number")),
              db().scalar(QStringLiteral("SELECT MAX(Route_Number) FROM ROUTE WHERE SCR_Number = ? "
                                         "AND Route_Date_Out IS NOT NULL"),
                          {n})
                  .toLongLong());
    EXPECT_TRUE(mail.flag(QStringLiteral("Personal")));

    const RecordSet message = db().query(QStringLiteral("SELECT * FROM MAIL"));
    ASSERT_EQ(message.rowCount(), 1);
    EXPECT_EQ(message.text(QStringLiteral("Title")), subject);
    EXPECT_EQ(message.text(QStringLiteral("Body")), body);
    EXPECT_EQ(message.text(QStringLiteral("Sender")), QStringLiteral("ann"));
    EXPECT_EQ(message.dateTime(QStringLiteral("Date")), kWhen);
    EXPECT_EQ(message.number(QStringLiteral("group_id")), kShop);
    EXPECT_FALSE(message.flag(QStringLiteral("Viewed")));
}

TEST_P(NoticeServiceTest, LongTitleIsCutInTheMessageOnly)
{
    set(QStringLiteral("rita"), QStringLiteral("Ext2"), true);
    const QString title = QString(60, QLatin1Char('x'));
    const qlonglong n = task({{QStringLiteral("SCR_Title"), title}});
    ASSERT_TRUE(record(n, QStringLiteral("NO")));
    const QString subject = QStringLiteral("BX#%1[%2], NO").arg(n).arg(title);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Subject FROM MAIL_OUTBOX")).toString(), subject);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Title FROM MAIL")).toString(), subject.left(50));

    const QString emoji = QString(49, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\x8E");
    EXPECT_EQ(cutText(emoji, 50), emoji.left(49));
    EXPECT_EQ(cutText(emoji, 51), emoji);
}

TEST_P(NoticeServiceTest, WhatIsNotRecordedSendsNothing)
{
    set(QStringLiteral("olga"), QStringLiteral("Ext5"), true);
    set(QStringLiteral("rita"), QStringLiteral("Ext4"), true);
    const qlonglong secret = task({{QStringLiteral("SCR_Sensitive"), true}});
    EXPECT_FALSE(record(secret, QStringLiteral("Task routed")));

    // The new open row is refused after the notices were written: they go with it.
    refuseRouteRows(QStringLiteral("NEW.Route_Date_Out IS NULL"));
    EXPECT_THROW(record(task(), QStringLiteral("Task routed")), DbError);
    EXPECT_EQ(outbox(), QStringList());
    EXPECT_EQ(messageOwners(), QStringList());
}

TEST_P(NoticeServiceTest, WithoutSmtpServerOnlyTheMessageGoesAndOneLineIsLogged)
{
    session.system.smtpServer.clear();
    set(QStringLiteral("rita"), QStringLiteral("Ext4"), true);
    const QString line = QStringLiteral("Default SMTP Server name not specified");
    const int before = errorLines(line);
    ASSERT_TRUE(record(task(), QStringLiteral("Task routed")));
    ASSERT_TRUE(record(task(), QStringLiteral("Create Request")));
    EXPECT_EQ(outbox(), QStringList());
    EXPECT_EQ(messageOwners().size(), 2);
    EXPECT_EQ(errorLines(line), before + 1);
}

TEST_P(NoticeServiceTest, CalendarEventKeepsItsUidAndRisesInSequence)
{
    set(QStringLiteral("rita"), QStringLiteral("Ext4"), true);
    set(QStringLiteral("rita"), QStringLiteral("Ext2"), true);
    const QDateTime due = naive(QDate(2024, 3, 1), QTime(9, 0));
    const qlonglong dated = task();
    // A database without its id gets one with its first notice; one made in a recording that was
    // rolled back is not used afterwards.
    db().execute(QStringLiteral("DELETE FROM Vars WHERE VarName = ?"), {Vars::kDatabaseIdVar});
    {
        Transaction undone(session.db());
        ASSERT_TRUE(
            record(dated, QStringLiteral("Create Request"), QStringLiteral("olga"), 0, due));
    }
    ASSERT_EQ(outbox(), QStringList());
    ASSERT_TRUE(record(dated, QStringLiteral("Create Request"), QStringLiteral("olga"), 0, due));
    ASSERT_TRUE(record(dated, QStringLiteral("Task routed"), QStringLiteral("olga"), 0, due));
    ASSERT_TRUE(record(task(), QStringLiteral("YES")));

    const RecordSet rows = db().query(QStringLiteral(
        "SELECT Attach_Name, Attach_Type, Attach_Text FROM MAIL_OUTBOX ORDER BY Outbox_Number"));
    ASSERT_EQ(rows.rowCount(), 3);
    const auto field = [&](int row, const QString& name) {
        const QStringList lines =
            rows.value(row, QStringLiteral("Attach_Text")).toString().split(QStringLiteral("\r\n"));
        for (const QString& l : lines)
            if (l.startsWith(name + QLatin1Char(':')))
                return l.mid(name.size() + 1);
        return QString();
    };
    EXPECT_EQ(rows.value(0, QStringLiteral("Attach_Name")).toString(),
              QStringLiteral("BX%1.ics").arg(dated));
    EXPECT_TRUE(rows.value(0, QStringLiteral("Attach_Type"))
                    .toString()
                    .startsWith(QLatin1String("text/calendar; method=PUBLISH")));
    EXPECT_EQ(field(0, QStringLiteral("UID")), field(1, QStringLiteral("UID")));
    const QString databaseId =
        db().scalar(QStringLiteral("SELECT VarValue FROM Vars WHERE VarName = ?"),
                    {Vars::kDatabaseIdVar})
            .toString();
    ASSERT_FALSE(databaseId.isEmpty());
    EXPECT_TRUE(field(0, QStringLiteral("UID")).contains(databaseId));
    EXPECT_LT(field(0, QStringLiteral("SEQUENCE")).toInt(),
              field(1, QStringLiteral("SEQUENCE")).toInt());
    // The due date is stored in GMT and published as that instant.
    EXPECT_EQ(field(0, QStringLiteral("DTSTART")), QStringLiteral("20240301T090000Z"));
    EXPECT_EQ(field(0, QStringLiteral("SUMMARY")), QStringLiteral("Printer"));
    EXPECT_TRUE(rows.value(2, QStringLiteral("Attach_Name")).isNull()) << "no target date";
}

BX_INSTANTIATE_ENGINES(NoticeServiceTest);

} // namespace
