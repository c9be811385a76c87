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
    : NodeTreeModel(documentMimeType(), parent)
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
                  makeNode(QStringLiteral("FILECABINET"), QStringLiteral("SHARED_DOCUMENTS"),
                           QStringLiteral("File Cabinet")));
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

QVariant CabinetTree::nodeData(const CabinetNode* n, int role) const
{
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

bool CabinetTree::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                  const QModelIndex& parent) const
{
    const qlonglong document = draggedNumber(data, documentMimeType());
    const CabinetNode* target = node(parent);
    const CabinetNode* dragged = m_documents.value(document);
    // Onto another folder than its own.
    return parent.isValid() && target->isFolder() && dragged && dragged->parent != target;
}

std::optional<qlonglong> CabinetTree::dragNumber(const CabinetNode& n) const
{
    return n.isDocument() ? std::optional(n.document.number) : std::nullopt;
}

void CabinetTree::setDropHandler(DropHandler handler)
{
    NodeTreeModel::setDropHandler(
        [handler = std::move(handler)](qlonglong document, const CabinetNode* folder) {
            if (handler)
                handler(document, folder->folder);
        });
}

} // namespace bx
