#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRenderer.h"

#include <functional>
#include <optional>

class QLabel;
class QTextBrowser;
class QTreeWidget;

namespace bx {

class Prompt;
class ReportShelf;
class Session;

/**
 * The report window: the workshop's stored reports (keyed "Key" + number, file name and title),
 * and the one report it holds in memory, from the list ("Modify"), from a .rpx file ("Open") or
 * new ("Blank Report"). "Blank Report", "Modify" and "Properties..." open its properties
 * (frmReportProperties); an edited report is held unsaved. It runs the report, asking the
 * parameters that ask, to its viewer, the print preview, the printer or a PDF or HTML file; saves
 * it as a .rpx file and publishes it to the workshop. Whatever stops a report is shown in a
 * critical box "Report Designer Error".
 *
 * Toolbar keys: "New", "NewWizard", "Open", "Save", "Publish", "Properties", "Modify", "Delete",
 * "Run", "Print", "PrintPreview", "Export".
 */
class frmARDesigner : public SessionDialog
{
    Q_OBJECT

public:
    /** What the file chooser is asked for. */
    enum class FileKind
    {
        OpenLayout,
        SaveLayout,
        Export, ///< a .pdf or .html file
    };

    frmARDesigner(Session& session, Prompt& prompt, ReportShelf& shelf, QWidget* parent = nullptr);

    /** Replaces the file dialogs (tests): the path chosen, or "" for none. */
    void setFileChooser(std::function<QString(FileKind)> choose)
    {
        m_chooseFile = std::move(choose);
    }

    /** Shows the report's properties over a layout: the layout after OK, none after Cancel. */
    using PropertiesEditor = std::function<std::optional<ReportLayout>(const ReportLayout&)>;
    /** Replaces frmReportProperties (tests). */
    void setPropertiesEditor(PropertiesEditor edit) { m_editProperties = std::move(edit); }

    /** Reads the list again. */
    void refreshList();
    /** Selects the listed report with this key; false when none has it. */
    bool selectKey(const QString& key);

    /**
     * "Blank Report": the properties of a new report of the workshop's tasks; after OK it is held
     * in memory, not saved. @return whether it is held
     */
    bool newReport();
    /** Holds the selected report ("Modify" then shows its properties). @return whether it was read
     */
    /** Holds `layout` as a new report, not yet saved ("New Report Wizard" hands its result here).
     */
    void holdNewReport(const ReportLayout& layout);
    bool modifySelected();
    /** "Properties...": edits the report held; changed, it is held unsaved. @return whether it
     * changed */
    bool editProperties();
    /** "Delete": the selected report, after "Are you sure?". */
    void deleteSelected();
    /** Opens a .rpx file. */
    bool openFile(const QString& path);
    /** "Save": where the report came from, a file chosen when it has no file. */
    bool save();
    /** Publishes the report held to the workshop. */
    bool publish();
    /** "Run": the report to the viewer. @return whether it ran */
    bool run();
    /** Writes the last run (running it first if need be) as PDF or HTML after the name's suffix. */
    bool exportTo(const QString& path);

    /** The report held, if any. */
    const std::optional<ReportLayout>& layout() const { return m_layout; }
    /** The number of the stored report held; 0 when it is not stored. */
    qlonglong publishedNumber() const { return m_number; }
    bool unsaved() const { return m_unsaved; }

protected:
    bool mayLeave() override;

private:
    void hold(const ReportLayout& layout, qlonglong number, const QString& fileName,
              const QString& path);
    void showHeld();
    bool saveToFile(const QString& path);
    void print(bool preview);
    bool ensureRun();

    ReportShelf& m_shelf;
    QTreeWidget* m_list;
    QLabel* m_held;
    QTextBrowser* m_viewer;
    std::function<QString(FileKind)> m_chooseFile;
    PropertiesEditor m_editProperties;

    std::optional<ReportLayout> m_layout;
    /** The held report as the workshop has it; none when it is not published. */
    std::optional<ReportLayout> m_stored;
    std::optional<RenderedReport> m_rendered;
    qlonglong m_number = 0;
    QString m_fileName; ///< the name it is published under
    QString m_path;     ///< the .rpx file it came from or was saved to
    bool m_unsaved = false;
};

} // namespace bx
