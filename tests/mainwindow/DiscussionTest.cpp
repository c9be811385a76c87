#include "mainwindow/Discussion.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kObrien = QStringLiteral("O'Brien");

class DiscussionTest : public test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {kObrien, QStringLiteral("carl")});
        for (int group : {7, 8})
            test::addWorkshop(db(), group);
    }

    qlonglong addTask(const QString& title, qlonglong group, bool sensitive = false)
    {
        return test::addTaskRow(db(),
                                {{QStringLiteral("SCR_Title"), title},
                                 {QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("carl")},
                                 {QStringLiteral("SCR_Request_ID"), QStringLiteral("carl")},
                                 {QStringLiteral("SCR_Group_ID"), group},
                                 {QStringLiteral("SCR_Sensitive"), sensitive}});
    }

    void attach(qlonglong task, const QString& type)
    {
        test::addAttachment(
            db(), task, {{QStringLiteral("Attach_Type"), type}, {QStringLiteral("Group_ID"), 7}});
    }

    QStringList titles(bool onlyWithDiscussion, const QString& user = kObrien)
    {
        const RecordSet rows = readDiscussion(db(), 7, onlyWithDiscussion, user);
        QStringList out;
        for (int i = 0; i < rows.rowCount(); ++i)
            out << rows.value(i, QStringLiteral("SCR_Title")).toString();
        return out;
    }
};

TEST_P(DiscussionTest,
       ListsTheWorkshopsTasksOptionallyOnlyThoseWithDiscussionAndSensitiveOnesForTheirPeople)
{
    const qlonglong talked = addTask(QStringLiteral("Bob's talk"), 7);
    const qlonglong memo = addTask(QStringLiteral("memo only"), 7);
    addTask(QStringLiteral("quiet"), 7);
    const qlonglong elsewhere = addTask(QStringLiteral("elsewhere"), 8);
    attach(talked, QStringLiteral("D"));
    attach(memo, QStringLiteral("M"));
    attach(elsewhere, QStringLiteral("D"));

    EXPECT_EQ(titles(false), (QStringList{QStringLiteral("quiet"), QStringLiteral("memo only"),
                                          QStringLiteral("Bob's talk")}));
    EXPECT_EQ(titles(true), QStringList{QStringLiteral("Bob's talk")});

    // A sensitive task only for its people.
    attach(addTask(QStringLiteral("secret"), 7, true), QStringLiteral("D"));
    EXPECT_EQ(titles(true), QStringList{QStringLiteral("Bob's talk")});
    EXPECT_EQ(titles(true, QStringLiteral(" CARL")),
              (QStringList{QStringLiteral("secret"), QStringLiteral("Bob's talk")}));
}

} // namespace

BX_INSTANTIATE_ENGINES(DiscussionTest);
