#pragma once

#include "mainwindow/TaskMoves.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

/**
 * The team tree of the main window as plain data: the current workshop with its sub-workshops,
 * its users ("Unassigned" first), the personal task folders of the signed-in user and the tasks
 * of a view placed under their owners, folders, parent tasks and optional category groups.
 *
 * The tree knows nothing of widgets. A view follows it through a TeamTreeListener, which hears of
 * every node added, taken away or changed after the skeleton was built.
 */
namespace bx {

class Database;
class RecordSet;

namespace teamtree {

/** The tag of task nodes: the table they come from, as for every node. */
inline const QString kTagTask = QStringLiteral("SCR");

} // namespace teamtree

enum class TreeNodeKind
{
    Root,        ///< the invisible root above the workshop
    Workshop,    ///< the current workshop
    SubWorkshop, ///< a workshop whose parent_workshop is a workshop of the tree
    User,        ///< a member of a workshop
    Unassigned,  ///< the "Unassigned" entry of the current workshop
    Folder,      ///< a personal task folder of the signed-in user
    Category,    ///< a category group of tasks
    Task
};

/** One node. Children are owned by their parent; `row` is the node's place among its siblings. */
struct TreeNode
{
    TreeNodeKind kind = TreeNodeKind::Root;
    QString tag;  ///< the table the node comes from ("LU_USER", "SCR", ...); empty for the root
    QVariant key; ///< GROUP_ID, USER_ID, Folder_Counter, SCR_Number or the category
    QString text;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;
    int row = 0;
    bool unviewed = false;
    bool overdue = false;
    bool sensitive = false;
    bool online = false; ///< a user whose client shows signs of life (presence)

    TreeNode* child(int i) const { return children[static_cast<size_t>(i)].get(); }
    int childCount() const { return static_cast<int>(children.size()); }
};

/** The columns of a task row the tree uses. */
struct TaskRow
{
    qlonglong number = 0;
    QString title;
    QString owner;     ///< SCR_Owner_User_ID (a workshop id when ownerType is 1)
    int ownerType = 0; ///< SCR_OwnerType: 0 user, 1 workshop
    qlonglong group = 0;
    qlonglong folder = 0;     ///< SCR_Parent_Folder_Number
    qlonglong parentTask = 0; ///< SCR_Parent_Number
    QString category;
    QString status;
    QDateTime target; ///< SCR_Owner_Target_Date
    QDateTime viewed; ///< SCR_Owner_Date_Viewed; invalid while unviewed
    bool sensitive = false;
    QString requester; ///< SCR_Request_ID

    /** The row at `index` of a task query (SCR_OwnerType is optional). */
    static TaskRow fromRecord(const RecordSet& rows, int index);
};

/** Hears of the changes of a built tree, in the order a Qt item model needs them. */
class TeamTreeListener
{
public:
    virtual ~TeamTreeListener() = default;
    /** `parent` gets one child at `row`. */
    virtual void aboutToInsert(const TreeNode* parent, int row) = 0;
    virtual void inserted() = 0;
    /** The child at `row` of `parent` and everything below it goes. */
    virtual void aboutToRemove(const TreeNode* parent, int row) = 0;
    virtual void removed() = 0;
    /** Text or flags of the node changed. */
    virtual void changed(const TreeNode* node) = 0;
    /** The whole tree is rebuilt. */
    virtual void aboutToReset() = 0;
    virtual void reset() = 0;
};

class TeamTree
{
public:
    /** The category path of a category ("Unspecified Folder" for none). */
    using CategoryPath = std::function<QString(const QString& category)>;

    struct Options
    {
        QString currentUser;
        /** Group the tasks of an owner or folder by category. */
        bool groupByCategory = false;
        /** Tasks still active (status A) with a due date before this are overdue. */
        QDateTime now;
    };

    TeamTree();
    ~TeamTree();
    TeamTree(const TeamTree&) = delete;
    TeamTree& operator=(const TeamTree&) = delete;

    void setListener(TeamTreeListener* listener) { m_listener = listener; }
    void setOptions(const Options& options) { m_options = options; }
    const Options& options() const { return m_options; }
    /**
     * How category groups are named; cached per name. Without one, categoryPath() of the database
     * the skeleton was last read from, which must then outlive the tree's changes.
     */
    void setCategoryPath(CategoryPath path)
    {
        m_categoryPath = std::move(path);
        m_pathGiven = static_cast<bool>(m_categoryPath);
        m_pathCache.clear();
    }

