#pragma once

#include "messaging/Mailbox.h"

#include <QAbstractItemModel>

#include <functional>
#include <vector>

namespace bx {

/**
 * The tree of the Messages page (IvvTree5): one node for the box, under it the user's mail folders
 * (nested) and the messages, each under its folder or, with folder 0 or a folder that is gone,
 * under the box. Columns "Title", "From" (or "To") and "Date". A message node's key is "mes" +
 * its number; unread messages are bold. Messages can be dragged onto a folder or the box node,
 * which hands the move to the drop handler. No widget per row: 100,000 messages cost a few
 * megabytes.
 */
class MailTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum class Kind
    {
        Box,
        Folder,
        Message
    };
    enum Role
    {
        KindRole = Qt::UserRole + 1, ///< Kind as int
        NumberRole,                  ///< Mail_Number (Outbox_Number), folder counter, 0 for the box
        KeyRole                      ///< "mes" + number, "FOLDER" + counter, "BOX"
    };

    explicit MailTreeModel(QObject* parent = nullptr);

    /** Shows a box as read; `boxName` is the text of the box node. */
    void setList(MailBox box, const QString& boxName, MailList list);
    MailBox box() const { return m_box; }
    const MailList& list() const { return m_list; }

    /** The index of the message, or of the folder; invalid when absent. */
    QModelIndex messageIndex(qlonglong number) const;
    QModelIndex folderIndex(qlonglong counter) const;
    QModelIndex boxIndex() const;
    /** Marks a message read (the font follows). */
    void markViewed(qlonglong number);

    /** Called with the dragged message and the target folder (0: the box). */
    void setDropHandler(std::function<void(qlonglong message, qlonglong folder)> handler)
    {
        m_dropHandler = std::move(handler);
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    struct Node
    {
        Kind kind = Kind::Box;
        int parent = -1; ///< node index; -1 for the box
        int row = 0;     ///< place under the parent
        int item = -1;   ///< index into m_list.rows or m_list.folders
        std::vector<int> children;
    };

    const Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOfNode(int node) const;

    MailBox m_box = MailBox::Inbox;
    QString m_boxName;
    MailList m_list;
    std::vector<Node> m_nodes; ///< [0] is the box
    QHash<qlonglong, int> m_messageNode;
    QHash<qlonglong, int> m_folderNode;
    std::function<void(qlonglong, qlonglong)> m_dropHandler;
};

} // namespace bx
