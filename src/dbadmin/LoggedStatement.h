#pragma once

#include "core/db/RecordSet.h"

#include <QString>
#include <QVariantList>

namespace bx {

class Database;
class UpgradeLog;

/**
 * The line by which the upgrade log records a statement: its text, and after it the values bound
 * to its markers ("  -- values: 'General', 12").
 */
QString describeStatement(const QString& sql, const QVariantList& params = {});

/** Writes the statement to the log, then runs it. @throws DbError */
qlonglong executeLogged(Database& db, UpgradeLog& log, const QString& sql,
                        const QVariantList& params = {});

/** Writes the query to the log, then runs it. @throws DbError */
RecordSet queryLogged(Database& db, UpgradeLog& log, const QString& sql,
                      const QVariantList& params = {});

} // namespace bx
