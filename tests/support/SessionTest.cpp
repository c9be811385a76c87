#include "support/SessionTest.h"

#include "support/Schema.h"

#include <QDir>

namespace bx::test {

void CurrentSchemaTest::SetUp()
{
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    QDir(tempDir()).mkdir(QStringLiteral("program"));
    loadCurrentSchema(db(), tempDir() + QStringLiteral("/program"));
}

void SessionTest::SetUp()
{
    CurrentSchemaTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    session.setDatabase(connectAgain());
    session.user.userId = QStringLiteral("ann");
}

void SessionTest::TearDown()
{
    session.closeDatabase();
    EngineTest::TearDown();
}

} // namespace bx::test
