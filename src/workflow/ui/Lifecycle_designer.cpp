#include "workflow/ui/Lifecycle_designer.h"

#include "core/Prompt.h"
#include "core/Session.h"
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
    : QDialog(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_design(session, prompt)
    , m_list(named(new QTreeWidget, "lvLifecycles"))
{
    setObjectName(QStringLiteral("Lifecycle_designer"));
    setWindowTitle(QStringLiteral("Lifecycles"));
    m_list->setHeaderLabels(
        {QStringLiteral("Lifecycle"), QStringLiteral("Description"), QStringLiteral("Owner")});
    m_list->setRootIsDecorated(false);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* toolbar = named(new QToolBar, "Toolbar1");
    const struct
    {
        const char* key;
        const char* tip;
        void (Lifecycle_designer::*run)();
    } commands[] = {
        {"New", "New lifecycle", &Lifecycle_designer::onNew},
        {"Prop", "Lifecycle properties", &Lifecycle_designer::onProperties},
        {"Adv", "Lifecycle triggers", &Lifecycle_designer::onTriggers},
        {"Delete", "Delete lifecycle", &Lifecycle_designer::onDelete},
        {"Copy", "Copy lifecycle", &Lifecycle_designer::onCopy},
        {"Triggers", "Lifecycle triggers", &Lifecycle_designer::onTriggers},
    };
    for (const auto& c : commands) {
        QAction* action = toolbar->addAction(QString::fromLatin1(c.key));
        action->setObjectName(QString::fromLatin1(c.key));
        action->setToolTip(QString::fromLatin1(c.tip));
        connect(action, &QAction::triggered, this, c.run);
        if (qstrcmp(c.key, "New") != 0 && qstrcmp(c.key, "Adv") != 0)
            m_list->addAction(action);
    }
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &Lifecycle_designer::onProperties);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
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
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->text(0).compare(lifecycleId, Qt::CaseInsensitive) == 0) {
            m_list->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

QString Lifecycle_designer::selectedId() const
{
    const QTreeWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
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
