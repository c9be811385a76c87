#pragma once

#include <QAbstractItemModel>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace bx {

/**
 * The plumbing of a one-column item model over a tree whose nodes own their children: `Node` has
 * `parent`, `row` (its place among its siblings), `child(i)` and `childCount()`. The tree's root,
 * rootNode(), is invisible and has no index; an invalid index stands for it.
 *
 * A node dragged carries one number (dragNumber) under the model's MIME type. The model changes
 * nothing itself: a drop that canDropMimeData allows goes to the drop handler with that number and
 * the node it fell on, and the view is told not to take the dragged row away itself.
 */
template <typename Node> class NodeTreeModel : public QAbstractItemModel
{
public:
    const Node* node(const QModelIndex& index) const
    {
        return index.isValid() ? static_cast<const Node*>(index.internalPointer()) : rootNode();
    }

    QModelIndex indexOf(const Node* n) const
    {
        if (!n || n == rootNode() || !n->parent)
            return {};
        return createIndex(n->row, 0, const_cast<Node*>(n));
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        const Node* p = node(parent);
        if (column != 0 || row < 0 || row >= p->childCount())
            return {};
        return createIndex(row, 0, p->child(row));
    }

    QModelIndex parent(const QModelIndex& child) const override
    {
        return child.isValid() ? indexOf(node(child)->parent) : QModelIndex();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.column() > 0 ? 0 : node(parent)->childCount();
    }

    int columnCount(const QModelIndex& = {}) const override { return 1; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        return index.isValid() ? nodeData(node(index), role) : QVariant();
    }

    using NodeDropHandler = std::function<void(qlonglong number, const Node* target)>;
    void setDropHandler(NodeDropHandler handler) { m_dropHandler = std::move(handler); }

    QStringList mimeTypes() const override { return {m_mimeType}; }

    /** The number of the first index whose node may be dragged. */
    QMimeData* mimeData(const QModelIndexList& indexes) const override
    {
        for (const QModelIndex& i : indexes) {
            const std::optional<qlonglong> number =
                i.isValid() ? dragNumber(*node(i)) : std::nullopt;
            if (number) {
                auto* data = new QMimeData;
                data->setData(m_mimeType, QByteArray::number(*number));
                return data;
            }
        }
        return nullptr;
    }

    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override
    {
        if (m_dropHandler && canDropMimeData(data, action, row, column, parent))
            m_dropHandler(draggedNumber(data, m_mimeType), node(parent));
        // The drop's receiver rebuilds the tree; the view must not move rows itself.
        return false;
    }

    /** The number `data` carries under `mimeType`; 0 when it carries none. */
    static qlonglong draggedNumber(const QMimeData* data, const QString& mimeType)
    {
        return data && data->hasFormat(mimeType) ? data->data(mimeType).toLongLong() : 0;
    }

protected:
    NodeTreeModel(QString mimeType, QObject* parent)
        : QAbstractItemModel(parent)
        , m_mimeType(std::move(mimeType))
    {
    }

    virtual const Node* rootNode() const = 0;
    /** The data of a node shown (never the root) for `role`. */
    virtual QVariant nodeData(const Node* node, int role) const = 0;
    /** The number a drag of `node` carries; none when it cannot be dragged. */
    virtual std::optional<qlonglong> dragNumber(const Node& node) const = 0;

private:
    QString m_mimeType;
    NodeDropHandler m_dropHandler;
};

} // namespace bx
