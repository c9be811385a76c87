#include "workflow/ui/Lifecycle_designer.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/KeyedList.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/LIFECYCLE_FORM.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

Lifecycle_designer::Lifecycle_designer(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "Lifecycle_designer", QStringLiteral("Lifecycles"), parent)
    , m_design(session, prompt)
    , m_list(named(new QTreeWidget, "lvLifecycles"))
{
    setUpKeyedList(*m_list, {QStringLiteral("Lifecycle"), QStringLiteral("Description"),
                             QStringLiteral("Owner")});
    auto* toolbar = named(new QToolBar, "Toolbar1");
    const struct
    {
        const char* key;
        const char* tip;
        void (Lifecycle_designer::*run)();
        bool onRow;
    } commands[] = {
        {"New", "New lifecycle", &Lifecycle_designer::onNew, false},
        {"Prop", "Lifecycle properties", &Lifecycle_designer::onProperties, true},
        {"Adv", "Lifecycle triggers", &Lifecycle_designer::onTriggers, false},
        {"Delete", "Delete lifecycle", &Lifecycle_designer::onDelete, true},
        {"Copy", "Copy lifecycle", &Lifecycle_designer::onCopy, true},
        {"Triggers", "Lifecycle triggers", &Lifecycle_designer::onTriggers, true},
    };
    for (const auto& c : commands)
        addListCommand(
            *toolbar, *m_list, c.key, c.tip, [this, run = c.run] { (this->*run)(); }, c.onRow);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &Lifecycle_designer::onProperties);
    layOutDesigner(*this, *toolbar, *m_list);
    // The toolbar does not widen the window by itself: wide enough for all of its commands and
    // the three columns.
    resize(560, 360);
    refresh();
}

Lifecycle_designer::~Lifecycle_designer() = default;

void Lifecycle_designer::refresh()
{
    const QString keep = selectedId();
    m_list->clear();
    runCommand(m_session, m_prompt, [this] {
        for (const LifecycleSummary& row : m_design.list())
            m_list->addTopLevelItem(
                new QTreeWidgetItem(QStringList{row.lifecycleId, row.description, row.designer}));
    });
    if (!keep.isEmpty())
        select(keep);
}

bool Lifecycle_designer::select(const QString& lifecycleId)
{
    return selectByKey(*m_list, lifecycleId);
}

QString Lifecycle_designer::selectedId() const
{
    return selectedKey(*m_list);
}

QString Lifecycle_designer::requireSelection()
{
    const QString id = selectedId();
    if (id.isEmpty())
        m_prompt.inform(LifecycleText::kNoItemSelected);
    return id;
}

void Lifecycle_designer::runForm(LIFECYCLE_FORM& form)
{
    if (form.exec() != QDialog::Accepted)
        return;
    refresh();
    select(form.savedId());
}

void Lifecycle_designer::onNew()
{
    LIFECYCLE_FORM form(m_session, m_prompt, LifecycleDraft{}, this);
    runForm(form);
}

void Lifecycle_designer::onProperties()
{
    const QString id = requireSelection();
    if (id.isEmpty())
        return;
    std::optional<LifecycleDraft> draft;
    if (!runCommand(m_session, m_prompt, [&] { draft = m_design.open(id); }))
        return;
    if (!draft) {
        // Deleted elsewhere meanwhile: show the list as it is now.
        refresh();
        return;
    }
    LIFECYCLE_FORM form(m_session, m_prompt, std::move(*draft), this);
    runForm(form);
}

void Lifecycle_designer::onTriggers()
{
    const QString id = requireSelection();
    if (!id.isEmpty())
        emit triggersRequested(id, m_design.workshop());
}

void Lifecycle_designer::onDelete()
{
    const QString id = requireSelection();
    if (id.isEmpty())
        return;
    Outcome<> removed;
    if (runCommand(m_session, m_prompt, [&] { removed = m_design.remove(id); }) &&
        !showRefusal(m_prompt, removed.refusal()) && removed)
        refresh();
}

void Lifecycle_designer::onCopy()
{
    const QString id = requireSelection();
    if (id.isEmpty())
        return;
    Outcome<QString> copy;
    if (!runCommand(m_session, m_prompt, [&] { copy = m_design.makeCopy(id); }) ||
        showRefusal(m_prompt, copy.refusal()) || !copy)
        return;
    refresh();
    select(*copy);
}

} // namespace bx
