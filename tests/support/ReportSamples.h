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

/**
 * A layout setting every key of the format, over an own query with three parameters (one asked
 * with a literal default, one asked without, one bound to the current user): format 2 (a style
 * and a currency column), "number" and "number:2" columns, a hidden one, every alignment, two
 * group levels and totals of both levels.
 */
inline ReportLayout everyKeyReportLayout()
{
    ReportLayout l;
    l.title = QStringLiteral("O'Neil's hours");
    l.description = QStringLiteral("Hours booked\nby owner and category");
    l.orientation = ReportOrientation::Landscape;
    l.style = ReportStyle::SoftGray;
    l.header = QStringLiteral("{title} for {user}");
    l.footer = QStringLiteral("{date} - page {page} of {pages}");
    l.query = QStringLiteral(
        "PARAMETERS pMin Double, pTitle Text, pUser Text;\n"
        "SELECT SCR_Owner_User_ID AS Owner, SCR_Category AS Category, SCR_Number AS Id,\n"
        "       SCR_Title AS Title, SCR_Number * 1.5 AS Amount, SCR_Number / 3.0 AS Share,\n"
        "       SCR_Request_Date AS Asked\n"
        "FROM SCR WHERE SCR_Number >= [pMin] AND (SCR_Title = [pTitle] OR [pTitle] IS NULL)\n"
        "AND (COALESCE(SCR_Sensitive, 0) = 0 OR SCR_Owner_User_ID = [pUser])\n"
        "ORDER BY SCR_Owner_User_ID, SCR_Category, SCR_Number");
    l.parameters = {{QStringLiteral("pMin"), QStringLiteral("From number"),
                     ReportParameterType::Number, QStringLiteral("1"), true},
                    {QStringLiteral("pTitle"), QStringLiteral("Title"), ReportParameterType::Text,
                     QString(), true},
                    {QStringLiteral("pUser"), QStringLiteral("User"), ReportParameterType::User,
                     QStringLiteral("currentUser"), false}};
    l.columns = {
        {QStringLiteral("Owner"), QStringLiteral("Owner"), 10, ReportAlign::Left,
         ReportFormat::Text, -1, true},
        {QStringLiteral("Category"), QStringLiteral("Category"), 14, ReportAlign::Center,
         ReportFormat::Text, -1, false},
        {QStringLiteral("Id"), QStringLiteral("ID"), 6, ReportAlign::Right, ReportFormat::Number,
         -1, false},
        {QStringLiteral("Title"), QStringLiteral("Title"), 40, ReportAlign::Left,
         ReportFormat::Text, -1, false},
        {QStringLiteral("Amount"), QStringLiteral("Amount"), 12, ReportAlign::Right,
         ReportFormat::Currency, -1, false},
        {QStringLiteral("Share"), QStringLiteral("Share"), 8, ReportAlign::Right,
         ReportFormat::Number, 2, false},
        {QStringLiteral("Asked"), QStringLiteral("Asked on"), 16, ReportAlign::Left,
         ReportFormat::DateTime, -1, false},
    };
    l.grouping = {{QStringLiteral("Owner"), QStringLiteral("Owner"), true, true},
                  {QStringLiteral("Category"), QStringLiteral("Kind"), false, true}};
    l.totals = {
        {QStringLiteral("Id"), ReportFunction::Count, ReportLevel::Group, QStringLiteral("Tasks")},
        {QStringLiteral("Amount"), ReportFunction::Sum, ReportLevel::Group,
         QStringLiteral("Amount")},
        {QStringLiteral("Amount"), ReportFunction::Avg, ReportLevel::Report,
         QStringLiteral("Mean")},
    };
    return l;
}

} // namespace bx::test
