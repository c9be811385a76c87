#include "support/Schema.h"

#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "dbadmin/BatchScript.h"
#include "dbadmin/UpgradeLog.h"
#include "support/FixedClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace bx::test {

QString deliveredFile(const QString& name)
{
    QFile file(QDir(QCoreApplication::applicationDirPath()).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing delivered file " << file.fileName().toStdString();
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

void loadBaseSchema(Database& db)
{
    if (db.engine() == Engine::Sqlite) {
        db.executeScript(deliveredFile(u"base-embedded.sql"_s));
        return;
    }
    for (const QString& batch : scriptBatches(deliveredFile(u"PAXSQLN.sql"_s), kScriptDatabaseName))
        db.executeScript(batch);
}

int stepNumber(const UpgradeStep& step)
{
    return step.name().mid(u"UpgClass"_s.size()).toInt();
}

void applySteps(Database& db, UpgradeLog& log, const UpgradeContext& context, int first, int last)
{
    for (const auto& step : allUpgradeSteps()) {
        const int number = stepNumber(*step);
        if (number < first || number > last)
            continue;
        Transaction tx(db);
        step->execute(db, log, context);
        Vars::setValue(db, step->marker(), u"1"_s);
        tx.commit();
    }
}

void loadCurrentSchema(Database& db, const QString& programDir)
{
    loadBaseSchema(db);
    const FixedClock clock;
    UpgradeLog log(QDir(programDir).filePath(u"UpgradeLog.txt"_s));
    applySteps(db, log, {programDir, &clock});
}

} // namespace bx::test
