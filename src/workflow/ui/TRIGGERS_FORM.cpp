#include "workflow/ui/TRIGGERS_FORM.h"

#include "core/Prompt.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/ACTION.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

constexpr int kSequenceRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;

const QString kNoActionSelected = QStringLiteral("No Action Selected");

} // namespace

TRIGGERS_FORM::TRIGGERS_FORM(Session& session, Prompt& prompt, const QString& lifecycleId,
                             qlonglong ownerGroupId, QWidget* parent)
    : SessionDialog(session, prompt, "TRIGGERS_FORM", {}, parent)
    , m_items(session, prompt, lifecycleId, ownerGroupId)
    , m_stages(named(new QTreeWidget, "lvStages"))
    , m_actions(named(new QListWidget, "lstActions"))
    , m_add(named(new QPushButton(QStringLiteral("Add")), "cmdAdd"))
{
    setWindowTitle(QStringLiteral("Triggers: ") + lifecycleId);
    m_stages->setColumnCount(2);
    m_stages->setHeaderLabels({QStringLiteral("Stage"), QStringLiteral("Owner")});
    m_stages->setRootIsDecorated(false);

    auto* edit = named(new QPushButton(QStringLiteral("Edit")), "cmdEdit");
    auto* remove = named(new QPushButton(QStringLiteral("Delete")), "cmdDelete");
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    close->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* b : {m_add, edit, remove})
        b->setAutoDefault(false);

    auto* actionButtons = new QVBoxLayout;
    actionButtons->addWidget(m_add);
    actionButtons->addWidget(edit);
    actionButtons->addWidget(remove);
    actionButtons->addStretch();
    auto* actionRow = new QHBoxLayout;
    actionRow->addWidget(m_actions, 1);
    actionRow->addLayout(actionButtons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Stages:")));
    layout->addWidget(m_stages, 1);
    layout->addWidget(new QLabel(QStringLiteral("Action items:")));
    layout->addLayout(actionRow, 1);
    layout->addWidget(close);
    resize(520, 480);

    connect(m_stages, &QTreeWidget::currentItemChanged, this, &TRIGGERS_FORM::onStage);
    connect(m_actions, &QListWidget::itemDoubleClicked, this, &TRIGGERS_FORM::onEdit);
    connect(m_add, &QPushButton::clicked, this, &TRIGGERS_FORM::onAdd);
    connect(edit, &QPushButton::clicked, this, &TRIGGERS_FORM::onEdit);
    connect(remove, &QPushButton::clicked, this, &TRIGGERS_FORM::onDelete);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    reload();
}

void TRIGGERS_FORM::reload()
{
    {
        const QSignalBlocker quiet(m_stages);
        m_stages->clear();
        runCommand(m_session, m_prompt, [this] {
            for (const StageListEntry& e : m_items.stageList()) {
                auto* item = new QTreeWidgetItem(m_stages, {e.stageName, e.ownerText});
                item->setData(0, kSequenceRole, e.sequence);
                item->setData(0, kKeyRole, e.key);
            }
        });
    }
    m_stages->setCurrentItem(m_stages->topLevelItem(0));
    onStage();
}

int TRIGGERS_FORM::chosenSequence() const
{
    const QTreeWidgetItem* item = m_stages->currentItem();
    return item ? item->data(0, kSequenceRole).toInt() : -1;
}

QString TRIGGERS_FORM::chosenTitle() const
{
    const QListWidgetItem* item = m_actions->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void TRIGGERS_FORM::onStage()
{
    m_actions->clear();
    m_add->setEnabled(chosenSequence() >= 0);
    if (chosenSequence() >= 0)
        showActions();
}

void TRIGGERS_FORM::showActions(const QString& select)
{
    m_actions->clear();
    if (!runCommand(m_session, m_prompt,
                    [this] {
                        const Outcome<LifecycleStage> stage = m_items.stage(chosenSequence());
                        if (!showRefusal(m_prompt, stage.refusal()))
                            m_actions->addItems(m_items.actionTitles(*stage));
                    }) ||
        select.isEmpty())
        return;
    const auto found = m_actions->findItems(select, Qt::MatchFixedString);
    if (!found.isEmpty())
        m_actions->setCurrentItem(found.first());
}

void TRIGGERS_FORM::openEditor(const QString& title)
{
    Outcome<LifecycleStage> stage;
    if (!runCommand(m_session, m_prompt, [&] { stage = m_items.stage(chosenSequence()); }) ||
        showRefusal(m_prompt, stage.refusal()))
        return;
    auto* editor = new ACTION(m_session, m_prompt, *stage, title, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    if (!editor->isLoaded()) {
        delete editor;
        showActions();
        return;
    }
    connect(editor, &QDialog::accepted, this,
            [this, editor] { showActions(editor->savedTitle()); });
    editor->open();
}

void TRIGGERS_FORM::onAdd()
{
    if (chosenSequence() >= 0)
        openEditor({});
}

void TRIGGERS_FORM::onEdit()
{
    const QString title = chosenTitle();
    if (title.isEmpty()) {
        m_prompt.inform(kNoActionSelected);
        return;
    }
    openEditor(title);
}

void TRIGGERS_FORM::onDelete()
{
    const QString title = chosenTitle();
    if (title.isEmpty()) {
        m_prompt.inform(kNoActionSelected);
        return;
    }
    Outcome<> removed;
    if (runCommand(m_session, m_prompt,
                   [&] { removed = m_items.remove(chosenSequence(), title); }) &&
        !showRefusal(m_prompt, removed.refusal()) && removed)
        showActions();
}

} // namespace bx
