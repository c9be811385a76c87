#include "workflow/ui/frmChecklistDesigner.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/dlgChecklist.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

frmChecklistDesigner::frmChecklistDesigner(Session& session, Prompt& prompt, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_design(session, prompt)
    , m_list(named(new QTreeWidget, "lvChecklists"))
{
    setObjectName(QStringLiteral("frmChecklistDesigner"));
    setWindowTitle(QStringLiteral("Checklists"));
    m_list->setHeaderLabels({QStringLiteral("Checklist"), QStringLiteral("Description")});
    m_list->setRootIsDecorated(false);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* toolbar = named(new QToolBar, "Toolbar1");
    const struct
    {
        const char* key;
        const char* tip;
        void (frmChecklistDesigner::*run)();
    } commands[] = {
        {"New", "New checklist", &frmChecklistDesigner::onNew},
        {"Edit", "Edit checklist", &frmChecklistDesigner::onEdit},
        {"Delete", "Delete checklist", &frmChecklistDesigner::onDelete},
    };
    for (const auto& c : commands) {
        QAction* action = toolbar->addAction(QString::fromLatin1(c.key));
        action->setObjectName(QString::fromLatin1(c.key));
        action->setToolTip(QString::fromLatin1(c.tip));
        connect(action, &QAction::triggered, this, c.run);
        if (qstrcmp(c.key, "New") != 0)
            m_list->addAction(action);
    }
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &frmChecklistDesigner::onEdit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(480, 360);
}

frmChecklistDesigner::~frmChecklistDesigner() = default;

bool frmChecklistDesigner::refresh()
{
    const QString keep = selectedName();
    Outcome<QList<ChecklistSummary>> lists;
    if (!runCommand(m_session, m_prompt, [&] { lists = m_design.open(); }) ||
        showRefusal(m_prompt, lists.refusal()) || !lists)
        return false;
    m_list->clear();
    for (const ChecklistSummary& row : *lists)
        m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{row.name, row.description}));
    if (!keep.isEmpty())
        select(keep);
    return true;
}

bool frmChecklistDesigner::select(const QString& name)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->text(0).compare(name, Qt::CaseInsensitive) == 0) {
            m_list->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

QString frmChecklistDesigner::selectedName() const
{
    const QTreeWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

QString frmChecklistDesigner::requireSelection()
{
    const QString name = selectedName();
    if (name.isEmpty())
        m_prompt.inform(ChecklistText::kNoItemSelected);
    return name;
}

void frmChecklistDesigner::runDialog(ChecklistDraft draft)
{
    dlgChecklist dialog(m_session, m_prompt, std::move(draft), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    refresh();
    select(dialog.savedName());
}

void frmChecklistDesigner::onNew()
{
    Outcome<ChecklistDraft> draft;
    if (runCommand(m_session, m_prompt, [&] { draft = m_design.create(); }) &&
        !showRefusal(m_prompt, draft.refusal()) && draft)
        runDialog(*draft);
}

void frmChecklistDesigner::onEdit()
{
    const QString name = requireSelection();
    if (name.isEmpty())
        return;
    Outcome<ChecklistDraft> draft;
    if (!runCommand(m_session, m_prompt, [&] { draft = m_design.edit(name); }) ||
        showRefusal(m_prompt, draft.refusal()))
        return;
    if (!draft) {
        // Deleted elsewhere meanwhile: show the list as it is now.
        refresh();
        return;
    }
    runDialog(*draft);
}

void frmChecklistDesigner::onDelete()
{
    const QString name = requireSelection();
    if (name.isEmpty())
        return;
    Outcome<> removed;
    if (runCommand(m_session, m_prompt, [&] { removed = m_design.remove(name); }) &&
        !showRefusal(m_prompt, removed.refusal()) && removed)
        refresh();
}

} // namespace bx
