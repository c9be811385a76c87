#pragma once

#include "reports/Analyses.h"

#include <QList>
#include <QString>

namespace bx {

/**
 * What the analysis designer holds: the name, the query and the options of an analysis, and its
 * items by area: the vertical and horizontal dimensions (date parts among them), the facts over
 * columns and the formula facts, each list in the order shown.
 */
struct AnalysisDesign
{
    QString title;
    QString query;
    AnalysisOptions options;
    QList<AnalysisItem> vertical;
    QList<AnalysisItem> horizontal;
    QList<AnalysisItem> facts;
    QList<AnalysisItem> formulas;

    /**
     * The design of a stored analysis: its dimensions in the areas they are shown in (those set
     * aside across), its facts and formulas in their order.
     */
    static AnalysisDesign of(const Analysis& analysis);

    /**
     * The analysis to save: the vertical dimensions, then the horizontal ones, the facts and the
     * formulas, each dimension marked with its area.
     */
    Analysis analysis() const;

    /**
     * Places a column as a dimension in `area` (Vertical or Horizontal): a date column as one
     * item per part in `parts`, any other column as itself. An item of the same name already in
     * either area moves to the end of `area` instead of being doubled.
     */
    void place(AnalysisArea area, const QueryColumn& column, const QList<olap::DatePart>& parts);
    /**
     * Adds a fact over `column`, titled as the column; when another fact already has that title,
     * as the column and the aggregate ("Hours Max").
     */
    void addFact(const QString& column, olap::Aggregate aggregate);
    /** The facts a formula may name: the facts over columns (formulas name no formulas). */
    QList<pivot::Fact> formulaOperands() const;
};

} // namespace bx
