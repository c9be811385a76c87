#include "mainwindow/ui/TeamView.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "mainwindow/Folders.h"
#include "mainwindow/TaskMoves.h"
#include "mainwindow/ui/TaskGridModel.h"
#include "mainwindow/ui/TeamTreeModel.h"
#include "people/UserRights.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

namespace bx {

TeamView::TeamView(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_filter(TaskViewFilter::defaults(session.clock().nowLocal().date()))
    , m_treeModel(std::make_unique<TeamTreeModel>(m_tree))
    , m_gridModel(new TaskGridModel(session.clock(), this))
    , m_treeView(new QTreeView(this))
    , m_grid(new QTableView(this))
{
    m_treeView->setObjectName(QStringLiteral("IvvTree1"));
    m_treeView->setHeaderHidden(true);
    m_treeView->setModel(m_treeModel.get());
    m_treeView->setUniformRowHeights(true);
    m_treeView->setDragEnabled(true);
    m_treeView->setAcceptDrops(true);
    m_treeView->setDropIndicatorShown(true);
    m_treeView->setDragDropMode(QAbstractItemView::DragDrop);
    m_treeModel->setDropHandler([this](qlonglong task, const TreeNode* target) {
        const auto where = dropTargetFor(*target);
        // Asked and done after the drag has ended, not inside its event.
        QTimer::singleShot(0, this, [this, task, where] {
            if (where && dropTask(m_session, m_prompt, task, where->first, where->second))
                refresh();
        });
    });
    m_grid->setObjectName(QStringLiteral("TaskGrid"));
    m_grid->setModel(m_gridModel);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_treeView);
    splitter->addWidget(m_grid);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    // Personal folders, from the tree's context menu.
    m_treeView->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto folderAction = [this](const char* name, const QString& caption,
                                     void (TeamView::*slot)()) {
        auto* action = new QAction(caption, m_treeView);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        m_treeView->addAction(action);
    };
    folderAction("IDM_FOLDER", QStringLiteral("New &Folder..."), &TeamView::newFolder);
    folderAction("IDM_RENAME_FOLDER", QStringLiteral("&Rename Folder..."), &TeamView::renameFolder);
    folderAction("IDM_DELETE_FOLDER", QStringLiteral("&Delete Folder"), &TeamView::deleteFolder);

    connect(m_treeView, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.data(TeamTreeModel::TagRole).toString() == teamtree::kTagTask)
            emit openTask(index.data(TeamTreeModel::KeyRole).toLongLong());
    });
    connect(m_grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        emit openTask(index.data(Qt::UserRole).toLongLong());
    });
}

TeamView::~TeamView() = default;

bool TeamView::refresh()
{
    if (!m_session.isOpen())
        return false;
    try {
        m_tree.setOptions({m_session.user.userId, false, m_session.clock().nowLocal()});
        m_tree.buildSkeleton(m_session.db(), m_session.currentWorkshopId,
                             !UserRights::mayViewOthersTasks(m_session.user.record));

        // One read feeds both the grid and the tree.
        QStringList names;
        QList<QVariantList> rows;
        const TaskListFill fill =
            fillTaskList(m_session, gridTaskQuery(nullptr, m_filter, m_session),
                         [&](const RecordSet& rs, int row) {
                             if (names.isEmpty())
                                 names = rs.columns();
                             rows << rs.rows().at(row);
                         });
        m_tree.placeTasks(RecordSet(names, rows));
        m_gridModel->setRows(names, std::move(rows));
        m_treeView->expandToDepth(1);
        if (fill.stopped)
            m_prompt.inform(fill.message);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    return true;
}

const TreeNode* TeamView::selectedNode() const
{
    const QModelIndex index = m_treeView->currentIndex();
    return index.isValid() ? m_treeModel->node(index) : nullptr;
}

qlonglong TeamView::selectedFolder() const
{
    const TreeNode* n = selectedNode();
    return n && n->kind == TreeNodeKind::Folder ? n->key.toLongLong() : 0;
}

void TeamView::newFolder()
{
    if (createFolder(m_session, m_prompt, FolderType::Task, selectedFolder()))
        refresh();
}

void TeamView::renameFolder()
{
    const TreeNode* n = selectedNode();
    if (bx::renameFolder(m_session, m_prompt, selectedFolder(), n ? n->text : QString()))
        refresh();
}

void TeamView::deleteFolder()
{
    const TreeNode* n = selectedNode();
    if (bx::deleteFolder(m_session, m_prompt, FolderType::Task, selectedFolder(),
                         n ? n->text : QString()))
        refresh();
}

} // namespace bx
