#include "mainwindow/CabinetTree.h"

#include "core/db/RecordSet.h"

#include <QMimeData>

#include <algorithm>

namespace bx {

namespace {

bool isUnspecified(const QString& category)
{
    return category.trimmed().isEmpty() ||
           category.compare(kUnspecifiedFolder, Qt::CaseInsensitive) == 0;
}

std::unique_ptr<CabinetNode> makeNode(const QString& tag, const QVariant& key, const QString& text)
{
    auto node = std::make_unique<CabinetNode>();
    node->tag = tag;
    node->key = key;
    node->text = text;
    return node;
}

CabinetNode* adopt(CabinetNode* parent, std::unique_ptr<CabinetNode> node)
{
    node->parent = parent;
    node->row = parent->childCount();
    parent->children.push_back(std::move(node));
    return parent->children.back().get();
}

} // namespace

CabinetTree::CabinetTree(QObject* parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<CabinetNode>())
{
}

CabinetTree::~CabinetTree() = default;

CabinetNode* CabinetTree::folderNode(const QString& category, const CategoryPath& path)
{
    const QString stored = isUnspecified(category) ? QString() : category;
    const QString key = stored.toUpper();
    if (CabinetNode* found = m_folders.value(key))
        return found;
    const QString text = stored.isEmpty() ? kUnspecifiedFolder : (path ? path(stored) : stored);
    CabinetNode* folder = adopt(m_top, makeNode(cabinettree::kTagFolder, stored, text));
    folder->folder = stored;
    m_folders.insert(key, folder);
    return folder;
}

void CabinetTree::build(const ReadRows& read, const cabinet::FolderAccess& access,
                        const CategoryPath& path)
{
    beginResetModel();
    m_root = std::make_unique<CabinetNode>();
    m_folders.clear();
    m_documents.clear();
    m_top = adopt(m_root.get(),
                  makeNode(cabinettree::kTagRoot, cabinettree::kRootKey, cabinettree::kRootText));
    if (!access.none()) {
        for (const QString& granted : access.granted)
            folderNode(granted, path);
        folderNode(QString(), path);
        const RecordSet rows(read.names, read.rows);
        const int number = rows.columnIndex(QStringLiteral("Attach_Number"));
        const int type = rows.columnIndex(QStringLiteral("Attach_Type"));
        const int title = rows.columnIndex(QStringLiteral("Attach_Title"));
        const int date = rows.columnIndex(QStringLiteral("Attach_Date"));
        const int owner = rows.columnIndex(QStringLiteral("Attach_Owner"));
        const int category = rows.columnIndex(QStringLiteral("Category"));
        const int fileName = rows.columnIndex(QStringLiteral("Attach_Filename"));
        // The rows come ordered by category: a folder is looked up once for its run of rows.
        QString runCategory;
        CabinetNode* runFolder = nullptr;
        bool runSeen = false;
        bool first = true;
        for (const QVariantList& row : read.rows) {
            cabinet::Document doc;
            doc.category = row.value(category).toString().trimmed();
            if (first || doc.category != runCategory) {
                first = false;
                runCategory = doc.category;
                runSeen = access.sees(doc.category);
                runFolder = runSeen ? folderNode(doc.category, path) : nullptr;
            }
            if (!runSeen)
                continue;
            doc.number = row.value(number).toLongLong();
            doc.type = row.value(type).toString().trimmed();
            doc.title = row.value(title).toString();
            doc.date = row.value(date).toDateTime();
            doc.owner = row.value(owner).toString();
            if (fileName >= 0)
                doc.fileName = row.value(fileName);
            CabinetNode* node =
                adopt(runFolder, makeNode(cabinettree::kTagDocument, doc.number, doc.title));
            node->folder = runFolder->folder;
            node->document = std::move(doc);
            m_documents.insert(node->document.number, node);
        }
        // Folders by path, the Unspecified Folder last.
        std::stable_sort(m_top->children.begin(), m_top->children.end(),
                         [](const auto& a, const auto& b) {
                             if (a->folder.isEmpty() != b->folder.isEmpty())
                                 return b->folder.isEmpty();
                             return a->text.compare(b->text, Qt::CaseInsensitive) < 0;
                         });
        for (int i = 0; i < m_top->childCount(); ++i)
            m_top->child(i)->row = i;
    }
    endResetModel();
}

const CabinetNode* CabinetTree::findFolder(const QString& category) const
{
    return m_folders.value(isUnspecified(category) ? QString() : category.toUpper());
}

const CabinetNode* CabinetTree::node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<const CabinetNode*>(index.internalPointer())
                           : m_root.get();
}

QModelIndex CabinetTree::indexOf(const CabinetNode* n) const
{
    if (!n || n == m_root.get() || !n->parent)
        return {};
    return createIndex(n->row, 0, const_cast<CabinetNode*>(n));
}

QModelIndex CabinetTree::index(int row, int column, const QModelIndex& parent) const
{
    const CabinetNode* p = node(parent);
    if (column != 0 || row < 0 || row >= p->childCount())
        return {};
    return createIndex(row, 0, p->child(row));
}

QModelIndex CabinetTree::parent(const QModelIndex& child) const
{
    return child.isValid() ? indexOf(node(child)->parent) : QModelIndex();
}

int CabinetTree::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : node(parent)->childCount();
}

int CabinetTree::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CabinetTree::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const CabinetNode* n = node(index);
    switch (role) {
    case Qt::DisplayRole:
        return n->text;
    case TagRole:
        return n->tag;
    case KeyRole:
        return n->key;
    case FolderRole:
        return n->folder;
    default:
        return {};
    }
}

Qt::ItemFlags CabinetTree::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractItemModel::flags(index);
    if (!index.isValid())
        return f;
    const CabinetNode* n = node(index);
    if (n->isDocument())
        f |= Qt::ItemIsDragEnabled;
    if (n->isFolder())
        f |= Qt::ItemIsDropEnabled;
    return f;
}

QStringList CabinetTree::mimeTypes() const
{
    return {documentMimeType()};
}

QMimeData* CabinetTree::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& i : indexes) {
        const CabinetNode* n = node(i);
        if (i.isValid() && n->isDocument()) {
            auto* data = new QMimeData;
            data->setData(documentMimeType(), QByteArray::number(n->document.number));
            return data;
        }
    }
    return nullptr;
}

qlonglong CabinetTree::draggedDocument(const QMimeData* data)
{
    return data && data->hasFormat(documentMimeType()) ? data->data(documentMimeType()).toLongLong()
                                                       : 0;
}

bool CabinetTree::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                  const QModelIndex& parent) const
{
    const qlonglong document = draggedDocument(data);
    const CabinetNode* target = node(parent);
    const CabinetNode* dragged = m_documents.value(document);
    // Onto another folder than its own.
    return parent.isValid() && target->isFolder() && dragged && dragged->parent != target;
}

bool CabinetTree::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                               const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !m_dropHandler)
        return false;
    m_dropHandler(draggedDocument(data), node(parent)->folder);
    // The handler rebuilds the tree; the view must not take the dragged row away itself.
    return false;
}

} // namespace bx
