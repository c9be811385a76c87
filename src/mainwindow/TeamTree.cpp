#include "mainwindow/TeamTree.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/CategoryPaths.h"
#include "mainwindow/Presence.h"
#include "mainwindow/TaskMoves.h"

#include <QSet>

namespace bx {

namespace {

/** The tag of user nodes, the Unassigned entry among them. */
const QString kTagUser = QStringLiteral("LU_USER");

QString norm(const QString& id)
{
    return id.trimmed().toUpper();
}

QString userKey(qlonglong group, const QString& user)
{
    return QString::number(group) + QLatin1Char('|') + norm(user);
}

/** Column positions of a task query, found once for all its rows. */
struct TaskColumns
{
    explicit TaskColumns(const RecordSet& rows)
    {
        const auto at = [&](scr::Column name) { return rows.columnIndex(name); };
        number = at(scr::Number);
        title = at(scr::Title);
        owner = at(scr::OwnerUserId);
        ownerType = at(scr::OwnerType);
        group = at(scr::GroupId);
        folder = at(scr::ParentFolderNumber);
        parent = at(scr::ParentNumber);
        category = at(scr::Category);
        status = at(scr::Status);
        target = at(scr::OwnerTargetDate);
        viewed = at(scr::OwnerDateViewed);
        sensitive = at(scr::Sensitive);
        requester = at(scr::RequestId);
    }

    TaskRow read(const QVariantList& row) const
    {
        const auto v = [&](int i) { return i >= 0 && i < row.size() ? row[i] : QVariant(); };
        TaskRow t;
        t.number = v(number).toLongLong();
        t.title = v(title).toString();
        t.owner = v(owner).toString();
        t.ownerType = v(ownerType).toInt();
        t.group = v(group).toLongLong();
        t.folder = v(folder).toLongLong();
        t.parentTask = v(parent).toLongLong();
        t.category = v(category).toString();
        t.status = v(status).toString();
        t.target = RecordSet::toDateTime(v(target));
        t.viewed = RecordSet::toDateTime(v(viewed));
        t.sensitive = v(sensitive).toLongLong() != 0;
        t.requester = v(requester).toString();
        return t;
    }

