#include "mainwindow/ui/TeamView.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/SecondConnection.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/WindowLayout.h"
#include "core/ui/FolderCommands.h"
#include "core/ui/RunCommand.h"
#include "mainwindow/ListOptions.h"
#include "mainwindow/TaskMoves.h"
#include "mainwindow/ui/TaskGridModel.h"
#include "mainwindow/ui/TaskPreviewPane.h"
#include "mainwindow/ui/TeamTreeModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <numeric>

namespace bx {

namespace {

/** The row's place in `rows` by its task number column, -1 when absent. */
int rowOfTask(const QList<QVariantList>& rows, int numberColumn, qlonglong number)
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i].value(numberColumn).toLongLong() == number)
            return i;
    }
    return -1;
}

} // namespace

TeamView::TeamView(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_filter(TaskViewFilter::defaults(session.clock().nowLocal().date()))
    , m_treeModel(std::make_unique<TeamTreeModel>(m_tree))
    , m_gridModel(new TaskGridModel(session.clock(), this))
    , m_treeView(new QTreeView(this))
    , m_grid(new QTableView(this))
    , m_bevel1(new QSplitter(Qt::Horizontal, this))
    , m_bevel2(new QSplitter(Qt::Vertical, this))
    , m_preview(new TaskPreviewPane(session, prompt, this))
    , m_reader(new TaskViewReader(this))
{
    buildTree();
    buildGrid();
    layOutPanes();
    connectViews();
}

void TeamView::buildTree()
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
            bool moved = false;
            if (where &&
                runCommand(m_session, m_prompt,
                           [&] {
                               moved =
                                   dropTask(m_session, m_prompt, task, where->first, where->second);
                           }) &&
                moved)
                refresh();
        });
    });
}

void TeamView::buildGrid()
{
    m_grid->setObjectName(QStringLiteral("TaskGrid"));
    m_grid->setModel(m_gridModel);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->setDragEnabled(true);
    m_grid->setDragDropMode(QAbstractItemView::DragOnly);
}

void TeamView::layOutPanes()
{
    // Bevel1 parts the tree from the list, Bevel2 the list from the preview.
    m_bevel2->setObjectName(QStringLiteral("Bevel2"));
    m_bevel2->addWidget(m_grid);
    m_bevel2->addWidget(m_preview);
    m_bevel2->setStretchFactor(0, 2);
    m_bevel1->setObjectName(QStringLiteral("Bevel1"));
    m_bevel1->addWidget(m_treeView);
    m_bevel1->addWidget(m_bevel2);
    m_bevel1->setStretchFactor(1, 2);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bevel1);
}

void TeamView::connectViews()
{
    // The preview follows the selection.
    connect(this, &TeamView::taskSelected, this, [this](qlonglong task) {
        if (m_preview->isVisible() && task != m_preview->task())
            m_preview->showTask(task);
    });
    m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_treeView, &QWidget::customContextMenuRequested, this, &TeamView::showContextMenu);
    m_treeView->installEventFilter(this);

    connect(m_treeView, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.data(TeamTreeModel::TagRole).toString() == teamtree::kTagTask)
            emit openTask(index.data(TeamTreeModel::KeyRole).toLongLong());
    });
    connect(m_grid, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        emit openTask(index.data(Qt::UserRole).toLongLong());
    });
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                m_gridUsedLast = false;
                const TreeNode* n = index.isValid() ? m_treeModel->node(index) : nullptr;
                showGridFor(n);
                emit taskSelected(selectedTask());
            });
    connect(m_reader, &TaskViewReader::finished, this, [this](const TaskViewRows& read) {
        try {
            showRows(read);
        } catch (const DbError& e) {
            reportDatabaseError(e, m_session, m_prompt);
        }
    });
    connect(m_reader, &TaskViewReader::failed, this,
            [this](const DbError& e) { reportDatabaseError(e, m_session, m_prompt); });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                m_gridUsedLast = index.isValid();
                emit taskSelected(selectedTask());
            });
}

TeamView::~TeamView() = default;

TaskCriteria TeamView::viewStatement() const
{
    if (m_approval)
        return approvalGridQuery(m_session);
    const std::optional<OwnerSet> owners = ownersShown();
    return gridTaskQuery(owners ? &*owners : nullptr, m_filter, m_session);
}

