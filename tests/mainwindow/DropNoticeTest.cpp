// A task dropped on a user or a workshop in the team tree is routed as the task editor routes it:
// the same history, the same e-mail and the same internal message; only the word of the closed
// route row says where the routing came from.

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "mainwindow/TaskMoves.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/cSCR.h"
#include "workflow/NoticeService.h"
#include "workflow/RecordRoute.h"

#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

constexpr qlonglong kShop = 7; // the task's workshop: mia follows its tasks
constexpr qlonglong kDesk = 4; // nat follows its tasks

/** What a routing left: the task's route rows, the outbox rows and the internal messages. */
struct Left
{
    QStringList routes;
    QStringList actions; ///< Route_Action of the route rows, oldest first
    QStringList outbox;
    QStringList messages;
    QStringList mailedTo;
};

class DropNoticeTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        const QStringList ids{u"ann"_s, u"rita"_s, u"olga"_s, u"mia"_s, u"nat"_s};
        test::addUsers(db(), ids);
        for (const QString& id : ids)
            set(id, u"User_Email"_s, id + u"@bx.test"_s);
        set(u"rita"_s, u"Ext4"_s, true); // hears where her tasks go
        set(u"olga"_s, u"Ext5"_s, true); // hears of tasks given to her
        test::addWorkshop(db(), kShop, u"Seventh"_s);
        test::addWorkshop(db(), kDesk, u"O'Neil's desk"_s);
        for (const auto& [shop, member] : {std::pair{kShop, "mia"}, std::pair{kDesk, "nat"}}) {
            test::addMembers(db(), shop, {QString::fromLatin1(member)});
            set(QString::fromLatin1(member), u"Parent_User_Notify"_s, true);
        }
        session.currentWorkshopId = static_cast<int>(kShop);
        session.user.record.userName = u"Ann Actor"_s;
        session.user.record.email = u"ann@bx.test"_s;
        session.system.smtpServer = u"smtp.bx.test"_s;
        session.taskNotifier = &service;
    }

    void set(const QString& user, const QString& column, const QVariant& value)
    {
        test::setUserColumn(db(), user, column, value);
    }

    /** Rita's task, owned by ann in workshop 7, with its first history rows. */
    qlonglong addTask()
    {
        const qlonglong n = test::addTaskRow(db(), {{u"SCR_Title"_s, u"Printer"_s},
                                                    {u"SCR_Request_ID"_s, u"rita"_s},
                                                    {u"SCR_Owner_User_ID"_s, u"ann"_s},
                                                    {u"SCR_Group_ID"_s, kShop}});
        RouteHistoryEntry e;
        e.taskNumber = n;
        e.action = u"Create Request"_s;
        e.ownerUser = u"ann"_s;
        e.groupId = kShop;
        RecordRoute(db(), e, naive(QDate(2024, 1, 2), QTime(6, 0)), u"rita"_s, nullptr);
        return n;
    }

    /** The rows of `sql` as "column=value" lists, leaving out the columns a sequence numbers. */
    QStringList rowsOf(const QString& sql, const QVariantList& params, const QStringList& skipped)
    {
        const RecordSet rs = session.db().query(sql, params);
        QStringList out;
        for (const QVariantList& row : rs.rows()) {
            QStringList fields;
            for (qsizetype c = 0; c < rs.columns().size(); ++c) {
                if (!skipped.contains(rs.columns().at(c), Qt::CaseInsensitive))
                    fields << rs.columns().at(c).toLower() + QLatin1Char('=') +
                                  row.at(c).toString();
            }
            out << fields.join(u'|');
        }
        return out;
    }

    /**
     * Runs `route` on the session's connection and reads what it left, then takes it all back,
     * so that the next routing starts from the same task.
     */
    Left routedBy(qlonglong task, const std::function<bool()>& route)
    {
        Left left;
        Transaction undone(session.db());
        EXPECT_TRUE(route()) << prompt.texts().join(u'|').toStdString();
        left.routes = rowsOf(u"SELECT * FROM ROUTE WHERE SCR_Number = ? "
                             "ORDER BY Route_Number"_s,
                             {task}, {u"Route_Number"_s, u"Route_Action"_s});
        left.actions =
            test::columnTexts(session.db(),
                              u"SELECT Route_Action FROM ROUTE WHERE SCR_Number = ? ORDER BY "
                              "Route_Number"_s,
                              {task}, u"Route_Action"_s);
        // The Message-ID is drawn at random for every e-mail.
        left.outbox = rowsOf(u"SELECT * FROM MAIL_OUTBOX ORDER BY Recipient"_s, {},
                             {u"Outbox_Number"_s, u"Route_Number"_s, u"Message_ID"_s});
        left.mailedTo = test::columnTexts(session.db(),
                                          u"SELECT Recipient FROM MAIL_OUTBOX ORDER BY Recipient"_s,
                                          {}, u"Recipient"_s);
        left.messages =
            rowsOf(u"SELECT * FROM MAIL ORDER BY Owner_User_ID"_s, {}, {u"Mail_Number"_s});
        return left;
    }

    NoticeService service{session};
};

TEST_P(DropNoticeTest, ADropRoutesAndNotifiesAsTheEditorDoes)
{
    struct Case
    {
        const char* name;
        DropTarget target;
        QVariant key;
        cSelUser editorRecipient;
        QStringList mailedTo;
    };
    const Case cases[] = {
        {"on a user",
         DropTarget::User,
         u"olga"_s,
         {u"olga"_s, kShop, OwnerType::User},
         // the new owner, the requester and the followers of the task's workshop
         {u"mia@bx.test"_s, u"olga@bx.test"_s, u"rita@bx.test"_s}},
        {"on a workshop",
         DropTarget::Workshop,
         kDesk,
         {QString(), kDesk, OwnerType::Workshop},
         // the requester and the followers of the workshop the task went to
         {u"nat@bx.test"_s, u"rita@bx.test"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qlonglong n = addTask();
        const Left dropped = routedBy(n, [&] {
            prompt.answer(PromptAnswer::Yes);
            return dropTask(session, prompt, n, c.target, c.key);
        });
        const Left routed = routedBy(n, [&] {
            cSCR task(session, prompt);
            return task.Load(n) && task.Route_SCR({c.editorRecipient}, QString());
        });

        EXPECT_EQ(dropped.mailedTo, c.mailedTo);
        EXPECT_EQ(dropped.routes, routed.routes);
        EXPECT_EQ(dropped.outbox, routed.outbox);
        EXPECT_EQ(dropped.messages, routed.messages);
        ASSERT_EQ(dropped.messages.size(), 1);
        EXPECT_TRUE(dropped.messages.first().contains(u"owner_user_id=rita"_s));
        ASSERT_EQ(dropped.actions.size(), 3);
        EXPECT_EQ(dropped.actions.at(1), u"ROUTE"_s);
        EXPECT_TRUE(routed.actions.value(1).startsWith(u"Task routed to"_s));
    }
}

BX_INSTANTIATE_ENGINES(DropNoticeTest);

} // namespace