    int number, title, owner, ownerType, group, folder, parent, category, status, target, viewed,
        sensitive, requester;
};

} // namespace

TaskRow TaskRow::fromRecord(const RecordSet& rows, int index)
{
    if (index < 0 || index >= rows.rowCount())
        return {};
    return TaskColumns(rows).read(rows.rows()[index]);
}

TeamTree::TeamTree()
    : m_root(std::make_unique<TreeNode>())
{
}

TeamTree::~TeamTree() = default;

TreeNode* TeamTree::addChild(TreeNode* parent, std::unique_ptr<TreeNode> node, bool notify)
{
    const int row = parent->childCount();
    if (notify && m_listener)
        m_listener->aboutToInsert(parent, row);
    node->parent = parent;
    node->row = row;
    TreeNode* raw = node.get();
    parent->children.push_back(std::move(node));
    if (notify && m_listener)
        m_listener->inserted();
    return raw;
}

std::unique_ptr<TreeNode> TeamTree::takeChild(TreeNode* node, bool notify)
{
    TreeNode* parent = node->parent;
    const int row = node->row;
    if (notify && m_listener)
        m_listener->aboutToRemove(parent, row);
    auto it = parent->children.begin() + row;
    std::unique_ptr<TreeNode> taken = std::move(*it);
    parent->children.erase(it);
    for (int i = row; i < parent->childCount(); ++i)
        parent->child(i)->row = i;
    taken->parent = nullptr;
    if (notify && m_listener)
        m_listener->removed();
    return taken;
}

void TeamTree::buildSkeleton(Database& db, qlonglong workshop, bool ownTasksOnly)
{
    if (m_listener)
        m_listener->aboutToReset();
    m_root = std::make_unique<TreeNode>();
    m_workshop = nullptr;
    m_tasks.clear();
    m_folders.clear();
    m_workshops.clear();
    m_users.clear();
    m_categories.clear();
    m_pathCache.clear();
    if (!m_pathGiven)
        m_categoryPath = [&db](const QString& category) { return categoryPath(db, category); };

    const QString name =
        db.scalar(QStringLiteral("SELECT GROUP_NAME FROM LU_GROUP WHERE GROUP_ID = ?"), {workshop})
            .toString();
    m_workshop =
        addWorkshop(db, m_root.get(), workshop, name, TreeNodeKind::Workshop, ownTasksOnly);
    if (m_listener)
        m_listener->reset();
}

TreeNode* TeamTree::addWorkshop(Database& db, TreeNode* parent, qlonglong group,
                                const QString& name, TreeNodeKind kind, bool ownTasksOnly)
{
    auto node = std::make_unique<TreeNode>();
    node->kind = kind;
    node->tag = QStringLiteral("LU_GROUP");
    node->key = group;
    node->text = name;
    TreeNode* shop = addChild(parent, std::move(node), false);
    m_workshops.insert(group, shop);

    const RecordSet subs = db.query(QStringLiteral("SELECT GROUP_ID, GROUP_NAME FROM LU_GROUP "
                                                   "WHERE parent_workshop = ? ORDER BY GROUP_NAME"),
                                    {group});
    for (int i = 0; i < subs.rowCount(); ++i) {
        const qlonglong sub = subs.value(i, QStringLiteral("GROUP_ID")).toLongLong();
        if (m_workshops.contains(sub))
            continue; // a loop in parent_workshop
        addWorkshop(db, shop, sub, subs.value(i, QStringLiteral("GROUP_NAME")).toString(),
                    TreeNodeKind::SubWorkshop, ownTasksOnly);
    }

    if (kind == TreeNodeKind::Workshop) {
        auto unassigned = std::make_unique<TreeNode>();
        unassigned->kind = TreeNodeKind::Unassigned;
        unassigned->tag = kTagUser;
        unassigned->key = QString();
        unassigned->text = QStringLiteral("Unassigned");
        m_users.insert(userKey(group, QString()), addChild(shop, std::move(unassigned), false));
    }

    QString sql =
        QStringLiteral("SELECT LU_USER.USER_ID, LU_USER.User_Name FROM LU_USER, GROUPLINK "
                       "WHERE GROUPLINK.GROUP_ID = ? AND LU_USER.USER_ID = GROUPLINK.USER_ID "
                       "AND LU_USER.Disabled = 0");
    QVariantList params{group};
    if (ownTasksOnly) {
        sql += QStringLiteral(" AND LU_USER.USER_ID = ?");
        params << m_options.currentUser;
    }
    sql += QStringLiteral(" ORDER BY LU_USER.User_Name");
    const RecordSet users = db.query(sql, params);
    for (int i = 0; i < users.rowCount(); ++i) {
        const QString id = users.value(i, QStringLiteral("USER_ID")).toString();
        const QString key = userKey(group, id);
        if (m_users.contains(key))
            continue; // listed twice in GROUPLINK
        auto user = std::make_unique<TreeNode>();
        user->kind = TreeNodeKind::User;
        user->tag = kTagUser;
        user->key = id;
        user->text = users.value(i, QStringLiteral("User_Name")).toString();
        TreeNode* userNode = addChild(shop, std::move(user), false);
        m_users.insert(key, userNode);
        if (kind == TreeNodeKind::Workshop && norm(id) == norm(m_options.currentUser))
            addFolders(db, userNode, group);
    }
    return shop;
}

void TeamTree::addFolders(Database& db, TreeNode* userNode, qlonglong workshop)
{
    const RecordSet rows =
        db.query(QStringLiteral("SELECT Folder_Counter, Folder_Name, Parent_Folder_Counter "
                                "FROM FOLDER WHERE Folder_Owner_ID = ? AND Folder_Type = 0 "
                                "AND Group_ID = ? ORDER BY Folder_Name"),
                 {m_options.currentUser, workshop});
    QHash<qlonglong, std::vector<int>> childrenOf;
    QSet<qlonglong> counters;
    for (int i = 0; i < rows.rowCount(); ++i)
        counters.insert(rows.value(i, QStringLiteral("Folder_Counter")).toLongLong());
    for (int i = 0; i < rows.rowCount(); ++i) {
        qlonglong parent = rows.value(i, QStringLiteral("Parent_Folder_Counter")).toLongLong();
        if (!counters.contains(parent))
            parent = 0; // a folder whose parent is gone shows at the top
        childrenOf[parent].push_back(i);
    }
    // Breadth first from the top level; folders in a loop of parents are never reached.
    std::vector<std::pair<qlonglong, TreeNode*>> pending{{0, userNode}};
    for (size_t p = 0; p < pending.size(); ++p) {
        const auto [counter, parentNode] = pending[p];
        for (int i : childrenOf.value(counter)) {
            const qlonglong c = rows.value(i, QStringLiteral("Folder_Counter")).toLongLong();
            if (m_folders.contains(c) || c == 0)
                continue;
            auto folder = std::make_unique<TreeNode>();
            folder->kind = TreeNodeKind::Folder;
            folder->tag = QStringLiteral("FOLDER");
            folder->key = c;
            folder->text = rows.value(i, QStringLiteral("Folder_Name")).toString();
            TreeNode* node = addChild(parentNode, std::move(folder), false);
            m_folders.insert(c, node);
            pending.emplace_back(c, node);
        }
    }
}

bool TeamTree::isVisible(const TaskRow& task) const
{
    if (!task.sensitive)
        return true;
    const QString me = norm(m_options.currentUser);
    return !me.isEmpty() && (norm(task.owner) == me || norm(task.requester) == me);
}

bool TeamTree::isOverdue(const TaskRow& task) const
{
    return hasStatus(task.status, TaskStatus::Active) && task.target.isValid() &&
           m_options.now.isValid() && task.target < m_options.now;
}

QString TeamTree::taskText(const TaskRow& task)
{
    return task.title.trimmed();
}

QString TeamTree::pathOf(const QString& category)
{
    const QString key = norm(category);
    auto it = m_pathCache.constFind(key);
    if (it != m_pathCache.constEnd())
        return *it;
    const QString path = category.trimmed().isEmpty() ? kUnspecifiedFolder
                         : m_categoryPath             ? m_categoryPath(category.trimmed())
                                                      : category.trimmed();
    m_pathCache.insert(key, path);
    return path;
}

TreeNode* TeamTree::ownerNode(const TaskRow& task) const
{
    if (!m_workshop)
        return nullptr;
    if (task.ownerType == 1) {
        bool ok = false;
        const qlonglong group = task.owner.trimmed().toLongLong(&ok);
        return ok ? m_workshops.value(group) : nullptr;
    }
    const qlonglong home = m_workshop->key.toLongLong();
    if (task.owner.trimmed().isEmpty())
        return m_users.value(userKey(home, QString()));
    if (TreeNode* n = m_users.value(userKey(task.group, task.owner)))
        return n;
    return m_users.value(userKey(home, task.owner));
}

TreeNode* TeamTree::containerFor(const TaskRow& task, bool notify)
{
    TreeNode* container = ownerNode(task);
    if (!container)
        return nullptr;
    if (task.folder != 0) {
        if (TreeNode* folder = m_folders.value(task.folder))
            container = folder;
    }
    if (!m_options.groupByCategory)
        return container;
    const QString key = norm(task.category);
    auto& groups = m_categories[container];
    if (TreeNode* group = groups.value(key))
        return group;
    auto node = std::make_unique<TreeNode>();
    node->kind = TreeNodeKind::Category;
    node->tag = QStringLiteral("SCR_CATEGORY");
    node->key = task.category.trimmed();
    node->text = pathOf(task.category);
    TreeNode* group = addChild(container, std::move(node), notify);
    groups.insert(key, group);
    return group;
}

TreeNode* TeamTree::targetFor(const TaskRow& task, const TreeNode* self, bool notify)
{
    if (task.parentTask != 0 && task.parentTask != task.number) {
        TreeNode* parent = m_tasks.value(task.parentTask);
        // Never under itself or one of its own sub-tasks.
        for (const TreeNode* up = parent; up && self; up = up->parent) {
            if (up == self) {
                parent = nullptr;
                break;
            }
        }
        if (parent)
            return parent;
    }
    return containerFor(task, notify);
}

void TeamTree::fillTask(TreeNode* node, const TaskRow& task) const
{
    node->kind = TreeNodeKind::Task;
    node->tag = teamtree::kTagTask;
    node->key = task.number;
    node->text = taskText(task);
    node->unviewed = !task.viewed.isValid();
    node->overdue = isOverdue(task);
    node->sensitive = task.sensitive;
}

TreeNode* TeamTree::place(const TaskRow& task, bool notify)
{
    if (!isVisible(task) || m_tasks.contains(task.number))
        return nullptr;
    TreeNode* target = targetFor(task, nullptr, notify);
    if (!target)
        return nullptr;
    auto node = std::make_unique<TreeNode>();
    fillTask(node.get(), task);
    TreeNode* placed = addChild(target, std::move(node), notify);
    m_tasks.insert(task.number, placed);
    return placed;
}

int TeamTree::placeTasks(const RecordSet& tasks)
{
    if (m_listener)
        m_listener->aboutToReset();
    const int n = tasks.rowCount();
    std::vector<TaskRow> rows;
    rows.reserve(static_cast<size_t>(n));
    QHash<qlonglong, int> index;
    index.reserve(n);
    const TaskColumns columns(tasks);
    for (int i = 0; i < n; ++i) {
        TaskRow row = columns.read(tasks.rows()[i]);
        if (!isVisible(row) || index.contains(row.number))
            continue;
        index.insert(row.number, static_cast<int>(rows.size()));
        rows.push_back(std::move(row));
    }
    // Tasks whose parent is not among the rows first, then sub-tasks below their placed parents.
    QHash<qlonglong, std::vector<int>> childrenOf;
    std::vector<char> done(rows.size(), 0);
    std::vector<qlonglong> placed;
    placed.reserve(rows.size());
    int count = 0;
    const auto put = [&](int i) {
        done[static_cast<size_t>(i)] = 1;
        if (place(rows[static_cast<size_t>(i)], false)) {
            placed.push_back(rows[static_cast<size_t>(i)].number);
            ++count;
        }
    };
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const TaskRow& row = rows[static_cast<size_t>(i)];
        if (row.parentTask != 0 && row.parentTask != row.number && index.contains(row.parentTask))
            childrenOf[row.parentTask].push_back(i);
        else
            put(i);
    }
    const auto drain = [&] {
        for (size_t p = 0; p < placed.size(); ++p) {
            const auto it = childrenOf.constFind(placed[p]);
            if (it == childrenOf.constEnd())
                continue;
            for (int i : *it) {
                if (!done[static_cast<size_t>(i)])
                    put(i);
            }
        }
    };
    drain();
    // Sub-tasks in a loop of parents, or below a parent that could not be placed.
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        if (!done[static_cast<size_t>(i)]) {
            TaskRow& row = rows[static_cast<size_t>(i)];
            if (!m_tasks.contains(row.parentTask))
                row.parentTask = 0;
            put(i);
            drain();
        }
    }
    if (m_listener)
        m_listener->reset();
    return count;
}

