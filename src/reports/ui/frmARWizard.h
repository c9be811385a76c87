#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/ReportLayout.h"
#include "reports/ReportWizard.h"

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;

namespace bx {

/**
 * The report wizard: page by page the data (the database's tables, with the global-reports right,
 * or a preset source), the fields, the relations between the tables (offered from the keys the
 * catalogue declares), the group levels, the sort fields, the title and style, and a summary.
 * Finish makes the report's layout (reportwizard::makeLayout) and closes; layout() holds it.
 *
 * Page keys of `pages` (a QStackedWidget): "pgData", "pgFields", "pgRelations", "pgGroups",
 * "pgSorts", "pgTitle", "pgSummary"; buttons "cmdBack", "cmdNext", "cmdFinish", "cmdCancel".
 */
class frmARWizard : public SessionDialog
{
    Q_OBJECT

public:
    frmARWizard(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Starts from `report`: its data chosen on the first page, its fields, levels and title. */
    void SetReport(const reportwizard::Report& report);
    /** The report as the pages hold it now. */
    const reportwizard::Report& report() const { return m_report; }
    /** The layout Finish made; none before. */
    const std::optional<ReportLayout>& layout() const { return m_layout; }

    /** Goes to the next page; false when the current page refuses. */
    bool next();
    void back();
    /** Makes the layout and closes; false, staying open, when it is refused. */
    bool finish();

private:
    enum Page
    {
        DataPage,
        FieldsPage,
        RelationsPage,
        GroupsPage,
        SortsPage,
        TitlePage,
        SummaryPage,
    };

    QWidget* makeDataPage();
    QWidget* makeFieldsPage();
    QWidget* makeRelationsPage();
    /**
     * A page that adds the offered field `field` names, with the option `option` shows, and
     * removes the current entry of `list`.
     */
    QWidget* makeLevelsPage(const char* name, QComboBox* field, QComboBox* option,
                            QListWidget* list, const char* addKey, const char* removeKey,
                            std::function<void(const reportwizard::SelectedField&, int)> add,
                            std::function<void(int)> remove);
    QWidget* makeGroupsPage();
    QWidget* makeSortsPage();
    QWidget* makeTitlePage();

    /** Opens the data the first page names; false when refused or failed. */
    bool openData();
    void listTables();
    /** Reads the fields of the chosen data into the lists of the later pages. */
    void offerFields();
    void showFields();
    void showRelations();
    void showGroups();
    void showSorts();
    bool leavePage(int page);
    void enterPage(int page);
    void showPage(int page);
    /** Whether `page` asks anything for the data chosen. */
    bool pageApplies(int page) const;

    /** The offered field a combo's or list's entry stands for (index into m_offered). */
    const reportwizard::SelectedField* offeredAt(int index) const;

    QStackedWidget* m_pages;
    QLabel* m_caption;
    QComboBox* m_data;
    QListWidget* m_tables;
    QCheckBox* m_showSystem;
    QListWidget* m_available;
    QTreeWidget* m_selected;
    QSpinBox* m_width;
    QTreeWidget* m_relations;
    QComboBox* m_primary;
    QComboBox* m_foreign;
    QComboBox* m_groupField;
    QComboBox* m_groupOption;
    QListWidget* m_groups;
    QComboBox* m_sortField;
    QComboBox* m_sortOrder;
    QListWidget* m_sorts;
    QLineEdit* m_title;
    QComboBox* m_style;
    QPlainTextEdit* m_summary;
    QPushButton* m_back;
    QPushButton* m_next;
    QPushButton* m_finish;

    std::optional<reportwizard::CDataSource> m_source;
    /** Every field of the chosen tables or source, in the order offered. */
    QList<reportwizard::SelectedField> m_offered;
    reportwizard::Report m_report;
    std::optional<ReportLayout> m_layout;
};

} // namespace bx
