#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/AnalysisDesign.h"

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace bx {

class AreaList;

/**
 * The analysis designer ("New" and "Edit" of dlgBI): the name and query of an analysis, its
 * viewer options, and its items. "Columns" lists the query's columns, typed from its first rows;
 * they are dragged (or moved with the buttons) into the vertical and horizontal dimension areas
 * and the fact area; a date column placed as a dimension asks which of its parts to show.
 * "Formula..." adds a fact computed from the others. "Save" stores the analysis as a new one and
 * closes with Accepted.
 */
class dlgBIScreen : public SessionDialog
{
    Q_OBJECT

public:
    /** `editing`: the stored analysis to start from; a new one when none. */
    dlgBIScreen(Session& session, Prompt& prompt, const std::optional<Analysis>& editing = {},
                QWidget* parent = nullptr);

    /** Lists the columns of the query. @return whether they were read */
    bool readColumns();
    /** Places the selected column as a dimension in `area` (Vertical or Horizontal). */
    void AddDimension(AnalysisArea area);
    /** Places the selected column as a fact with the aggregate chosen. */
    void addFact();
    /** Asks for a formula fact (dlgNewFormula) and adds it. */
    void addFormula();
    /** Removes the item selected in an area. */
    void removeItem();
    /** Checks and stores the analysis; closes when it is stored. @return whether it was */
    bool save();

    /** The analysis as the controls describe it. */
    AnalysisDesign design() const;
    /** The ID the analysis was stored under; 0 before it was. */
    qlonglong savedId() const { return m_savedId; }

    /** Asks which parts of a date column to show; none for Cancel. */
    using PartChooser = std::function<std::optional<QList<olap::DatePart>>(const QString& column)>;
    void setPartChooser(PartChooser choose) { m_chooseParts = std::move(choose); }
    /** Asks for a formula fact (name, expression) over the facts given; none for Cancel. */
    using FormulaAsker =
        std::function<std::optional<std::pair<QString, QString>>(const QList<pivot::Fact>&)>;
    void setFormulaAsker(FormulaAsker ask) { m_askFormula = std::move(ask); }

private:
    std::optional<QueryColumn> selectedColumn() const;
    void fillAreas();
    void dropped(AnalysisArea area);

    AnalysisDesign m_design;
    QList<QueryColumn> m_columns;
    qlonglong m_savedId = 0;
    PartChooser m_chooseParts;
    FormulaAsker m_askFormula;

    QLineEdit* m_name;
    QPlainTextEdit* m_query;
    QCheckBox* m_allowFilter;
    QCheckBox* m_allowInactiveDimArea;
    QCheckBox* m_allowFactFilter;
    QCheckBox* m_allowExpand;
    QCheckBox* m_allowPivot;
    QCheckBox* m_allowTitle;
    QComboBox* m_titleAlign;
    QListWidget* m_fields;
    AreaList* m_vertical;
    AreaList* m_horizontal;
    AreaList* m_facts;
    QComboBox* m_aggregate;
};

} // namespace bx