const TreeNode* TeamTree::insertTask(const TaskRow& task)
{
    return place(task, true);
}

void TeamTree::forget(const TreeNode* node)
{
    if (node->kind == TreeNodeKind::Task)
        m_tasks.remove(node->key.toLongLong());
    m_categories.remove(node);
    for (const auto& child : node->children)
        forget(child.get());
}

void TeamTree::dropEmptyCategory(TreeNode* container, bool notify)
{
    if (!container || container->kind != TreeNodeKind::Category || container->childCount() > 0)
        return;
    m_categories[container->parent].remove(norm(container->key.toString()));
    takeChild(container, notify);
}

bool TeamTree::removeTask(qlonglong number)
{
    TreeNode* node = m_tasks.value(number);
    if (!node)
        return false;
    TreeNode* parent = node->parent;
    forget(node);
    takeChild(node, true);
    dropEmptyCategory(parent, true);
    return true;
}

const TreeNode* TeamTree::refreshTask(const TaskRow& task)
{
    TreeNode* node = m_tasks.value(task.number);
    if (!node)
        return insertTask(task);
    if (!isVisible(task)) {
        removeTask(task.number);
        return nullptr;
    }
    TreeNode* oldParent = node->parent;
    TreeNode* target = targetFor(task, node, true);
    if (target == oldParent) {
        fillTask(node, task);
        if (m_listener)
            m_listener->changed(node);
        return node;
    }
    // Moves with its sub-tasks; a hidden target (no owner node) takes it out of the tree.
    std::unique_ptr<TreeNode> taken = takeChild(node, true);
    dropEmptyCategory(oldParent, true);
    if (!target) {
        forget(taken.get());
        return nullptr;
    }
    fillTask(taken.get(), task);
    return addChild(target, std::move(taken), true);
}

