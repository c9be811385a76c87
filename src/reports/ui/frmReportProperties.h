#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/ReportDraft.h"
#include "reports/ReportRunner.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTableWidget;
class QTabWidget;

namespace bx {

/**
 * The report's properties: every part of a report layout, on the pages "General" (title,
 * description, orientation, style, page header and footer with their fields), "Data" (the source,
 * or the user's own query with its parameters), "Columns" (the fields offered by the source, and
 * the columns shown), "Groups" (group levels and, for a preset source, the sort order) and
 * "Totals". It edits a copy; OK checks the layout (reportdraft::finish) and closes with Accepted
 * only when it passes, else shows the reason in a "Report Designer Error" box and stays.
 *
 * Choosing "Write my own query" needs the global-reports right; without it the refusal is shown
 * and the source stays as it was. Without the right an own query and its parameters are shown
 * but cannot be changed.
 */
class frmReportProperties : public SessionDialog
{
    Q_OBJECT

public:
    frmReportProperties(Session& session, Prompt& prompt, const ReportLayout& layout,
                        QWidget* parent = nullptr);

    /** The layout as the controls describe it, unchecked. */
    ReportDraft draft() const;
    /** The checked layout; set when OK was accepted. */
    const ReportLayout& layout() const { return m_result; }

    /**
     * Chooses the source: one of reportrun::Source, or none for the user's own query (refused
     * without the global-reports right). @return whether the source is now the one chosen
     */
    bool chooseSource(std::optional<reportrun::Source> source);
    /**
     * Lists the fields the source or query gives, each with its kind, to be added as columns;
     * the parameters an own query declares and the list lacks are added to it.
     * @return whether they were read
     */
    bool readFields();
    /** Adds the fields selected in the list as columns, formatted after their kind. */
    void addSelectedFields();
    /** OK: checks the layout and closes with Accepted when it passes. @return whether it did */
    bool apply();

    /** The tables of the dialog, and what their buttons do to a table's selected row. */
    enum class Rows
    {
        Parameters,
        Columns,
        Groups,
        Sorts,
        Totals,
    };
    enum class RowEdit
    {
        Add,
        Remove,
        Up,
        Down,
    };
    /** Adds, removes or moves a row of a table (its buttons "Add", "Remove", "Up", "Down"). */
    void editRows(Rows rows, RowEdit edit);

private:
    bool readFields(bool showErrors);
    QWidget* generalPage();
    QWidget* dataPage();
    QWidget* columnsPage();
    QWidget* groupsPage();
    QWidget* totalsPage();
    QWidget* rowButtons(Rows rows, const char* what, bool ordered);

    void display(const ReportDraft& draft);
    void showSource();
    QTableWidget* table(Rows rows) const;
    static QComboBox* fieldChoice(const QString& current, const QStringList& fields);
    /** The fields offered in the field cells: the columns' and those read from the source. */
    QStringList knownFields(const ReportDraft& draft) const;

    ReportLayout m_original;
    ReportLayout m_result;
    std::optional<reportrun::Source> m_source;
    QList<reportrun::ResultColumn> m_fields;

    QTabWidget* m_tabs;
    QLineEdit* m_title;
    QPlainTextEdit* m_description;
    QComboBox* m_orientation;
    QComboBox* m_style;
    QLineEdit* m_header;
    QLineEdit* m_footer;
    QComboBox* m_sourceList;
    QPlainTextEdit* m_query;
    QTableWidget* m_parameters;
    QListWidget* m_fieldList;
    QTableWidget* m_columns;
    QTableWidget* m_groups;
    QTableWidget* m_sorts;
    QTableWidget* m_totals;
};

} // namespace bx
