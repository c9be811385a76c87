#pragma once

#include "mainwindow/TaskViews.h"
#include "mainwindow/TeamTree.h"

#include <QWidget>

#include <memory>

class QTableView;
class QTreeView;

namespace bx {

class Prompt;
class Session;
class TaskGridModel;
class TeamTreeModel;

/**
 * The team page: the team tree of the current workshop (IvvTree1) beside the task grid, both
 * filled from one task query of the view filter. Neither creates a widget per row. A double
 * click on a task asks for it to be opened.
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

signals:
    void openTask(qlonglong number);

private:
    void newFolder();
    void renameFolder();
    void deleteFolder();
    const TreeNode* selectedNode() const;
    /** The selected node's folder, 0 when the selection is not a folder. */
    qlonglong selectedFolder() const;

    Session& m_session;
    Prompt& m_prompt;
    TaskViewFilter m_filter;
    TeamTree m_tree;
    std::unique_ptr<TeamTreeModel> m_treeModel;
    TaskGridModel* m_gridModel;
    QTreeView* m_treeView;
    QTableView* m_grid;
};

} // namespace bx