    /** The invisible root; its one child is the workshop once built. */
    const TreeNode* root() const { return m_root.get(); }

    /**
     * Builds the skeleton of `workshop`: sub-workshops (recursively, each with its members), then
     * "Unassigned" and the members that are not disabled (only the signed-in user when
     * `ownTasksOnly`), the signed-in user's root task folders of this workshop and their
     * sub-folders under his node. Throws DbError.
     */
    void buildSkeleton(Database& db, qlonglong workshop, bool ownTasksOnly);

    /**
     * Places the rows of a task query. A sub-task goes under its parent when the parent is among
     * the rows or already in the tree; a sensitive task is placed only for its owner and
     * requester; a task whose owner has no node is left out. @return the tasks placed
     */
    int placeTasks(const RecordSet& tasks);

    /** Places one task (InsertTaskInTree); nothing when it is not shown. */
    const TreeNode* insertTask(const TaskRow& task);
    /** Takes the task and its sub-tasks out of the tree (RemoveTaskFromTrees). */
    bool removeTask(qlonglong number);
    /**
     * Follows a changed task (RefreshTask): its text and flags change, and it moves with its
     * sub-tasks when its owner, folder, parent or category changed. A task no longer shown leaves
     * the tree, a task not in the tree is inserted. @return the task's node; nothing when hidden
     */
    const TreeNode* refreshTask(const TaskRow& task);

    const TreeNode* findTask(qlonglong number) const;
    /** The node of a user of the current workshop ("" for "Unassigned"). */
    const TreeNode* findUser(const QString& userId) const;
    const TreeNode* findFolder(qlonglong counter) const;

    /**
     * Marks every user node online or offline by `online` (keyed by presenceKey(); a user not
     * listed is offline). The listener hears of each node whose mark changed.
     */
    void setOnline(const QHash<QString, bool>& online);

    /** Whether the signed-in user may see the task in the tree. */
    bool isVisible(const TaskRow& task) const;
    bool isOverdue(const TaskRow& task) const;
    /** The node text of a task (UpdateSCRItemText). */
    static QString taskText(const TaskRow& task);

private:
    TreeNode* addChild(TreeNode* parent, std::unique_ptr<TreeNode> node, bool notify);
    std::unique_ptr<TreeNode> takeChild(TreeNode* node, bool notify);
    TreeNode* addWorkshop(Database& db, TreeNode* parent, qlonglong group, const QString& name,
                          TreeNodeKind kind, bool ownTasksOnly);
    void addFolders(Database& db, TreeNode* userNode, qlonglong workshop);
    /** Where a top-level task goes: owner, folder, category group. Nothing when not shown. */
    TreeNode* containerFor(const TaskRow& task, bool notify);
    TreeNode* ownerNode(const TaskRow& task) const;
    void fillTask(TreeNode* node, const TaskRow& task) const;
    TreeNode* place(const TaskRow& task, bool notify);
    /** Where a task goes: its parent task when that is in the tree, else containerFor. */
    TreeNode* targetFor(const TaskRow& task, const TreeNode* self, bool notify);
    void forget(const TreeNode* node);
    void dropEmptyCategory(TreeNode* container, bool notify);
    QString pathOf(const QString& category);

    std::unique_ptr<TreeNode> m_root;
    TeamTreeListener* m_listener = nullptr;
    Options m_options;
    CategoryPath m_categoryPath;
    bool m_pathGiven = false;
    QHash<QString, QString> m_pathCache;
    TreeNode* m_workshop = nullptr;
    QHash<qlonglong, TreeNode*> m_tasks;
    QHash<qlonglong, TreeNode*> m_folders;
    QHash<qlonglong, TreeNode*> m_workshops;
    /** Users by "group|USER" (upper-cased, trimmed); "" user = Unassigned of the workshop. */
    QHash<QString, TreeNode*> m_users;
    /** Category groups by container and upper-cased category. */
    QHash<const TreeNode*, QHash<QString, TreeNode*>> m_categories;
};

/**
 * What dropping a task on `node` asks of dropTask: the target kind and its key. "Unassigned"
 * stands for its workshop. Nothing for a node that takes no task (the root).
 */
std::optional<std::pair<DropTarget, QVariant>> dropTargetFor(const TreeNode& node);

} // namespace bx
