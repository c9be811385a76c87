#include "tasks/ui/LOOKUP_FORM.h"

#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QDialogButtonBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

LOOKUP_FORM::LOOKUP_FORM(Session& session, Prompt& prompt, LookupKind kind, const QString& editMode,
                         const QString& key, const QString& parentKey, QWidget* parent)
    : SessionDialog(session, prompt, "LOOKUP_FORM", {}, parent)
    , m_kind(kind)
    , m_isNew(editMode.compare(QLatin1String("OPEN"), Qt::CaseInsensitive) != 0)
    , m_key(m_isNew ? QString() : key)
    , m_holdKey(named(new QLineEdit(m_key), "HOLD_KEY"))
{
    const QString caption = lookupList(kind).caption;
    setWindowTitle(caption);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(named(new QLabel(caption), "lblCaption"));
    layout->addWidget(m_holdKey);

    if (kind == LookupKind::Category) {
        m_parents = named(new QTreeWidget, "tvwParent");
        m_parents->setHeaderHidden(true);
        auto* root = new QTreeWidgetItem(m_parents, {lookup::kTopLevel});
        QTreeWidgetItem* chosen = root;
        QHash<QString, QTreeWidgetItem*> byName;
        int skipBelow = -1; // level of the renamed category while its branch is being passed
        QList<CategoryNode> nodes;
        runCommand(m_session, m_prompt,
                   [&] { nodes = LookupLists(m_session, m_prompt).categoryTree(); });
        for (const CategoryNode& node : std::as_const(nodes)) {
            if (skipBelow >= 0 && node.level > skipBelow)
                continue;
            skipBelow = -1;
            if (lookup::isUnspecified(node.name))
                continue;
            if (!m_isNew && node.name.compare(m_key, Qt::CaseInsensitive) == 0) {
                skipBelow = node.level;
                continue;
            }
            auto* item = new QTreeWidgetItem(byName.value(node.parent, root), {node.name});
            byName.insert(node.name, item);
            if (node.name.compare(parentKey.trimmed(), Qt::CaseInsensitive) == 0)
                chosen = item;
        }
        m_parents->expandAll();
        m_parents->setCurrentItem(chosen);
        layout->addWidget(m_parents);
    }

    auto* buttons = okCancelButtons(this, &LOOKUP_FORM::onOk);
    layout->addWidget(buttons);
}

void LOOKUP_FORM::onOk()
{
    LookupDraft draft;
    draft.kind = m_kind;
    draft.isNew = m_isNew;
    draft.originalKey = m_key;
    draft.text = m_holdKey->text();
    if (m_parents && m_parents->currentItem())
        draft.parent = m_parents->currentItem()->text(0);
    Outcome<> saved;
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = LookupLists(m_session, m_prompt).save(draft); }) ||
        showRefusal(m_prompt, saved.refusal(), [this](NoField) { return m_holdKey; }))
        return;
    m_saved = draft.text.trimmed();
    accept();
}

} // namespace bx
