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
using namespace Qt::StringLiterals;
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
    QString friendlyName() const override { return u"Make table "_s + m_name; }
    void execute(Database& db, UpgradeLog& log, const UpgradeContext&) override
    {
        const QString create = u"CREATE TABLE T_"_s + m_name + u" (x integer)"_s;
        log.line(create);
        db.executeScript(create);
        if (m_fail && *m_fail) {
            const QString broken = u"INSERT INTO no_such_table (x) VALUES (1)"_s;
            log.line(broken);
            db.executeScript(broken);
        }
        if (m_hideVars && *m_hideVars)
            db.executeScript(u"ALTER TABLE Vars RENAME TO Vars_Away"_s);
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
        out.push_back(std::make_unique<FakeStep>(u"UpgClass1"_s));
        out.push_back(
            std::make_unique<FakeStep>(u"UpgClass2"_s, &m_secondFails, &m_secondHidesVars));
        out.push_back(std::make_unique<FakeStep>(u"UpgClass3"_s));
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

    QString logPath() const { return tempDir() + u"/UpgradeLog.txt"_s; }
    QStringList logLines() const
    {
        QFile f(logPath());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
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
    EXPECT_EQ(upgrader.pending().front()->friendlyName(), u"Make table UpgClass1"_s);
    EXPECT_EQ(Vars::buildNumber(db()), 0);
    EXPECT_EQ(BuildInfo::compareBuilds(Vars::buildNumber(db())), BuildInfo::BuildState::Current)
        << "a database without a build number is never out of date";
}

TEST_P(UpgraderTest, AFailingStepRollsBackAndTheNextRunResumesThere)
{
    m_secondFails = true;
    QStringList applied;
    EXPECT_FALSE(upgrade(&applied));
    EXPECT_EQ(applied, QStringList{u"UpgClass1"_s});
    EXPECT_TRUE(hasTable("T_UpgClass1"));
    EXPECT_FALSE(hasTable("T_UpgClass2")) << "the failing step is rolled back whole";
    EXPECT_FALSE(hasTable("T_UpgClass3")) << "the run stops at the failing step";
    EXPECT_TRUE(Vars::contains(db(), u"UPGRADE/UpgClass1"_s));
    EXPECT_FALSE(Vars::contains(db(), u"UPGRADE/UpgClass2"_s));
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "no stamp after a failed run";
    ASSERT_EQ(prompt.records().size(), 2);
    EXPECT_TRUE(prompt.records().at(0).text.startsWith(u"Error: "_s));
    EXPECT_EQ(prompt.records().at(1).text, u"The Database hasn't been updated."_s);
    const QStringList lines = logLines();
    EXPECT_TRUE(lines.contains(u"Rolling Back Upgrade by Class: UpgClass2"_s));
    EXPECT_TRUE(lines.contains(prompt.records().at(0).text)) << "the error text is logged too";

    m_secondFails = false;
    prompt.clear();
    applied.clear();
    EXPECT_TRUE(upgrade(&applied));
    EXPECT_EQ(applied, (QStringList{u"UpgClass2"_s, u"UpgClass3"_s}));
    EXPECT_EQ(Vars::buildNumber(db()), BuildInfo::buildNumber());
    EXPECT_EQ(prompt.texts(), QStringList{u"The Database has been updated."_s});
}

TEST_P(UpgraderTest, AStepWhoseMarkerCannotBeWrittenLeavesNothing)
{
    m_secondHidesVars = true;
    EXPECT_FALSE(upgrade());
    EXPECT_TRUE(hasTable("Vars"));
    EXPECT_FALSE(hasTable("Vars_Away"));
    EXPECT_FALSE(hasTable("T_UpgClass2")) << "the step's changes go with its marker";
    EXPECT_FALSE(Vars::contains(db(), u"UPGRADE/UpgClass2"_s));
}

TEST_P(UpgraderTest, ASecondRunAppliesNothingAndTheLogAccumulates)
{
    ASSERT_TRUE(upgrade());
    const QStringList first = logLines();
    const QString rule(70, u'=');
    QStringList expected{rule, u"Starting Upgrade; 2024-03-09; 16:45:02"_s};
    for (const char* step : {"UpgClass1", "UpgClass2", "UpgClass3"})
        expected << u"Starting Upgrade by Class: %1"_s.arg(QLatin1String(step))
                 << u"CREATE TABLE T_%1 (x integer)"_s.arg(QLatin1String(step))
                 << u"Finishing Upgrade by Class: %1"_s.arg(QLatin1String(step));
    expected << u"Finishing Upgrade; 2024-03-09; 16:45:02"_s << rule;
    EXPECT_EQ(first, expected);

    // A database already stamped with an older build: the empty run stamps the current one.
    Vars::setValue(db(), u"BuildNum"_s, u"100"_s);
    EXPECT_EQ(BuildInfo::compareBuilds(Vars::buildNumber(db())),
              BuildInfo::BuildState::DatabaseOlder);
    QStringList applied;
    ASSERT_TRUE(upgrade(&applied));
    EXPECT_TRUE(applied.isEmpty());
    EXPECT_EQ(logLines().size(), first.size() + 4) << "rule, start, finish, rule";
    EXPECT_EQ(Vars::buildNumber(db()), BuildInfo::buildNumber());
    EXPECT_EQ(
        db().scalar(u"SELECT count(*) FROM Vars WHERE VarName = ?"_s, {u"BuildNum"_s}).toInt(), 1);
    EXPECT_EQ(BuildInfo::compareBuilds(BuildInfo::buildNumber() + 10),
              BuildInfo::BuildState::ProgramOlder);
}

BX_INSTANTIATE_ENGINES(UpgraderTest);
