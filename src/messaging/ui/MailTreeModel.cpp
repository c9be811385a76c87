#include "messaging/ui/MailTreeModel.h"

#include "core/ui/StoredText.h"

#include <QApplication>
#include <QFont>
#include <QMimeData>
#include <QStyle>

namespace bx {

namespace {

const QString kMailMime = QStringLiteral("application/x-brindlepax-mail");

} // namespace

MailTreeModel::MailTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    m_nodes.push_back(Node{});
}

void MailTreeModel::setList(MailBox box, const QString& boxName, MailList list)
{
    beginResetModel();
    m_box = box;
    m_boxName = boxName;
    m_list = std::move(list);
    m_nodes.clear();
    m_messageNode.clear();
    m_folderNode.clear();
    m_nodes.reserve(size_t(1 + m_list.folders.size() + m_list.rows.size()));
    m_nodes.push_back(Node{});
    for (int i = 0; i < m_list.folders.size(); ++i) {
        Node n;
        n.kind = Kind::Folder;
        n.item = i;
        m_folderNode.insert(m_list.folders[i].counter, int(m_nodes.size()));
        m_nodes.push_back(std::move(n));
    }
    // Folders hang under their parent folder; one whose parent is gone, or that would make a
    // loop, under the box.
    for (int i = 0; i < m_list.folders.size(); ++i) {
        const int self = m_folderNode.value(m_list.folders[i].counter);
        m_nodes[size_t(self)].parent = m_folderNode.value(m_list.folders[i].parent, 0);
    }
    for (int i = 0; i < m_list.folders.size(); ++i) {
        const int self = m_folderNode.value(m_list.folders[i].counter);
        int up = m_nodes[size_t(self)].parent;
        for (int steps = 0; up != 0 && up != self && steps <= m_list.folders.size(); ++steps)
            up = m_nodes[size_t(up)].parent;
        if (up != 0)
            m_nodes[size_t(self)].parent = 0;
    }
    for (int i = 0; i < m_list.folders.size(); ++i) {
        const int self = m_folderNode.value(m_list.folders[i].counter);
        Node& p = m_nodes[size_t(m_nodes[size_t(self)].parent)];
        m_nodes[size_t(self)].row = int(p.children.size());
        p.children.push_back(self);
    }
    for (int i = 0; i < m_list.rows.size(); ++i) {
        const int parent = m_folderNode.value(m_list.rows[i].folder, 0);
        const int self = int(m_nodes.size());
        Node n;
        n.kind = Kind::Message;
        n.item = i;
        n.parent = parent;
        n.row = int(m_nodes[size_t(parent)].children.size());
        m_nodes[size_t(parent)].children.push_back(self);
        m_messageNode.insert(m_list.rows[i].number, self);
        m_nodes.push_back(std::move(n));
    }
    m_nodes[0].parent = -1;
    endResetModel();
}

const MailTreeModel::Node* MailTreeModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() >= m_nodes.size())
        return nullptr;
    return &m_nodes[index.internalId()];
}

QModelIndex MailTreeModel::indexOfNode(int node) const
{
    if (node < 0 || size_t(node) >= m_nodes.size())
        return {};
    return createIndex(node == 0 ? 0 : m_nodes[size_t(node)].row, 0, quintptr(node));
}

QModelIndex MailTreeModel::messageIndex(qlonglong number) const
{
    const auto at = m_messageNode.constFind(number);
    return at == m_messageNode.constEnd() ? QModelIndex() : indexOfNode(*at);
}

QModelIndex MailTreeModel::folderIndex(qlonglong counter) const
{
    const auto at = m_folderNode.constFind(counter);
    return at == m_folderNode.constEnd() ? QModelIndex() : indexOfNode(*at);
}

QModelIndex MailTreeModel::boxIndex() const
{
    return indexOfNode(0);
}