change_markers::Scope TeamView::markerScope() const
{
    if (m_approval)
        return {};
    return bx::markerScope(m_filter, m_session);
}

std::optional<OwnerSet> TeamView::ownersShown() const
{
    // A user kept to his own tasks reads only those.
    if (UserRights::mayViewOthersTasks(m_session.user.record))
        return std::nullopt;
    return OwnerSet{OwnerKind::User, {m_session.user.userId}};
}

bool TeamView::refresh()
{
    if (!m_session.isOpen())
        return false;
    m_reader->cancel();
    try {
        // The rows of the last read go before the new ones come, so that two views of a large
        // workshop are never held at once.
        m_gridModel->setRows({}, {});
        m_rows.clear();
        TaskViewRows read;
        read.fill = fillTaskList(m_session, viewStatement(), [&](const RecordSet& rs, int row) {
            if (read.names.isEmpty())
                read.names = rs.columns();
            read.rows << rs.rows().at(row);
        });
        showRows(std::move(read));
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    return true;
}

void TeamView::refreshInBackground()
{
    if (!m_session.isOpen())
        return;
    Connector opener;
    try {
        opener = secondConnectionTo(m_session.db());
    } catch (const DbError&) {
        // A database that cannot be opened twice is read here.
        refresh();
        return;
    }
    m_reader->start(std::move(opener), viewStatement(), m_session.system.queryWait,
                    m_session.user.userId);
}

void TeamView::setOnline(const QHash<QString, bool>& online)
{
    m_online = online;
    m_tree.setOnline(online);
}

bool TeamView::reading() const
{
    return m_reader->busy();
}

void TeamView::showRows(TaskViewRows read)
{
    // One read feeds both the tree and the grid.
    m_tree.setOptions({m_session.user.userId, false, m_session.clock().nowLocal()});
    m_tree.buildSkeleton(m_session.db(), m_session.currentWorkshopId, ownersShown().has_value());
    m_names = std::move(read.names);
    m_rows = std::move(read.rows);
    m_tree.placeTasks(RecordSet(m_names, m_rows));
    m_tree.setOnline(m_online);
    fillGrid(m_names, m_rows);
    m_gridUsedLast = false;
    m_treeView->expandToDepth(1);
    if (read.fill.stopped)
        m_prompt.inform(read.fill.message);
    emit taskSelected(selectedTask());
}

bool TeamView::taskChanged(qlonglong number)
{
    if (!m_session.isOpen())
        return false;
    // The approval list is not a filter of single rows: read it again.
    if (m_approval)
        return refresh();
    try {
        const std::optional<OwnerSet> owners = ownersShown();
        const TaskCriteria q =
            oneTaskQuery(number, owners ? &*owners : nullptr, m_filter, m_session);
        showTasks({number}, m_session.db().query(q.sql, q.params));
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    return true;
}

TaskCriteria TeamView::keyedStatement(const QList<qlonglong>& numbers) const
{
    if (numbers.isEmpty() || m_names.isEmpty())
        return {};
    if (m_approval)
        return someApprovalTasksQuery(numbers, m_session);
    const std::optional<OwnerSet> owners = ownersShown();
    return someTasksQuery(numbers, owners ? &*owners : nullptr, m_filter, m_session);
}

void TeamView::showTasks(const QList<qlonglong>& numbers, const RecordSet& rows)
{
    if (m_names.isEmpty())
        m_names = rows.columns();
    const int numberColumn = RecordSet(m_names, {}).columnIndex(scr::Number);
    const int readNumber = rows.columnIndex(scr::Number);
    for (const qlonglong number : numbers) {
        int found = -1;
        for (int r = 0; r < rows.rowCount() && readNumber >= 0; ++r) {
            if (rows.rows().at(r).value(readNumber).toLongLong() == number) {
                found = r;
                break;
            }
        }
        const bool shown = found >= 0 && taskVisibleTo(rows, found, m_session.user.userId);
        const int at = rowOfTask(m_rows, numberColumn, number);
        if (shown) {
            m_tree.refreshTask(TaskRow::fromRecord(rows, found));
            if (at >= 0)
                m_rows[at] = rows.rows().at(found);
            else
                m_rows << rows.rows().at(found);
        } else {
            m_tree.removeTask(number);
            if (at >= 0)
                m_rows.removeAt(at);
        }
    }
    // The grid changes only in the rows of these tasks, so that its selection and place stay.
    const auto keep = gridFilter(selectedNode());
    QList<QVariantList> listed;
    for (const QVariantList& row : std::as_const(m_rows)) {
        if (numbers.contains(row.value(numberColumn).toLongLong()) && (!keep || keep(row)))
            listed << row;
    }
    const QStringList fields = completeForGrid(m_names, listed);
    if (!m_gridModel->updateRows(numbers, fields, listed))
        showGridFor(selectedNode());
}

std::function<bool(const QVariantList&)> TeamView::gridFilter(const TreeNode* node) const
{
    if (!node || node->kind == TreeNodeKind::Root || node->kind == TreeNodeKind::Workshop ||
        node->kind == TreeNodeKind::Task || node->kind == TreeNodeKind::Category)
        return {};
    const RecordSet columns(m_names, {});
    const int owner = columns.columnIndex(scr::OwnerUserId);
    const int ownerType = columns.columnIndex(scr::OwnerType);
    const int folder = columns.columnIndex(scr::ParentFolderNumber);
    const TreeNodeKind kind = node->kind;
    const QVariant nodeKey = node->key;
    const QString key = nodeKey.toString().trimmed();
    return [=](const QVariantList& row) {
        const bool byWorkshop = row.value(ownerType).toInt() == 1;
        const QString who = row.value(owner).toString().trimmed();
        switch (kind) {
        case TreeNodeKind::SubWorkshop:
            return byWorkshop && who == key;
        case TreeNodeKind::User:
        case TreeNodeKind::Unassigned:
            return !byWorkshop && who.compare(key, Qt::CaseInsensitive) == 0;
        case TreeNodeKind::Folder:
            return row.value(folder).toLongLong() == nodeKey.toLongLong();
        default:
            return true;
        }
    };
}

void TeamView::showGridFor(const TreeNode* node)
{
    const auto keep = gridFilter(node);
    if (!keep) {
        fillGrid(m_names, m_rows);
        return;
    }
    QList<QVariantList> rows;
    for (const QVariantList& row : std::as_const(m_rows)) {
        if (keep(row))
            rows << row;
    }
    fillGrid(m_names, std::move(rows));
}

QStringList TeamView::completeForGrid(const QStringList& names, QList<QVariantList>& rows)
{
    // Contacts are named and the booked time read only for a list that shows them.
    QStringList fields = names;
    for (int c = 0; c < m_gridModel->columnCount(); ++c) {
        if (m_gridModel->field(c).compare(scr::ContactKey, Qt::CaseInsensitive) == 0) {
            runCommand(m_session, m_prompt, [&] { nameTaskContacts(m_session.db(), names, rows); });
            break;
        }
    }
    for (int c = 0; c < m_gridModel->columnCount(); ++c) {
        if (m_gridModel->field(c).compare(ListOptions::actualHoursField(), Qt::CaseInsensitive) ==
            0) {
            runCommand(m_session, m_prompt,
                       [&] { ListOptions::addActualHours(m_session, fields, rows); });
            break;
        }
    }
    return fields;
}

void TeamView::fillGrid(const QStringList& names, QList<QVariantList> rows)
{
    const QStringList fields = completeForGrid(names, rows);
    m_gridModel->setRows(fields, std::move(rows));
    // A new list starts at its first column, the title, however narrow the window.
    m_grid->horizontalScrollBar()->setValue(0);
}

QString TeamView::popupOf(const TreeNode* node)
{
    if (!node)
        return {};
    switch (node->kind) {
    case TreeNodeKind::Task:
        return QStringLiteral("POPUP_TASK");
    case TreeNodeKind::User:
    case TreeNodeKind::Unassigned:
        return QStringLiteral("POPUP_USER");
    case TreeNodeKind::Workshop:
    case TreeNodeKind::SubWorkshop:
        return QStringLiteral("POPUP_TEAM");
    case TreeNodeKind::Folder:
        return QStringLiteral("POPUP_FOLDER");
    case TreeNodeKind::Category:
        return QStringLiteral("POPUP_CATEGORY");
    case TreeNodeKind::Root:
        break;
    }
    return {};
}

void TeamView::showContextMenu(const QPoint& at)
{
    const QModelIndex index = m_treeView->indexAt(at);
    if (!index.isValid())
        return;
    m_treeView->setCurrentIndex(index);
    if (QMenu* menu = m_popups.value(popupOf(m_treeModel->node(index))))
        menu->popup(m_treeView->viewport()->mapToGlobal(at));
}

bool TeamView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_treeView && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        if (QAction* action = m_deletes.value(popupOf(selectedNode()))) {
            action->trigger();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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

qlonglong TeamView::selectedTask() const
{
    if (m_gridUsedLast) {
        const QModelIndex index = m_grid->currentIndex();
        return index.isValid() ? index.data(Qt::UserRole).toLongLong() : 0;
    }
    const TreeNode* n = selectedNode();
    return n && n->kind == TreeNodeKind::Task ? n->key.toLongLong() : 0;
}

bool TeamView::selectUser(const QString& userId)
{
    const TreeNode* n = m_tree.findUser(userId);
    if (!n)
        return false;
    const QModelIndex index = m_treeModel->indexOf(n);
    m_treeView->setCurrentIndex(index);
    m_treeView->scrollTo(index);
    return true;
}

qlonglong TeamView::neighbourTask(qlonglong number, int direction) const
{
    const int rows = m_gridModel->rowCount();
    for (int row = 0; row < rows; ++row) {
        if (m_gridModel->index(row, 0).data(Qt::UserRole).toLongLong() != number)
            continue;
        const int other = row + (direction < 0 ? -1 : 1);
        if (other < 0 || other >= rows)
            return 0;
        return m_gridModel->index(other, 0).data(Qt::UserRole).toLongLong();
    }
    return 0;
}

void TeamView::applyListOptions()
{
    const ListOptionsSet options = ListOptions(m_session.settings()).current();
    m_treeModel->setFonts(TeamTreeFonts::fromOptions(options));
    m_gridModel->setColumns(options.columns, m_session.system.labelCustom);
    // A column chosen now may need values the rows held do not carry yet.
    if (!m_names.isEmpty())
        showGridFor(selectedNode());
}

void TeamView::setPreviewShown(bool shown)
{
    m_preview->setVisible(shown);
    if (shown)
        m_preview->showTask(selectedTask());
}

bool TeamView::previewShown() const
{
    return !m_preview->isHidden();
}

void TeamView::setPreviewOrientation(const QString& orientation)
{
    m_bevel2->setOrientation(orientation == QLatin1String("V") ? Qt::Horizontal : Qt::Vertical);
}

QString TeamView::previewOrientation() const
{
    return m_bevel2->orientation() == Qt::Horizontal ? QStringLiteral("V") : QStringLiteral("H");
}

void TeamView::restoreLayout(const WindowLayout& layout)
{
    setPreviewOrientation(layout.previewOrientation);
    setPreviewShown(layout.previewShown);
    if (!layout.treeSplit.isEmpty())
        m_bevel1->setSizes(layout.treeSplit);
    if (!layout.previewSplit.isEmpty())
        m_bevel2->setSizes(layout.previewSplit);
    for (int c = 0; c < m_gridModel->columnCount(); ++c) {
        const int width = layout.gridColumnWidths.value(m_gridModel->field(c), -1);
        if (width > 0)
            m_grid->setColumnWidth(c, width);
    }
}

void TeamView::keepLayout(WindowLayout& layout) const
{
    layout.previewOrientation = previewOrientation();
    layout.previewShown = previewShown();
    // A splitter that was never laid out has no sizes worth keeping.
    const auto kept = [](const QList<int>& sizes) {
        return std::accumulate(sizes.begin(), sizes.end(), 0) > 0 ? sizes : QList<int>();
    };
    layout.treeSplit = kept(m_bevel1->sizes());
    layout.previewSplit = kept(m_bevel2->sizes());
    for (int c = 0; c < m_gridModel->columnCount(); ++c)
        layout.gridColumnWidths.insert(m_gridModel->field(c), m_grid->columnWidth(c));
}

void TeamView::newFolder()
{
    if (newFolderCommand(m_session, m_prompt, FolderType::Task, selectedFolder()))
        refresh();
}

void TeamView::renameFolder()
{
    const TreeNode* n = selectedNode();
    if (renameFolderCommand(m_session, m_prompt, selectedFolder(), n ? n->text : QString()))
        refresh();
}

void TeamView::deleteFolder()
{
    const TreeNode* n = selectedNode();
    if (deleteFolderCommand(m_session, m_prompt, FolderType::Task, selectedFolder(),
                            n ? n->text : QString()))
        refresh();
}

} // namespace bx
