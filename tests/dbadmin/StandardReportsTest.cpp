#include "core/db/Database.h"
#include "dbadmin/UpgradeLog.h"
#include "reports/ReportLayout.h"
#include "support/AttachContent.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"

#include <QBuffer>
#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {
class StandardReportsTest : public bx::test::EngineTest
{
};
} // namespace

// A new database receives the delivered reports; each must read back as a valid layout and its
// query must run on the engine with the values it fills in by itself.
TEST_P(StandardReportsTest, EveryDeliveredReportRunsOnANewDatabase)
{
    bx::test::FixedClock clock;
    bx::test::loadBaseSchema(db());
    UpgradeLog log(tempDir() + u"/UpgradeLog.txt"_s);
    bx::test::applySteps(db(), log, {QCoreApplication::applicationDirPath(), &clock});

    const RecordSet reports = db().query(u"SELECT Attach_Number, Attach_Filename FROM ATTACH WHERE "
                                         "Attach_Type = 'R' ORDER BY Attach_Filename"_s);
    ASSERT_EQ(reports.rowCount(), 9);
    const qlonglong workshop =
        db().scalar(u"SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = ?"_s, {u"General"_s})
            .toLongLong();
    for (const QVariantList& row : reports.rows()) {
        const QByteArray json = bx::test::attachContent(db(), row.at(0));
        QString error;
        const auto layout = ReportLayout::fromJson(json, &error);
        ASSERT_TRUE(layout.has_value())
            << row.at(1).toString().toStdString() << ": " << error.toStdString();
        try {
            db().query(layout->parameterQuery(),
                       layout->defaultValues(clock, u"admin"_s, int(workshop)));
        } catch (const DbError& e) {
            ADD_FAILURE() << row.at(1).toString().toStdString() << ": " << e.what();
        }
    }
}

BX_INSTANTIATE_ENGINES(StandardReportsTest);
