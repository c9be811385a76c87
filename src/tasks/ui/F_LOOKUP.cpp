#include "tasks/ui/F_LOOKUP.h"

#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/ui/LOOKUP_FORM.h"
#include "workflow/ui/Rules.h"

#include <QComboBox>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace bx {

namespace {

/**
 * The category tree. A drop never moves items itself: it hands the dragged and the target names
 * over, and the window moves the category and rebuilds the tree once the drag has ended.
 */
class FolderTree final : public QTreeWidget
{
public:
    std::function<void(const QString& dragged, const QString& target)> dropped;

protected:
    void dropEvent(QDropEvent* event) override
    {
        QTreeWidgetItem* target = itemAt(event->position().toPoint());
        QTreeWidgetItem* source = currentItem();
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
        if (!target || !source || target == source || !dropped)
            return;
        const QString from = source->text(0);
        const QString to = target->text(0);
        QTimer::singleShot(0, this, [this, from, to] { dropped(from, to); });
    }
};

} // namespace

F_LOOKUP::F_LOOKUP(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_LOOKUP", QStringLiteral("Lookup Lists"), parent)
    , m_cmbTable(named(new QComboBox, "cmbTable"))
    , m_tree(named(new FolderTree, "tvwFolders"))
    , m_list(named(new QListWidget, "lstItems"))
{
    for (const LookupListInfo& list : lookupLists())
        m_cmbTable->addItem(list.choice, static_cast<int>(list.kind));

    m_tree->setHeaderHidden(true);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::InternalMove);
    static_cast<FolderTree*>(m_tree)->dropped = [this](const QString& from, const QString& to) {
        moveCategory(from, to);
    };

    auto* add = named(new QPushButton(QStringLiteral("Add")), "ADD");
    auto* modify = named(new QPushButton(QStringLiteral("Modify")), "MODIFY");
    auto* remove = named(new QPushButton(QStringLiteral("Delete")), "DELETE");
    auto* close = named(new QPushButton(QStringLiteral("Close")), "cmdClose");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(modify);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_cmbTable);
    layout->addWidget(m_tree);
    layout->addWidget(m_list);
    layout->addLayout(buttons);

    connect(m_cmbTable, &QComboBox::currentIndexChanged, this, &F_LOOKUP::reload);
    connect(add, &QPushButton::clicked, this, &F_LOOKUP::onAdd);
    connect(modify, &QPushButton::clicked, this, &F_LOOKUP::onModify);
    connect(remove, &QPushButton::clicked, this, &F_LOOKUP::onDelete);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    reload();
}

LookupKind F_LOOKUP::currentKind() const
{
    return static_cast<LookupKind>(m_cmbTable->currentData().toInt());
}

QString F_LOOKUP::selectedName() const
{
    if (currentKind() == LookupKind::Category) {
        const auto items = m_tree->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text(0);
    }
    const auto items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

void F_LOOKUP::reload()
{
    const bool tree = currentKind() == LookupKind::Category;
    m_tree->setVisible(tree);
    m_list->setVisible(!tree);
    runCommand(m_session, m_prompt, [&] {
        if (tree) {
            fillTree();
            return;
        }
        m_list->clear();
        m_list->addItems(LookupLists(m_session, m_prompt).entries(currentKind()));
    });
}

void F_LOOKUP::fillTree()
{
    // Expanded nodes stay expanded, and the selection stays, across a rebuild.
    QSet<QString> expanded;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        if ((*it)->isExpanded())
            expanded.insert((*it)->text(0).toUpper());
    const QString selected = selectedName().toUpper();
    const bool first = m_tree->topLevelItemCount() == 0;

    m_tree->clear();
    auto* root = new QTreeWidgetItem(m_tree, {lookup::kTopLevel});
    root->setFlags(root->flags() & ~Qt::ItemIsDragEnabled);
    QHash<QString, QTreeWidgetItem*> byName;
    for (const CategoryNode& node : LookupLists(m_session, m_prompt).categoryTree()) {
        QTreeWidgetItem* parent = node.parent.isEmpty() ? root : byName.value(node.parent, root);
        auto* item = new QTreeWidgetItem(parent, {node.name});
        if (lookup::isUnspecified(node.name))
            item->setFlags(item->flags() & ~(Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled));
        byName.insert(node.name, item);
    }
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        const QString name = (*it)->text(0).toUpper();
        if (expanded.contains(name))
            (*it)->setExpanded(true);
        if (name == selected)
            m_tree->setCurrentItem(*it);
    }
    if (first)
        root->setExpanded(true);
}

bool F_LOOKUP::moveCategory(const QString& dragged, const QString& target)
{
    bool moved = false;
    runCommand(m_session, m_prompt, [&] {
        const Outcome<> outcome = LookupLists(m_session, m_prompt).moveCategory(dragged, target);
        showRefusal(m_prompt, outcome.refusal());
        moved = static_cast<bool>(outcome);
        if (moved)
            fillTree();
    });
    return moved;
}

void F_LOOKUP::onAdd()
{
    const LookupKind kind = currentKind();
    QString parent;
    if (kind == LookupKind::Category) {
        parent = selectedName();
        if (lookup::isUnspecified(parent))
            parent.clear();
    }
    if (kind == LookupKind::Rule) {
        // A rule is its script as much as its name: the rule editor keeps both.
        Rules editor(m_session, m_prompt, QStringLiteral("NEW"), QString(), this);
        editor.exec();
    } else {
        LOOKUP_FORM editor(m_session, m_prompt, kind, QStringLiteral("NEW"), QString(), parent,
                           this);
        editor.exec();
    }
    reload();
}

void F_LOOKUP::onModify()
{
    const LookupKind kind = currentKind();
    const QString name = selectedName();
    LookupLists lists(m_session, m_prompt);
    if (showRefusal(m_prompt, lists.mayRename(kind, name)))
        return;
    if (kind == LookupKind::Rule) {
        Rules editor(m_session, m_prompt, QStringLiteral("OPEN"), name, this);
        editor.exec();
    } else {
        QString parent;
        if (kind == LookupKind::Category &&
            !runCommand(m_session, m_prompt, [&] { parent = lists.parentOf(name); }))
            return;
        LOOKUP_FORM editor(m_session, m_prompt, kind, QStringLiteral("OPEN"), name, parent, this);
        editor.exec();
    }
    reload();
}

void F_LOOKUP::onDelete()
{
    bool removed = false;
    runCommand(m_session, m_prompt, [&] {
        const Outcome<> outcome =
            LookupLists(m_session, m_prompt).remove(currentKind(), selectedName());
        showRefusal(m_prompt, outcome.refusal());
        removed = static_cast<bool>(outcome);
    });
    if (removed)
        reload();
}

} // namespace bx
