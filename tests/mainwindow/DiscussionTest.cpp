#include "mainwindow/Discussion.h"

#include "core/db/Database.h"
#include "support/EngineFixture.h"
#include "support/Schema.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kObrien = QStringLiteral("O'Brien");

class DiscussionTest : public test::EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QDir(tempDir()).mkdir(QStringLiteral("program"));
        test::loadCurrentSchema(db(), tempDir() + QStringLiteral("/program"));
        for (const QString& user : {kObrien, QStringLiteral("carl")})
            db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, 0)"),
                         {user});
        for (int group : {7, 8})
            db().execute(
                QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
                {group, QStringLiteral("Shop")});
    }

    qlonglong addTask(const QString& title, qlonglong group, bool sensitive = false)
    {
        const qlonglong n = db().insertNumbered(
            QStringLiteral("SCR"), QStringLiteral("SCR_Counter"),
            {QStringLiteral("SCR_Title"), QStringLiteral("SCR_Status"),
             QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("SCR_Request_ID"),
             QStringLiteral("SCR_Group_ID"), QStringLiteral("SCR_Sensitive")},
            {title, QStringLiteral("A"), QStringLiteral("carl"), QStringLiteral("carl"), group,
             sensitive ? 1 : 0});
        db().execute(
            QStringLiteral("UPDATE SCR SET SCR_Number = SCR_Counter WHERE SCR_Counter = ?"), {n});
        return n;
    }

    void attach(qlonglong task, const QString& type)
    {
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                             QStringLiteral("Group_ID")},
                            {task, type, 7});
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

TEST_P(DiscussionTest, ListsTheWorkshopsTasksOptionallyOnlyThoseWithDiscussion)
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
}

TEST_P(DiscussionTest, SensitiveTasksOnlyForTheirPeople)
{
    attach(addTask(QStringLiteral("secret"), 7, true), QStringLiteral("D"));
    EXPECT_TRUE(titles(true).isEmpty());
    EXPECT_EQ(titles(true, QStringLiteral(" CARL")), QStringList{QStringLiteral("secret")});
}

} // namespace

BX_INSTANTIATE_ENGINES(DiscussionTest);
