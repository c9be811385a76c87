#include "mainwindow/ui/TeamTreeModel.h"

#include <QMimeData>

namespace bx {

TeamTreeFonts TeamTreeFonts::from(const QFont& base)
{
    TeamTreeFonts f;
    f.workshop = f.user = f.folder = f.category = f.task = base;
    f.unviewedTask = base;
    f.unviewedTask.setBold(true);
    f.overdueTask = base;
    f.overdueTask.setItalic(true);
    return f;
}

QFont TeamTreeFonts::toFont(const NodeFont& font)
{
    QFont f(font.name);
    if (font.size > 0)
        f.setPointSize(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    return f;
}

TeamTreeFonts TeamTreeFonts::fromOptions(const ListOptionsSet& options)
{
    TeamTreeFonts f;
    const auto take = [&](NodeKind kind, QFont& font, QColor& colour) {
        font = toFont(options.font(kind));
        colour = options.font(kind).color;
    };
    take(NodeKind::Workshop, f.workshop, f.workshopColour);
    take(NodeKind::User, f.user, f.userColour);
    take(NodeKind::Folder, f.folder, f.folderColour);
    take(NodeKind::Folder, f.category, f.categoryColour);
    take(NodeKind::Task, f.task, f.taskColour);
    take(NodeKind::UnviewedTask, f.unviewedTask, f.unviewedColour);
    take(NodeKind::OverdueTask, f.overdueTask, f.overdueColour);
    return f;
}

TeamTreeModel::TeamTreeModel(TeamTree& tree, QObject* parent)
    : NodeTreeModel(taskMimeType(), parent)
    , m_tree(tree)
    , m_fonts(TeamTreeFonts::from(QFont()))
{
    m_tree.setListener(this);
}

TeamTreeModel::~TeamTreeModel()
{
    m_tree.setListener(nullptr);
}

void TeamTreeModel::setFonts(const TeamTreeFonts& fonts)
{
    m_fonts = fonts;
    // Fonts change for every row: a reset is simpler than a dataChanged per parent.
    beginResetModel();
    endResetModel();
}

QFont TeamTreeModel::fontOf(const TreeNode* n) const
{
    switch (n->kind) {
    case TreeNodeKind::Workshop:
    case TreeNodeKind::SubWorkshop:
        return m_fonts.workshop;
    case TreeNodeKind::User:
    case TreeNodeKind::Unassigned:
        return m_fonts.user;
    case TreeNodeKind::Folder:
        return m_fonts.folder;
    case TreeNodeKind::Category:
        return m_fonts.category;
    case TreeNodeKind::Task:
        break;
    case TreeNodeKind::Root:
        return {};
    }
    if (n->overdue) {
        QFont f = m_fonts.overdueTask;
        if (n->unviewed)
            f.setBold(true);
        return f;
    }
    return n->unviewed ? m_fonts.unviewedTask : m_fonts.task;
}

QColor TeamTreeModel::colourOf(const TreeNode* n) const
{
    switch (n->kind) {
    case TreeNodeKind::Workshop:
    case TreeNodeKind::SubWorkshop:
        return m_fonts.workshopColour;
    case TreeNodeKind::User:
    case TreeNodeKind::Unassigned:
        return m_fonts.userColour;
    case TreeNodeKind::Folder:
        return m_fonts.folderColour;
    case TreeNodeKind::Category:
        return m_fonts.categoryColour;
    case TreeNodeKind::Task:
        break;
    case TreeNodeKind::Root:
        return {};
    }
    if (n->overdue && m_fonts.overdueColour.isValid())
        return m_fonts.overdueColour;
    if (n->unviewed && m_fonts.unviewedColour.isValid())
        return m_fonts.unviewedColour;
    return m_fonts.taskColour;
}

QVariant TeamTreeModel::nodeData(const TreeNode* n, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return n->text;
    case Qt::FontRole:
        return fontOf(n);
    case Qt::ForegroundRole: {
        const QColor colour = colourOf(n);
        return colour.isValid() ? QVariant(colour) : QVariant();
    }
    case TagRole:
        return n->tag;
    case KeyRole:
        return n->key;
    case KindRole:
        return static_cast<int>(n->kind);
    case OnlineRole:
        return n->online;
    // An online user carries a green mark and says so when the pointer rests on him.
    case Qt::DecorationRole:
        return n->online ? QVariant(QColor(Qt::darkGreen)) : QVariant();
    case Qt::ToolTipRole:
        return n->online ? QVariant(QStringLiteral("Online")) : QVariant();
    default:
        return {};
    }
}

void TeamTreeModel::aboutToInsert(const TreeNode* parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void TeamTreeModel::inserted()
{
    endInsertRows();
}

void TeamTreeModel::aboutToRemove(const TreeNode* parent, int row)
{
    beginRemoveRows(indexOf(parent), row, row);
}

void TeamTreeModel::removed()
{
    endRemoveRows();
}

void TeamTreeModel::changed(const TreeNode* n)
{
    const QModelIndex i = indexOf(n);
    emit dataChanged(i, i);
}

void TeamTreeModel::aboutToReset()
{
    beginResetModel();
}

void TeamTreeModel::reset()
{
    endResetModel();
}

Qt::ItemFlags TeamTreeModel::flags(const QModelIndex& index) const
{
    const TreeNode* n = index.isValid() ? node(index) : nullptr;
    if (!n)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (n->kind == TreeNodeKind::Task)
        f |= Qt::ItemIsDragEnabled;
    if (dropTargetFor(*n))
        f |= Qt::ItemIsDropEnabled;
    return f;
}

qlonglong TeamTreeModel::draggedTask(const QMimeData* data)
{
    return draggedNumber(data, taskMimeType());
}

bool TeamTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                    const QModelIndex& parent) const
{
    const TreeNode* target = node(parent);
    return draggedTask(data) != 0 && target && dropTargetFor(*target);
}

std::optional<qlonglong> TeamTreeModel::dragNumber(const TreeNode& n) const
{
    return n.kind == TreeNodeKind::Task ? std::optional(n.key.toLongLong()) : std::nullopt;
}

} // namespace bx
