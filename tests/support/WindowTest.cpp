#include "support/WindowTest.h"

#include "core/ErrorLog.h"
#include "core/db/SqliteDatabase.h"
#include "dbadmin/DatabaseCreator.h"
#include "support/Lifecycles.h"
#include "support/TaskRows.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace bx::test {

void WindowTest::makeDatabase(const QString& path, bool remember)
{
    ErrorLog log(dir.filePath(u"QVErrorLog.txt"_s), clock);
    DatabaseCreator creator(settings, prompt, clock, log, QCoreApplication::applicationDirPath());
    creator.setRemember(remember);
    ASSERT_TRUE(creator.createEmbedded(path));
    prompt.clear();
}

void WindowTest::SetUp()
{
    const QString path = dir.filePath(u"pax.db"_s);
    ASSERT_NO_FATAL_FAILURE(makeDatabase(path, false));
    session.setDatabase(SqliteDatabase::open(path));
    session.user.userId = session.user.record.userId = u"admin"_s;
    if (!HasFatalFailure())
        arrange();
}

qlonglong WindowTest::addOwnTask(const QVariantMap& columns)
{
    return addTaskRow(db(),
                      {{u"SCR_Owner_User_ID"_s, session.user.userId},
                       {u"SCR_Request_ID"_s, session.user.userId},
                       {u"SCR_Group_ID"_s, session.currentWorkshopId}},
                      columns);
}

void WindowTest::enterWorkshop(qlonglong id, const QString& name)
{
    addWorkshop(db(), id, name);
    addMembers(db(), id, {session.user.userId});
    session.currentWorkshopId = static_cast<int>(id);
}

} // namespace bx::test
