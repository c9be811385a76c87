#pragma once

#include "core/Clock.h"
#include "core/db/RecordSet.h"
#include "reports/ReportLayout.h"

#include <QRegularExpression>

namespace bx::test {

/**
 * A report of tasks by owner (header and footer) and category (header only), with the owner,
 * category and a secret hidden; group totals "Tasks" (count of ID) and "Amount" (sum), report
 * totals "All tasks" and "Total". Its rows (sampleReportRows) give:
 *
 *   Owner: ann   Category: A   1 "<b>R&D</b> & Co" 10.50 due 2024-01-31 23:30 GMT
 *                              2 "Beta"             4.25 no due date
 *                Category: B   3 "Gamma"            1.00 due 2024-03-01 10:00 GMT
 *                Tasks: 3  Amount: 15.75
 *   Owner: bob   Category: A   4 "Delta"          100.00 due 2024-03-02 00:00 GMT
 *                Tasks: 1  Amount: 100.00
 *   All tasks: 4  Total: 115.75
 *
 * The hidden secrets are "s1" to "s4".
 */
inline ReportLayout sampleReportLayout()
{
    ReportLayout l;
    l.title = QStringLiteral("Tasks by owner");
    l.query = QStringLiteral("SELECT 1");
    l.columns = {
        {QStringLiteral("Owner"), QStringLiteral("Owner"), 10, ReportAlign::Left,
         ReportFormat::Text, -1, true},
        {QStringLiteral("Category"), QStringLiteral("Category"), 10, ReportAlign::Left,
         ReportFormat::Text, -1, true},
        {QStringLiteral("Secret"), QStringLiteral("Secret"), 10, ReportAlign::Left,
         ReportFormat::Text, -1, true},
        {QStringLiteral("Id"), QStringLiteral("ID"), 6, ReportAlign::Right, ReportFormat::Number, 0,
         false},
        {QStringLiteral("Title"), QStringLiteral("Title"), 40, ReportAlign::Left,
         ReportFormat::Text, -1, false},
        {QStringLiteral("Amount"), QStringLiteral("Amount"), 12, ReportAlign::Right,
         ReportFormat::Number, 2, false},
        {QStringLiteral("Due"), QStringLiteral("Due Date"), 12, ReportAlign::Left,
         ReportFormat::Date, -1, false},
    };
    l.grouping = {{QStringLiteral("Owner"), QStringLiteral("Owner"), true, true},
                  {QStringLiteral("Category"), QStringLiteral("Category"), true, false}};
    l.totals = {
        {QStringLiteral("Id"), ReportFunction::Count, ReportLevel::Group, QStringLiteral("Tasks")},
        {QStringLiteral("Amount"), ReportFunction::Sum, ReportLevel::Group,
         QStringLiteral("Amount")},
        {QStringLiteral("Id"), ReportFunction::Count, ReportLevel::Report,
         QStringLiteral("All tasks")},
        {QStringLiteral("Amount"), ReportFunction::Sum, ReportLevel::Report,
         QStringLiteral("Total")},
    };
    return l;
}

/** The rows of sampleReportLayout(), field names in lower case as the server engine gives them. */
inline RecordSet sampleReportRows()
{
    const auto at = [](int y, int m, int d, int h, int mi) {
        return QVariant(naive(QDate(y, m, d), QTime(h, mi)));
    };
    return RecordSet(
        {QStringLiteral("owner"), QStringLiteral("category"), QStringLiteral("secret"),
         QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("amount"),
         QStringLiteral("due")},
        {
            {QStringLiteral("ann"), QStringLiteral("A"), QStringLiteral("s1"), qlonglong(1),
             QStringLiteral("<b>R&D</b> & Co"), 10.5, at(2024, 1, 31, 23, 30)},
            {QStringLiteral("ann"), QStringLiteral("A"), QStringLiteral("s2"), qlonglong(2),
             QStringLiteral("Beta"), 4.25, QVariant()},
            // The server may sort "Ann" among "ann": one group all the same.
            {QStringLiteral("Ann"), QStringLiteral("B"), QStringLiteral("s3"), qlonglong(3),
             QStringLiteral("Gamma"), 1.0, at(2024, 3, 1, 10, 0)},
            {QStringLiteral("bob"), QStringLiteral("A"), QStringLiteral("s4"), qlonglong(4),
             QStringLiteral("Delta"), qlonglong(100), at(2024, 3, 2, 0, 0)},
        });
}

/** `count` rows for sampleReportLayout(), all of owner "ann" and category "A". */
inline RecordSet manySampleRows(int count)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= count; ++i)
        rows.append({QStringLiteral("ann"), QStringLiteral("A"), QStringLiteral("s"), qlonglong(i),
                     QStringLiteral("Task %1").arg(i), 1.0, QVariant()});
    return RecordSet({QStringLiteral("owner"), QStringLiteral("category"), QStringLiteral("secret"),
                      QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("amount"),
                      QStringLiteral("due")},
                     rows);
}

} // namespace bx::test
