#include "dbadmin/Upgrader.h"

#include "core/BuildInfo.h"
#include "core/settings/Vars.h"
#include "dbadmin/UpgradeLog.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::EngineTest;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

/**
 * A step that creates a table of its own; when told to fail, it runs a broken statement, or
 * moves Vars away so that only the recording of its marker fails.
 */
class FakeStep final : public UpgradeStep
{
public:
    FakeStep(QString name, bool* fail = nullptr, bool* hideVars = nullptr)
        : m_name(std::move(name))
        , m_fail(fail)
        , m_hideVars(hideVars)
    {
    }
    QString name() const override { return m_name; }
    QString friendlyName() const override { return QStringLiteral("Make table ") + m_name; }
    void execute(Database& db, UpgradeLog& log, const UpgradeContext&) override
    {
        const QString create =
            QStringLiteral("CREATE TABLE T_") + m_name + QStringLiteral(" (x integer)");
        log.line(create);
        db.executeScript(create);
        if (m_fail && *m_fail) {
            const QString broken = QStringLiteral("INSERT INTO no_such_table (x) VALUES (1)");
            log.line(broken);
            db.executeScript(broken);
        }
        if (m_hideVars && *m_hideVars)
            db.executeScript(QStringLiteral("ALTER TABLE Vars RENAME TO Vars_Away"));
    }

private:
    QString m_name;
    bool* m_fail;
    bool* m_hideVars;
};

class UpgraderTest : public EngineTest
{
protected:
    Upgrader::StepList steps()
    {
        Upgrader::StepList out;
        out.push_back(std::make_unique<FakeStep>(QStringLiteral("UpgClass1")));
        out.push_back(std::make_unique<FakeStep>(QStringLiteral("UpgClass2"), &m_secondFails,
                                                 &m_secondHidesVars));
        out.push_back(std::make_unique<FakeStep>(QStringLiteral("UpgClass3")));
        return out;
    }

    /** One upgrade, as the dialog runs it: load, then OK. */
    bool upgrade(QStringList* applied = nullptr)
    {
        UpgradeLog log(logPath());
        Upgrader upgrader(db(), prompt, log, {tempDir(), &clock}, false,
                          [this] { return steps(); });
        upgrader.load();
        return upgrader.run([&](const QString& name) {
            if (applied)
                *applied << name;
        });
    }

    QString logPath() const { return tempDir() + QStringLiteral("/UpgradeLog.txt"); }
    QStringList logLines() const
    {
        QFile f(logPath());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    bool hasTable(const char* name) { return db().hasTable(QLatin1String(name)); }

    FixedClock clock{QDateTime(QDate(2024, 3, 9), QTime(16, 45, 2), Qt::UTC)};
    ScriptedPrompt prompt;
    bool m_secondFails = false;
    bool m_secondHidesVars = false;
};

} // namespace

TEST_P(UpgraderTest, MissingVarsIsCreatedAndEveryStepIsPending)
{
    UpgradeLog log(logPath());
    Upgrader upgrader(db(), prompt, log, {tempDir(), &clock}, false, [this] { return steps(); });
    EXPECT_FALSE(upgrader.run()) << "nothing runs before the dialog is loaded";
    EXPECT_TRUE(logLines().isEmpty());
    upgrader.load();
    EXPECT_TRUE(hasTable("Vars"));
    ASSERT_EQ(upgrader.pending().size(), 3u);
    EXPECT_EQ(upgrader.pending().front()->friendlyName(), QStringLiteral("Make table UpgClass1"));
    EXPECT_EQ(Vars::buildNumber(db()), 0);
    EXPECT_EQ(BuildInfo::compareBuilds(Vars::buildNumber(db())), BuildInfo::BuildState::Current)
        << "a database without a build number is never out of date";
}

