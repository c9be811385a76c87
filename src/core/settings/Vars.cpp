#include "core/settings/Vars.h"

#include "core/db/Database.h"

namespace bx::Vars {

namespace {

RecordSet rowOf(Database& db, const QString& name)
{
    // An older database may not have the table yet; it then simply holds no values.
    if (!db.hasTable(QStringLiteral("Vars")))
        return RecordSet({QStringLiteral("VarValue")}, {});
    return db.query(QStringLiteral("SELECT VarValue FROM Vars WHERE VarName = ?"), {name});
}

} // namespace

QString value(Database& db, const QString& name)
{
    return rowOf(db, name).text(QStringLiteral("VarValue"));
}

bool contains(Database& db, const QString& name)
{
    return !rowOf(db, name).isEmpty();
}

void setValue(Database& db, const QString& name, const QString& value)
{
    Transaction tx(db);
    if (db.execute(QStringLiteral("UPDATE Vars SET VarValue = ? WHERE VarName = ?"),
                   {value, name}) == 0)
        db.execute(QStringLiteral("INSERT INTO Vars (VarName, VarValue) VALUES (?, ?)"),
                   {name, value});
    tx.commit();
}

int buildNumber(Database& db)
{
    bool ok = false;
    const int n = value(db, QStringLiteral("BuildNum")).trimmed().toInt(&ok);
    return ok ? n : 0;
}

bool createsUserLogins(Database& db)
{
    const QString v = value(db, QStringLiteral("NotCreateNewLogin")).trimmed();
    return v.isEmpty() || v.compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0;
}

} // namespace bx::Vars
