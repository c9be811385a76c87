#pragma once

#include "mainwindow/TaskViewReader.h"
#include "mainwindow/TaskViews.h"
#include "mainwindow/TeamTree.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSplitter;
class QTableView;
class QTreeView;

namespace bx {

class Prompt;
class Session;
class TaskGridModel;
class TaskPreviewPane;
class TeamTreeModel;
struct WindowLayout;

/**
 * The team page: the team tree of the current workshop (IvvTree1) beside the task grid, both
 * filled from one task query of the view filter. Neither creates a widget per row. Selecting a
 * workshop, user or folder in the tree narrows the grid to its tasks, from the rows already read.
 * A double click on a task asks for it to be opened. The commands of the context menus belong to
 * the main window, which hands over one menu per node tag.
 */
class TeamView : public QWidget
{
    Q_OBJECT
public:
    TeamView(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~TeamView() override;

    /** The filter of the view menus; refresh() applies it. */
    TaskViewFilter& filter() { return m_filter; }

    /** Reads the workshop and its tasks again. @return false after a database error (shown) */
    bool refresh();
    /**
     * The same with the tasks read away from the window's thread, so that the window answers
     * while a large view is read; the tree and grid change when the rows are in. A read started
     * while another runs replaces it.
     */
    void refreshInBackground();
    /** A background read is running. */
    bool reading() const;

    /** The statement of the view: the filter's, or the Approval list. */
    TaskCriteria viewStatement() const;
    /** The change markers that stand for viewStatement(): the Approval list's span every workshop.
     */
    change_markers::Scope markerScope() const;
    /** The tasks' owners the view is kept to: the user himself when he may not see others'. */
    std::optional<OwnerSet> ownersShown() const;
    /** Marks the users online or offline (presence keys); kept across refreshes. */
    void setOnline(const QHash<QString, bool>& online);

    /**
     * Follows one saved task without a rebuild: it is read again under the view's filter and
     * joins, moves in or leaves the tree and the grid. @return false after a database error
     */
    bool taskChanged(qlonglong number);
    /**
     * Follows tasks read again with keyedStatement(numbers): each of `numbers` found in `rows`
     * (and visible to the user) joins or moves in the tree and the grid, the others leave them.
     */
    void showTasks(const QList<qlonglong>& numbers, const RecordSet& rows);
    /**
     * The view's statement kept to the tasks `numbers`; empty for a view that cannot be read by
     * task (none was read yet).
     */
    TaskCriteria keyedStatement(const QList<qlonglong>& numbers) const;

    /** The Approval quick view: the tasks waiting for the user's sign-off; off with any filter. */
    void setApproval(bool on) { m_approval = on; }
    bool approval() const { return m_approval; }

    /** The menu shown for nodes of `popup` ("POPUP_TASK", "POPUP_USER", ...; see popupOf). */
    void setPopupMenu(const QString& popup, QMenu* menu) { m_popups.insert(popup, menu); }
    /** The command the Delete key runs on nodes of `popup`. */
    void setDeleteAction(const QString& popup, QAction* action) { m_deletes.insert(popup, action); }
    /** The context menu name of a node: "POPUP_TASK", "POPUP_USER", "POPUP_TEAM", "POPUP_FOLDER",
     *  "POPUP_CATEGORY"; empty for none. */
    static QString popupOf(const TreeNode* node);

    const TreeNode* selectedNode() const;
    /** The selected node's folder, 0 when the selection is not a folder. */
    qlonglong selectedFolder() const;
    /** The task selected in the tree or, when the grid was used last, in the grid; 0 for none. */
    qlonglong selectedTask() const;
    /** Selects the node of a user of the workshop. @return false when the user has none */
    bool selectUser(const QString& userId);
    /** The task before (-1) or after (+1) `number` in the grid; 0 at either end or when absent. */
    qlonglong neighbourTask(qlonglong number, int direction) const;

    /** Fonts of the tree and the grid's columns from the user's task list options. */
    void applyListOptions();

    /** The preview pane beside or below the grid (mnuShowPreview). */
    void setPreviewShown(bool shown);
    bool previewShown() const;
    /** "H": the preview below the grid (TILEH); "V": beside it (TILEV). */
    void setPreviewOrientation(const QString& orientation);
    QString previewOrientation() const;
    /** Splitters, preview and grid column widths as kept, and back. */
    void restoreLayout(const WindowLayout& layout);
    void keepLayout(WindowLayout& layout) const;

    const TeamTree& tree() const { return m_tree; }
    /** The task rows of the last read, as the whole view lists them. */
    RecordSet rows() const { return RecordSet(m_names, m_rows); }
    QTreeView* treeView() const { return m_treeView; }
    QTableView* grid() const { return m_grid; }

    void newFolder();
    void renameFolder();
    void deleteFolder();

signals:
    void openTask(qlonglong number);
    /** The selected task changed (0: none). */
    void taskSelected(qlonglong number);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /** The tree and its drops. */
    void buildTree();
    void buildGrid();
    /** The splitters between tree, grid and preview. */
    void layOutPanes();
    /** Menus, double clicks, selections and the background reader's answers. */
    void connectViews();
    /** Builds the workshop's skeleton and places the rows read in the tree and the grid. */
    void showRows(TaskViewRows rows);
    /** Shows in the grid the rows of the selected owner or folder. */
    void showGridFor(const TreeNode* node);
    void fillGrid(const QStringList& names, QList<QVariantList> rows);
    /**
     * Which rows the grid lists for the selected node: those of its owner or folder; none given
     * (all rows) for the workshop, a task or a category.
     */
    std::function<bool(const QVariantList&)> gridFilter(const TreeNode* node) const;
    /**
     * Gives the rows the values of the grid's columns that are not read with them (contact
     * names, booked hours); @return the columns of the rows then
     */
    QStringList completeForGrid(const QStringList& names, QList<QVariantList>& rows);
    void showContextMenu(const QPoint& at);

    Session& m_session;
    Prompt& m_prompt;
    TaskViewFilter m_filter;
    TeamTree m_tree;
    std::unique_ptr<TeamTreeModel> m_treeModel;
    TaskGridModel* m_gridModel;
    QTreeView* m_treeView;
    QTableView* m_grid;
    QSplitter* m_bevel1;
    QSplitter* m_bevel2;
    TaskPreviewPane* m_preview;
    /** The rows of the last read, as the grid shows them for the whole workshop. */
    QStringList m_names;
    QList<QVariantList> m_rows;
    bool m_approval = false;
    QHash<QString, bool> m_online;
    TaskViewReader* m_reader;
    bool m_gridUsedLast = false;
    QHash<QString, QMenu*> m_popups;
    QHash<QString, QAction*> m_deletes;
};

} // namespace bx