const TreeNode* TeamTree::findTask(qlonglong number) const
{
    return m_tasks.value(number);
}

const TreeNode* TeamTree::findUser(const QString& userId) const
{
    return m_workshop ? m_users.value(userKey(m_workshop->key.toLongLong(), userId)) : nullptr;
}

const TreeNode* TeamTree::findFolder(qlonglong counter) const
{
    return m_folders.value(counter);
}

void TeamTree::setOnline(const QHash<QString, bool>& online)
{
    for (TreeNode* node : std::as_const(m_users)) {
        if (node->kind != TreeNodeKind::User)
            continue;
        const bool now = online.value(presenceKey(node->key.toString()));
        if (node->online == now)
            continue;
        node->online = now;
        if (m_listener)
            m_listener->changed(node);
    }
}

std::optional<std::pair<DropTarget, QVariant>> dropTargetFor(const TreeNode& node)
{
    switch (node.kind) {
    case TreeNodeKind::Task:
        return std::pair{DropTarget::Task, node.key};
    case TreeNodeKind::User:
        return std::pair{DropTarget::User, node.key};
    case TreeNodeKind::Workshop:
    case TreeNodeKind::SubWorkshop:
        return std::pair{DropTarget::Workshop, node.key};
    case TreeNodeKind::Unassigned:
        if (node.parent)
            return std::pair{DropTarget::Workshop, node.parent->key};
        return std::nullopt;
    case TreeNodeKind::Folder:
        return std::pair{DropTarget::Folder, node.key};
    case TreeNodeKind::Category:
        return std::pair{DropTarget::Category, node.key};
    case TreeNodeKind::Root:
        break;
    }
    return std::nullopt;
}

} // namespace bx
