#include "workflow/ui/Lifecycle_designer.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/KeyedList.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/LIFECYCLE_FORM.h"

#include <QTreeWidget>

namespace bx {

Lifecycle_designer::Lifecycle_designer(Session& session, Prompt& prompt, QWidget* parent)
    : KeyedListDialog(
          session, prompt, "Lifecycle_designer", QStringLiteral("Lifecycles"), "lvLifecycles",
          {QStringLiteral("Lifecycle"), QStringLiteral("Description"), QStringLiteral("Owner")},
          QStringLiteral("No item selected"), parent)
    , m_design(session, prompt)
{
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
        addCommand(
            c.key, c.tip, [this, run = c.run] { (this->*run)(); }, c.onRow);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &Lifecycle_designer::onProperties);
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
    if (deleteSelected([this](const QString& id) { return m_design.remove(id); }))
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
