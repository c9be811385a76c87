#pragma once

#include <QList>
#include <QString>

namespace bx {
class Database;
} // namespace bx

namespace bx::test {

/** One template item of a test checklist. */
struct TestItem
{
    QString text;
    bool mandatory = false;
    QString signer; ///< "" for none
    QString note;
};

/** A CHECKLIST row of workshop `workshop` with its template items (Attach_Number 0). */
void addChecklist(Database& db, const QString& name, qlonglong workshop,
                  const QList<TestItem>& items);

/**
 * Attaches checklist `name` to task `task` as the "K" row the shared add writes (title
 * "Checklist: " + name); returns its Attach_Number.
 */
qlonglong attachChecklist(Database& db, qlonglong task, const QString& name,
                          bool showInTabBar = false);

/** The number of filled rows of attachment `attachNumber`. */
int filledRows(Database& db, qlonglong attachNumber);

} // namespace bx::test
