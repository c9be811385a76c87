#pragma once

#include "core/db/SecondConnection.h"
#include "core/ui/SessionDialog.h"
#include "reports/Analyses.h"

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

class AnalysisReader;
class BIViewer;

/**
 * The analyses: a tree of the built-in ones and the stored ("Custom") ones, and the viewer of the
 * one shown. "Show" (or a double click) runs the analysis chosen: its query is read away from the
 * window's thread on a connection of its own, under the time limit of Query_Wait; closing the
 * window stops it. "New" and "Edit" open the designer, "Remove" deletes a stored analysis.
 */
class dlgBI : public SessionDialog
{
    Q_OBJECT

public:
    /** `opener` opens the connections the analyses are read on. */
    dlgBI(Session& session, Prompt& prompt, Connector opener, QWidget* parent = nullptr);
    ~dlgBI() override;

    /** Fills the tree: "Built-in" with the two analyses, "Custom" with the stored ones by ID. */
    void LoadOLAPReports();
    /** Runs the analysis chosen in the tree. */
    void ShowReport();
    /** Runs the stored analysis `id`. */
    void RunOLAPReport(qlonglong id);
    /** Removes the analysis chosen (or shown), after asking. */
    void RemoveOLAPReport();
    /** Opens the designer for a new analysis. */
    void NewReport();
    /** Opens the designer on the analysis chosen (or shown). */
    void EditReport();

    /** An analysis is being read. */
    bool busy() const;
    BIViewer* viewer() const { return m_viewer; }
    QTreeWidget* tree() const { return m_tree; }

    /**
     * Opens the designer, on an analysis or on none; returns the ID of the analysis it saved,
     * none when it saved nothing.
     */
    using Designer = std::function<std::optional<qlonglong>(const std::optional<Analysis>&)>;
    void setDesigner(Designer design) { m_design = std::move(design); }

signals:
    /** A run has ended: with a grid shown or not. */
    void runEnded(bool shown);

protected:
    void done(int result) override;

private:
    /** The analysis chosen in the tree, else the one shown; none for neither. */
    std::optional<Analysis> chosen();
    void run(const Analysis& analysis);
    void finished(const Outcome<pivot::Source>& source);
    void updateCommands();
    void selectStored(qlonglong id);

    Connector m_opener;
    Designer m_design;
    AnalysisReader* m_reader;
    QTreeWidget* m_tree;
    BIViewer* m_viewer;
    QLabel* m_status;
    QAction* m_show;
    QAction* m_edit;
    QAction* m_remove;
    QTreeWidgetItem* m_builtIn = nullptr;
    QTreeWidgetItem* m_custom = nullptr;
    /** The analysis being read, then shown. */
    std::optional<Analysis> m_running;
    std::optional<Analysis> m_shown;
};

} // namespace bx
