#pragma once

#include <QDate>
#include <QString>

namespace bx {

/**
 * What the task search dialog last asked for; kept in the session until the next search. The
 * patterns are as the user typed them, trimmed: "*" is the wildcard; quotes, "%" and "_" are
 * plain characters (patterns are bound, never spliced).
 */
struct SearchOptions
{
    QString titlePattern;
    QString customPattern;    ///< matched anywhere in SCR_Custom_Field
    bool comments = false;    ///< the title pattern also anywhere in the comments
    bool attachments = false; ///< the title pattern also anywhere in attachment titles
    bool extraTables = false; ///< the title pattern also in the columns of SEARCH_TABLES
    QString statuses;         ///< chosen codes out of "ACIX"; empty = every status
    QString dateField = QStringLiteral("SCR_StartDate"); ///< a SCR date column or "closedate"
    QDate from;                                          ///< first day of the period
    QDate to;                                            ///< last day of the period (included)
    /** Set when the dialog is confirmed; the run clears it again. */
    bool searchMode = false;
};

} // namespace bx
