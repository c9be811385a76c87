#include "core/db/Database.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/UpgradeSteps.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace bx;

namespace {

class SearchIndexStepTest : public test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann")});
        test::addWorkshop(db(), 7);
    }

    qlonglong addTask(const QString& title, const QString& comments)
    {
        return test::addTaskRow(db(), {{QStringLiteral("SCR_Title"), title},
                                       {QStringLiteral("SCR_Comments_AsText"), comments}});
    }

    void runStepAgain()
    {
        UpgradeLog log(tempDir() + QStringLiteral("/UpgradeLog.txt"));
        const UpgradeContext context{tempDir(), &m_clock};
        const StepDefinition step = upgradeSteps77().first();
        StepActions actions(db(), log, context, step.policy);
        Transaction tx(db());
        step.body(actions);
        tx.commit();
    }

    /**
     * The numbers of the tasks whose title or comments hold `word`, as the search's index sees
     * them: the embedded engine's trigram table, the server's trigram-indexed text forms.
     */
    QList<qlonglong> indexed(const QString& word)
    {
        const QString sql =
            isServer() ? QStringLiteral("SELECT SCR_Number FROM SCR WHERE SCR_Title::text ILIKE ? "
                                        "OR SCR_Comments_AsText::text ILIKE ? ORDER BY 1")
                       : QStringLiteral("SELECT rowid FROM SCR_SEARCH WHERE SCR_Title LIKE ? "
                                        "UNION SELECT rowid FROM SCR_SEARCH WHERE "
                                        "SCR_Comments_AsText LIKE ? ORDER BY 1");
        const QString pattern = QLatin1Char('%') + word + QLatin1Char('%');
        QList<qlonglong> out;
        const RecordSet rows = db().query(sql, {pattern, pattern});
        for (const QVariantList& row : rows.rows())
            out << row.value(0).toLongLong();
        return out;
    }

    test::FixedClock m_clock;
};

TEST_P(SearchIndexStepTest, RunsAgainWithoutHarmAndFillsFromExistingRows)
{
    const qlonglong a = addTask(QStringLiteral("Quarterly budget"), QStringLiteral("O'Brien's"));
    const qlonglong b = addTask(QStringLiteral("Other"), QStringLiteral("budget talk"));
    runStepAgain();
    runStepAgain();
    EXPECT_EQ(indexed(QStringLiteral("budget")), (QList<qlonglong>{a, b}));
    EXPECT_EQ(indexed(QStringLiteral("o'brien")), QList<qlonglong>{a});
    if (isServer()) {
        const RecordSet indexes = db().query(QStringLiteral(
            "SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND "
            "indexname LIKE 'ix\\_scr\\_%\\_trgm' ORDER BY 1"));
        EXPECT_EQ(indexes.rowCount(), 3) << "pg_trgm is available in the test cluster";
        // The search's form of the condition must be one the indexes serve.
        db().execute(QStringLiteral("SET enable_seqscan = off"));
        QString plan;
        const RecordSet explained =
            db().query(QStringLiteral("EXPLAIN SELECT SCR_Number FROM SCR WHERE "
                                      "SCR.SCR_Comments_AsText::text ILIKE '%budget%'"));
        for (const QVariantList& row : explained.rows())
            plan += row.value(0).toString();
        db().execute(QStringLiteral("RESET enable_seqscan"));
        EXPECT_TRUE(plan.contains(QStringLiteral("ix_scr_comments_astext_trgm")))
            << plan.toStdString();
    } else {
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SCR_SEARCH")).toLongLong(), 2);
    }
}

TEST_P(SearchIndexStepTest, TheIndexFollowsInsertsUpdatesAndDeletes)
{
    if (isServer())
        GTEST_SKIP() << "the server engine keeps its own indexes current";
    const qlonglong a = addTask(QStringLiteral("Alpha plan"), QString());
    const qlonglong b = addTask(QStringLiteral("Beta"), QStringLiteral("no plan yet"));
    EXPECT_EQ(indexed(QStringLiteral("plan")), (QList<qlonglong>{a, b}));

    db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = 'Alpha draft' WHERE SCR_Number = ?"),
                 {a});
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Status = 'C' WHERE SCR_Number = ?"), {b});
    EXPECT_EQ(indexed(QStringLiteral("plan")), QList<qlonglong>{b});
    EXPECT_EQ(indexed(QStringLiteral("draft")), QList<qlonglong>{a});

    db().execute(QStringLiteral("UPDATE SCR SET SCR_Number = 900 WHERE SCR_Number = ?"), {b});
    EXPECT_EQ(indexed(QStringLiteral("plan")), QList<qlonglong>{900});

    db().execute(QStringLiteral("DELETE FROM SCR WHERE SCR_Number = 900"));
    EXPECT_TRUE(indexed(QStringLiteral("plan")).isEmpty());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SCR_SEARCH")).toLongLong(), 1);
}

BX_INSTANTIATE_ENGINES(SearchIndexStepTest);

} // namespace