void MailTreeModel::markViewed(qlonglong number)
{
    const QModelIndex at = messageIndex(number);
    if (!at.isValid())
        return;
    MailRow& row = m_list.rows[m_nodes[at.internalId()].item];
    if (row.viewed)
        return;
    row.viewed = true;
    if (m_list.probe.unread > 0)
        --m_list.probe.unread;
    emit dataChanged(at, at.siblingAtColumn(2), {Qt::FontRole});
}

QModelIndex MailTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= 3 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, column, quintptr(0)) : QModelIndex();
    const Node* p = nodeOf(parent);
    if (!p || size_t(row) >= p->children.size())
        return {};
    return createIndex(row, column, quintptr(p->children[size_t(row)]));
}

QModelIndex MailTreeModel::parent(const QModelIndex& child) const
{
    const Node* n = nodeOf(child);
    if (!n || n->parent < 0)
        return {};
    return indexOfNode(n->parent);
}

int MailTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    const Node* n = nodeOf(parent);
    return n ? int(n->children.size()) : 0;
}

int MailTreeModel::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant MailTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* n = nodeOf(index);
    if (!n)
        return {};
    const MailRow* row = n->kind == Kind::Message ? &m_list.rows[n->item] : nullptr;
    switch (role) {
    case Qt::DisplayRole:
        if (n->kind == Kind::Box)
            return index.column() == 0 ? QVariant(m_boxName) : QVariant();
        if (n->kind == Kind::Folder)
            return index.column() == 0 ? QVariant(m_list.folders[n->item].name) : QVariant();
        if (index.column() == 0)
            return row->title;
        if (index.column() == 1)
            return row->party;
        return row->date.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case Qt::FontRole:
        if (row && !row->viewed) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        return row && !row->error.isEmpty() ? QVariant(plainToolTip(row->error)) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != 0 || n->kind == Kind::Message)
            return {};
        return QApplication::style()->standardIcon(n->kind == Kind::Box ? QStyle::SP_DriveHDIcon
                                                                        : QStyle::SP_DirIcon);
    case KindRole:
        return int(n->kind);
    case NumberRole:
        if (row)
            return row->number;
        return n->kind == Kind::Folder ? m_list.folders[n->item].counter : 0;
    case KeyRole:
        if (row)
            return QStringLiteral("mes") + QString::number(row->number);
        if (n->kind == Kind::Folder)
            return QStringLiteral("FOLDER") + QString::number(m_list.folders[n->item].counter);
        return QStringLiteral("BOX");
    default:
        return {};
    }
}

QVariant MailTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Title");
    case 1:
        return m_box == MailBox::Inbox ? QStringLiteral("From") : QStringLiteral("To");
    case 2:
        return QStringLiteral("Date");
    default:
        return {};
    }
}

Qt::ItemFlags MailTreeModel::flags(const QModelIndex& index) const
{
    const Node* n = nodeOf(index);
    if (!n)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_box == MailBox::Outbox)
        return f;
    if (n->kind == Kind::Message)
        f |= Qt::ItemIsDragEnabled;
    else
        f |= Qt::ItemIsDropEnabled;
    return f;
}

QStringList MailTreeModel::mimeTypes() const
{
    return {kMailMime};
}

QMimeData* MailTreeModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& index : indexes) {
        const Node* n = nodeOf(index);
        if (n && n->kind == Kind::Message) {
            auto* data = new QMimeData;
            data->setData(kMailMime, QByteArray::number(m_list.rows[n->item].number));
            return data;
        }
    }
    return nullptr;
}

bool MailTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                    const QModelIndex& parent) const
{
    const Node* target = nodeOf(parent);
    return m_box != MailBox::Outbox && data && data->hasFormat(kMailMime) && target &&
           target->kind != Kind::Message;
}

bool MailTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !m_dropHandler)
        return false;
    const Node* target = nodeOf(parent);
    const qlonglong folder =
        target->kind == Kind::Folder ? m_list.folders[target->item].counter : 0;
    m_dropHandler(data->data(kMailMime).toLongLong(), folder);
    // The handler changes the database and reads the list again; the view must not move rows.
    return false;
}

} // namespace bx