TEST_P(UpgraderTest, AFailingStepRollsBackAndTheNextRunResumesThere)
{
    m_secondFails = true;
    QStringList applied;
    EXPECT_FALSE(upgrade(&applied));
    EXPECT_EQ(applied, QStringList{QStringLiteral("UpgClass1")});
    EXPECT_TRUE(hasTable("T_UpgClass1"));
    EXPECT_FALSE(hasTable("T_UpgClass2")) << "the failing step is rolled back whole";
    EXPECT_FALSE(hasTable("T_UpgClass3")) << "the run stops at the failing step";
    EXPECT_TRUE(Vars::contains(db(), QStringLiteral("UPGRADE/UpgClass1")));
    EXPECT_FALSE(Vars::contains(db(), QStringLiteral("UPGRADE/UpgClass2")));
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "no stamp after a failed run";
    ASSERT_EQ(prompt.records().size(), 2);
    EXPECT_TRUE(prompt.records().at(0).text.startsWith(QStringLiteral("Error: ")));
    EXPECT_TRUE(prompt.records().at(0).text.contains(QStringLiteral("; ")));
    EXPECT_EQ(prompt.records().at(1).text, QStringLiteral("The Database hasn't been updated."));
    const QStringList lines = logLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Rolling Back Upgrade by Class: UpgClass2")));
    EXPECT_TRUE(lines.contains(prompt.records().at(0).text)) << "the error text is logged too";

    m_secondFails = false;
    prompt.clear();
    applied.clear();
    EXPECT_TRUE(upgrade(&applied));
    EXPECT_EQ(applied, (QStringList{QStringLiteral("UpgClass2"), QStringLiteral("UpgClass3")}));
    EXPECT_EQ(Vars::buildNumber(db()), BuildInfo::buildNumber());
    EXPECT_EQ(prompt.texts(), QStringList{QStringLiteral("The Database has been updated.")});
}

TEST_P(UpgraderTest, AStepWhoseMarkerCannotBeWrittenLeavesNothing)
{
    m_secondHidesVars = true;
    EXPECT_FALSE(upgrade());
    EXPECT_TRUE(hasTable("Vars"));
    EXPECT_FALSE(hasTable("Vars_Away"));
    EXPECT_FALSE(hasTable("T_UpgClass2")) << "the step's changes go with its marker";
    EXPECT_FALSE(Vars::contains(db(), QStringLiteral("UPGRADE/UpgClass2")));
}

TEST_P(UpgraderTest, ASecondRunAppliesNothingAndTheLogAccumulates)
{
    ASSERT_TRUE(upgrade());
    const QStringList first = logLines();
    const QString rule(70, QLatin1Char('='));
    QStringList expected{rule, QStringLiteral("Starting Upgrade; 2024-03-09; 16:45:02")};
    for (const char* step : {"UpgClass1", "UpgClass2", "UpgClass3"})
        expected << QStringLiteral("Starting Upgrade by Class: %1").arg(QLatin1String(step))
                 << QStringLiteral("CREATE TABLE T_%1 (x integer)").arg(QLatin1String(step))
                 << QStringLiteral("Finishing Upgrade by Class: %1").arg(QLatin1String(step));
    expected << QStringLiteral("Finishing Upgrade; 2024-03-09; 16:45:02") << rule;
    EXPECT_EQ(first, expected);

    // A database already stamped with an older build: the empty run stamps the current one.
    Vars::setValue(db(), QStringLiteral("BuildNum"), QStringLiteral("100"));
    EXPECT_EQ(BuildInfo::compareBuilds(Vars::buildNumber(db())),
              BuildInfo::BuildState::DatabaseOlder);
    QStringList applied;
    ASSERT_TRUE(upgrade(&applied));
    EXPECT_TRUE(applied.isEmpty());
    EXPECT_EQ(logLines().size(), first.size() + 4) << "rule, start, finish, rule";
    EXPECT_EQ(Vars::buildNumber(db()), BuildInfo::buildNumber());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM Vars WHERE VarName = ?"),
                          {QStringLiteral("BuildNum")})
                  .toInt(),
              1);
    EXPECT_EQ(BuildInfo::compareBuilds(BuildInfo::buildNumber() + 10),
              BuildInfo::BuildState::ProgramOlder);
}

BX_INSTANTIATE_ENGINES(UpgraderTest);
