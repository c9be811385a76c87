#include "PeopleTestSupport.h"

#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "dbadmin/BatchScript.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/UpgradeStep.h"
#include "support/FixedClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <stdexcept>
#include <string>

namespace bx::test {

void loadCurrentSchema(Database& db, const QString& programDir)
{
    const auto delivered = [](const char* name) {
        QFile file(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(std::string("missing delivered file ") + name);
        return QString::fromUtf8(file.readAll());
    };
    if (db.engine() == Engine::Sqlite) {
        db.executeScript(delivered("base-embedded.sql"));
    } else {
        // The name also names the roles the script creates; the schema tests use the same one.
        for (const QString& batch :
             scriptBatches(delivered("PAXSQLN.sql"), QStringLiteral("bxschema")))
            db.executeScript(batch);
    }

    const FixedClock clock;
    UpgradeLog log(QDir(programDir).filePath(QStringLiteral("UpgradeLog.txt")));
    for (const auto& step : allUpgradeSteps()) {
        Transaction tx(db);
        step->execute(db, log, {programDir, &clock});
        Vars::setValue(db, step->marker(), QStringLiteral("1"));
        tx.commit();
    }
}

} // namespace bx::test
