#include "support/SessionTest.h"

#include "support/Schema.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace bx::test {

void CurrentSchemaTest::prepare()
{
    QDir(tempDir()).mkdir(u"program"_s);
    loadCurrentSchema(db(), tempDir() + u"/program"_s);
}

void SessionTest::prepare()
{
    CurrentSchemaTest::prepare();
    if (!ready())
        return;
    session.setDatabase(connectAgain());
    session.user.userId = u"ann"_s;
}

void SessionTest::TearDown()
{
    session.closeDatabase();
    EngineTest::TearDown();
}

} // namespace bx::test
