#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace bx {

class Database;

/**
 * The report layouts delivered with the program, "1.rpx" to "9.rpx" in the program's folder, and
 * how one of them is stored as a report attachment (an ATTACH row of type "R").
 */
namespace StandardReports {

/** One delivered report: its number n (file "n.rpx") and its title. */
struct Report
{
    int number = 0;
    QString title;

    QString fileName() const { return QString::number(number) + QStringLiteral(".rpx"); }
};

/** All nine, in the order of their numbers. */
const QList<Report>& all();

/** The delivered report of a number from 1 to 9 (asserted). */
const Report& byNumber(int number);

/**
 * Adds a row with a new number and returns the number; the arguments are those of
 * Database::insertNumbered. The upgrade steps pass one that also writes the statement to the
 * upgrade log.
 */
using InsertRow = std::function<qlonglong(const QString& table, const QString& numberColumn,
                                          const QStringList& columns, const QVariantList& values)>;

/**
 * Stores the file at `path` as a report attachment and returns its Attach_Number: SCR_Number 0,
 * the title, type "R", owner "admin", the date (GMT), Attach_Filename = the file's name, and the
 * file's content streamed into OLE_Data, so memory stays bounded for any size. `insert` adds the
 * row (Database::insertNumbered when empty).
 *
 * The row and its content belong together: call it inside a transaction.
 *
 * @throws DbError when the file cannot be read (number "0") or a statement fails
 */
qlonglong storeReportFile(Database& db, const QString& path, const QString& title,
                          const QDateTime& gmtDate, const InsertRow& insert = {});

} // namespace StandardReports

} // namespace bx
