#include "mainwindow/Discussion.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kObrien = u"O'Brien"_s;

class DiscussionTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {kObrien, u"carl"_s});
        for (int group : {7, 8})
            test::addWorkshop(db(), group);
    }

    qlonglong addTask(const QString& title, qlonglong group, bool sensitive = false)
    {
        return test::addTaskRow(db(), {{u"SCR_Title"_s, title},
                                       {u"SCR_Owner_User_ID"_s, u"carl"_s},
                                       {u"SCR_Request_ID"_s, u"carl"_s},
                                       {u"SCR_Group_ID"_s, group},
                                       {u"SCR_Sensitive"_s, sensitive}});
    }

    void attach(qlonglong task, const QString& type)
    {
        test::addAttachment(db(), task, {{u"Attach_Type"_s, type}, {u"Group_ID"_s, 7}});
    }

    QStringList titles(bool onlyWithDiscussion, const QString& user = kObrien)
    {
        const RecordSet rows = readDiscussion(db(), 7, onlyWithDiscussion, user);
        QStringList out;
        for (int i = 0; i < rows.rowCount(); ++i)
            out << rows.value(i, u"SCR_Title"_s).toString();
        return out;
    }
};

TEST_P(DiscussionTest,
       ListsTheWorkshopsTasksOptionallyOnlyThoseWithDiscussionAndSensitiveOnesForTheirPeople)
{
    const qlonglong talked = addTask(u"Bob's talk"_s, 7);
    const qlonglong memo = addTask(u"memo only"_s, 7);
    addTask(u"quiet"_s, 7);
    const qlonglong elsewhere = addTask(u"elsewhere"_s, 8);
    attach(talked, u"D"_s);
    attach(memo, u"M"_s);
    attach(elsewhere, u"D"_s);

    EXPECT_EQ(titles(false), (QStringList{u"quiet"_s, u"memo only"_s, u"Bob's talk"_s}));
    EXPECT_EQ(titles(true), QStringList{u"Bob's talk"_s});

    // A sensitive task only for its people.
    attach(addTask(u"secret"_s, 7, true), u"D"_s);
    EXPECT_EQ(titles(true), QStringList{u"Bob's talk"_s});
    EXPECT_EQ(titles(true, u" CARL"_s), (QStringList{u"secret"_s, u"Bob's talk"_s}));
}

} // namespace

BX_INSTANTIATE_ENGINES(DiscussionTest);
