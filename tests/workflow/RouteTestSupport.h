#pragma once

#include <QDateTime>
#include <QString>

namespace bx {
class Database;
} // namespace bx

// A namespace of its own: other workflow tests link into the same executable with helpers of
// their own.
namespace bx::test::route {

/** A task as the task object would have saved it before routing. */
struct TaskRow
{
    QString title = QStringLiteral("Printer");
    QString status = QStringLiteral("A");
    QString owner = QStringLiteral("ann");
    qlonglong groupId = 0;
    bool sensitive = false;
    qlonglong routeNumber = 0; ///< SCR_Route_Number
};

/** Adds the task and returns its SCR_Number. */
qlonglong addTask(Database& db, const TaskRow& row);

/** Adds a workshop and returns its GROUP_ID. */
qlonglong addGroup(Database& db, const QString& name);

} // namespace bx::test::route
