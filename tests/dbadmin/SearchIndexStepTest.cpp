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
using namespace Qt::StringLiterals;

namespace {

class SearchIndexStepTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s});
        test::addWorkshop(db(), 7);
    }

    qlonglong addTask(const QString& title, const QString& comments)
    {
        return test::addTaskRow(db(),
                                {{u"SCR_Title"_s, title}, {u"SCR_Comments_AsText"_s, comments}});
    }

    void runStepAgain()
    {
        UpgradeLog log(tempDir() + u"/UpgradeLog.txt"_s);
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
        const QString sql = isServer()
                                ? u"SELECT SCR_Number FROM SCR WHERE SCR_Title::text ILIKE ? "
                                  "OR SCR_Comments_AsText::text ILIKE ? ORDER BY 1"_s
                                : u"SELECT rowid FROM SCR_SEARCH WHERE SCR_Title LIKE ? "
                                  "UNION SELECT rowid FROM SCR_SEARCH WHERE "
                                  "SCR_Comments_AsText LIKE ? ORDER BY 1"_s;
        const QString pattern = u'%' + word + u'%';
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
    const qlonglong a = addTask(u"Quarterly budget"_s, u"O'Brien's"_s);
    const qlonglong b = addTask(u"Other"_s, u"budget talk"_s);
    runStepAgain();
    runStepAgain();
    EXPECT_EQ(indexed(u"budget"_s), (QList<qlonglong>{a, b}));
    EXPECT_EQ(indexed(u"o'brien"_s), QList<qlonglong>{a});
    if (isServer()) {
        const RecordSet indexes =
            db().query(u"SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND "
                       "indexname LIKE 'ix\\_scr\\_%\\_trgm' ORDER BY 1"_s);
        EXPECT_EQ(indexes.rowCount(), 3) << "pg_trgm is available in the test cluster";
        // The search's form of the condition must be one the indexes serve.
        db().execute(u"SET enable_seqscan = off"_s);
        QString plan;
        const RecordSet explained = db().query(u"EXPLAIN SELECT SCR_Number FROM SCR WHERE "
                                               "SCR.SCR_Comments_AsText::text ILIKE '%budget%'"_s);
        for (const QVariantList& row : explained.rows())
            plan += row.value(0).toString();
        db().execute(u"RESET enable_seqscan"_s);
        EXPECT_TRUE(plan.contains(u"ix_scr_comments_astext_trgm"_s)) << plan.toStdString();
    } else {
        EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM SCR_SEARCH"_s).toLongLong(), 2);
    }
}

TEST_P(SearchIndexStepTest, TheIndexFollowsInsertsUpdatesAndDeletes)
{
    if (isServer())
        GTEST_SKIP() << "the server engine keeps its own indexes current";
    const qlonglong a = addTask(u"Alpha plan"_s, QString());
    const qlonglong b = addTask(u"Beta"_s, u"no plan yet"_s);
    EXPECT_EQ(indexed(u"plan"_s), (QList<qlonglong>{a, b}));

    db().execute(u"UPDATE SCR SET SCR_Title = 'Alpha draft' WHERE SCR_Number = ?"_s, {a});
    db().execute(u"UPDATE SCR SET SCR_Status = 'C' WHERE SCR_Number = ?"_s, {b});
    EXPECT_EQ(indexed(u"plan"_s), QList<qlonglong>{b});
    EXPECT_EQ(indexed(u"draft"_s), QList<qlonglong>{a});

    db().execute(u"UPDATE SCR SET SCR_Number = 900 WHERE SCR_Number = ?"_s, {b});
    EXPECT_EQ(indexed(u"plan"_s), QList<qlonglong>{900});

    db().execute(u"DELETE FROM SCR WHERE SCR_Number = 900"_s);
    EXPECT_TRUE(indexed(u"plan"_s).isEmpty());
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM SCR_SEARCH"_s).toLongLong(), 1);
}

BX_INSTANTIATE_ENGINES(SearchIndexStepTest);

} // namespace
