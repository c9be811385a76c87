#include "reports/StandardReports.h"

#include "core/db/Database.h"

#include <QFile>
#include <QFileInfo>

namespace bx::StandardReports {

const QList<Report>& all()
{
    static const QList<Report> reports = {
        {1, QStringLiteral("Activities Completed this Week")},
        {2, QStringLiteral("Most Recent Status Reports")},
        {3, QStringLiteral("No Weekly Status Report Available")},
        {4, QStringLiteral("Over Due Tasks")},
        {5, QStringLiteral("Status Reports")},
        {6, QStringLiteral("Tasks With No Due Date Assigned")},
        {7, QStringLiteral("Weekly Issues (from status reports)")},
        {8, QStringLiteral("Weekly Status Reports")},
        {9, QStringLiteral("Who's Working on What Report")},
    };
    return reports;
}

const Report& byNumber(int number)
{
    Q_ASSERT(number >= 1 && number <= all().size());
    return all().at(number - 1);
}

qlonglong storeReportFile(Database& db, const QString& path, const QString& title,
                          const QDateTime& gmtDate, const InsertRow& insert)
{
    // Opened before the row is added, so that an unreadable file leaves no row without content.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("Cannot read the report ") + file.fileName() +
                          QStringLiteral(": ") + file.errorString());

    const QString table = QStringLiteral("ATTACH");
    const QString numberColumn = QStringLiteral("Attach_Number");
    const QStringList columns = {QStringLiteral("SCR_Number"),  QStringLiteral("Attach_Title"),
                                 QStringLiteral("Attach_Type"), QStringLiteral("Attach_Owner"),
                                 QStringLiteral("Attach_Date"), QStringLiteral("Attach_Filename"),
                                 QStringLiteral("Category")};
    const QVariantList values = {0,
                                 title,
                                 QStringLiteral("R"),
                                 QStringLiteral("admin"),
                                 gmtDate,
                                 QFileInfo(path).fileName(),
                                 QString()};
    const qlonglong number = insert ? insert(table, numberColumn, columns, values)
                                    : db.insertNumbered(table, numberColumn, columns, values);
    db.writeBlob({table, numberColumn, number, QStringLiteral("OLE_Data")}, file, file.size());
    return number;
}

} // namespace bx::StandardReports
