#pragma once

#include "mainwindow/BackgroundReader.h"
#include "mainwindow/FileCabinet.h"
#include "mainwindow/NodeTreeModel.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

/**
 * The document tree of the file cabinet (IvvTree3) as an item model: the root "File Cabinet", one
 * node per folder the user sees (its category path; "Unspecified Folder" for documents without
 * category) and under each the current version of its documents, as documentTreeQuery reads them.
 */
namespace bx {

namespace cabinettree {

/** Tags of folder and document nodes: the table each comes from. */
inline const QString kTagFolder = QStringLiteral("SCR_CATEGORY");
inline const QString kTagDocument = QStringLiteral("ATTACH");

} // namespace cabinettree

/** One node; children are owned by their parent, `row` is the node's place among its siblings. */
struct CabinetNode
{
    QString tag;    ///< cabinettree::kTag...; empty for the invisible root
    QVariant key;   ///< the root's key, the folder's stored category or the Attach_Number
    QString text;   ///< "File Cabinet", the category path or the document's title
    QString folder; ///< folders and documents: the stored category ("" for none)
    cabinet::Document document; ///< documents only
    CabinetNode* parent = nullptr;
    std::vector<std::unique_ptr<CabinetNode>> children;
    int row = 0;

    bool isDocument() const { return tag == cabinettree::kTagDocument; }
    bool isFolder() const { return tag == cabinettree::kTagFolder; }
    CabinetNode* child(int i) const { return children[static_cast<size_t>(i)].get(); }
    int childCount() const { return static_cast<int>(children.size()); }
};

class CabinetTree : public NodeTreeModel<CabinetNode>
{
    Q_OBJECT
public:
    /** The category path of a stored category (CategoryPaths::path). */
    using CategoryPath = std::function<QString(const QString& category)>;

    enum Role
    {
        TagRole = Qt::UserRole + 1, ///< the node tag
        KeyRole,                    ///< the node key
        FolderRole                  ///< the stored category of a folder or document
    };

    explicit CabinetTree(QObject* parent = nullptr);
    ~CabinetTree() override;

    /**
     * Builds the tree anew from the rows of documentTreeQuery. Only documents of folders `access`
     * sees are placed; every folder granted gets its node, empty or not, and so does "Unspecified
     * Folder". Folders are sorted by path, "Unspecified Folder" last; documents keep the rows'
     * order. A user without folder access gets the root alone.
     */
    void build(const ReadRows& rows, const cabinet::FolderAccess& access, const CategoryPath& path);

    const CabinetNode* root() const { return m_root.get(); }
    /** The "File Cabinet" node. */
    const CabinetNode* top() const { return m_top; }
    const CabinetNode* findDocument(qlonglong number) const { return m_documents.value(number); }
    /** The node of a stored category ("" or kUnspecifiedFolder: the Unspecified Folder). */
    const CabinetNode* findFolder(const QString& category) const;
    int documentCount() const { return int(m_documents.size()); }

    // Dragging a document onto a folder. The model changes nothing itself: it hands the document
    // and the folder's stored category to the drop handler, which moves it and rebuilds the tree.
    using DropHandler = std::function<void(qlonglong document, const QString& folder)>;
    void setDropHandler(DropHandler handler);
    static QString documentMimeType()
    {
        return QStringLiteral("application/x-brindlepax-document");
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;

private:
    CabinetNode* folderNode(const QString& category, const CategoryPath& path);
    const CabinetNode* rootNode() const override { return m_root.get(); }
    std::optional<qlonglong> dragNumber(const CabinetNode& node) const override;
    QVariant nodeData(const CabinetNode* node, int role) const override;

    std::unique_ptr<CabinetNode> m_root;
    CabinetNode* m_top = nullptr;
    /** Folders by upper-cased stored category. */
    QHash<QString, CabinetNode*> m_folders;
    QHash<qlonglong, CabinetNode*> m_documents;
};

} // namespace bx
