#pragma once

#include "mainwindow/ListOptions.h"
#include "mainwindow/NodeTreeModel.h"
#include "mainwindow/TeamTree.h"

#include <QColor>
#include <QFont>

#include <functional>

namespace bx {

/** The fonts of the team tree's nodes, by node kind. */
struct TeamTreeFonts
{
    QFont workshop; ///< workshops and sub-workshops
    QFont user;     ///< users and "Unassigned"
    QFont folder;
    QFont category;
    QFont task;
    QFont unviewedTask;
    QFont overdueTask;
    // Text colours; an invalid colour leaves the view's own.
    QColor workshopColour;
    QColor userColour;
    QColor folderColour;
    QColor categoryColour;
    QColor taskColour;
    QColor unviewedColour;
    QColor overdueColour = QColor(Qt::red);

    /** `base` for every kind; unviewed tasks bold, overdue tasks italic. */
    static TeamTreeFonts from(const QFont& base);
    /**
     * The fonts and colours of the task list options' node kinds: workshops, users, folders,
     * tasks, unviewed and overdue tasks each their own; category groups take the folder's.
     */
    static TeamTreeFonts fromOptions(const ListOptionsSet& options);
    /** The QFont of one node kind's options. */
    static QFont toFont(const NodeFont& font);
};

/**
 * A Qt item model over a TeamTree: one column, the node text; the font and colour of the node's
 * kind (an unviewed task in the unviewed font and colour, an overdue one in the overdue font and
 * colour, bold as well when also unviewed). Follows the tree's changes row by row. The tree must
 * outlive the model.
 */
class TeamTreeModel : public NodeTreeModel<TreeNode>, private TeamTreeListener
{
    Q_OBJECT

public:
    /** Data roles beyond the display ones. */
    enum Role
    {
        TagRole = Qt::UserRole + 1, ///< the node tag
        KeyRole,                    ///< the node key
        KindRole,                   ///< TreeNodeKind as int
        OnlineRole                  ///< a user's client shows signs of life (bool)
    };

    explicit TeamTreeModel(TeamTree& tree, QObject* parent = nullptr);
    ~TeamTreeModel() override;

    void setFonts(const TeamTreeFonts& fonts);
    const TeamTreeFonts& fonts() const { return m_fonts; }

    // Dragging a task onto another node. The model changes nothing itself: it hands the task and
    // the node it was dropped on to the drop handler (setDropHandler), which decides and refreshes
    // the tree.
    static QString taskMimeType() { return QStringLiteral("application/x-brindlepax-task"); }
    /** The task number a drag carries; 0 when it carries none. */
    static qlonglong draggedTask(const QMimeData* data);
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;

private:
    const TreeNode* rootNode() const override { return m_tree.root(); }
    std::optional<qlonglong> dragNumber(const TreeNode& node) const override;
    QVariant nodeData(const TreeNode* node, int role) const override;
    void aboutToInsert(const TreeNode* parent, int row) override;
    void inserted() override;
    void aboutToRemove(const TreeNode* parent, int row) override;
    void removed() override;
    void changed(const TreeNode* node) override;
    void aboutToReset() override;
    void reset() override;

    QFont fontOf(const TreeNode* node) const;
    QColor colourOf(const TreeNode* node) const;

    TeamTree& m_tree;
    TeamTreeFonts m_fonts;
};

} // namespace bx
