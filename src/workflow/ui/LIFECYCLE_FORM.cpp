#include "workflow/ui/LIFECYCLE_FORM.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

// What an owner-tree entry stands for.
constexpr int kKindRole = Qt::UserRole;
constexpr int kGroupRole = Qt::UserRole + 1;
constexpr int kUserRole = Qt::UserRole + 2;

QTreeWidgetItem* ownerItem(const QString& text, StageOwnerKind kind, qlonglong group,
                           const QString& user = {})
{
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, kKindRole, static_cast<int>(kind));
    item->setData(0, kGroupRole, group);
    item->setData(0, kUserRole, user);
    return item;
}

bool stands(const QTreeWidgetItem* item, StageOwnerKind kind, qlonglong group, const QString& user)
{
    if (item->data(0, kKindRole).toInt() != static_cast<int>(kind))
        return false;
    if (kind == StageOwnerKind::Requester)
        return true;
    if (item->data(0, kGroupRole).toLongLong() != group)
        return false;
    return kind == StageOwnerKind::Workshop ||
           item->data(0, kUserRole).toString().compare(user.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

LIFECYCLE_FORM::LIFECYCLE_FORM(Session& session, Prompt& prompt, LifecycleDraft draft,
                               QWidget* parent)
    : SessionDialog(session, prompt, "LIFECYCLE_FORM", QStringLiteral("Lifecycle"), parent)
    , m_design(session, prompt)
    , m_draft(std::move(draft))
    , m_key(named(new QLineEdit, "KEY_LIFECYCLE"))
    , m_description(named(new QLineEdit, "txtDescription"))
    , m_stages(named(new QTreeWidget, "lvStages"))
    , m_cmdAdd(named(new QPushButton(QStringLiteral("Add")), "cmdAdd"))
    , m_cmdRename(named(new QPushButton(QStringLiteral("Rename")), "cmdRename"))
    , m_cmdRemove(named(new QPushButton(QStringLiteral("Remove")), "cmdRemove"))
    , m_cmdUp(named(new QPushButton(QStringLiteral("Up")), "cmdUp"))
    , m_cmdDown(named(new QPushButton(QStringLiteral("Down")), "cmdDown"))
    , m_owners(named(new QTreeWidget, "tvOwners"))
    , m_properties(named(new QGroupBox(QStringLiteral("Stage properties")), "fraStage"))
    , m_rule(named(new QComboBox, "cmbRule"))
    , m_received(
          named(new QCheckBox(QStringLiteral("Process when task is received")), "chkReceived"))
    , m_approved(
          named(new QCheckBox(QStringLiteral("Process when task is approved")), "chkApproved"))
    , m_declined(
          named(new QCheckBox(QStringLiteral("Process when task is declined")), "chkDeclined"))
    , m_days(named(new QSpinBox, "txtDays"))
{

    m_key->setText(m_draft.lifecycleId);
    m_key->setReadOnly(!m_draft.isNew);
    m_description->setText(m_draft.description);
    m_stages->setHeaderLabels({QStringLiteral("Stage"), QStringLiteral("Owner")});
    m_stages->setRootIsDecorated(false);
    m_owners->setHeaderLabels({QStringLiteral("Owner")});
    m_days->setRange(0, 9999);

    auto* head = new QFormLayout;
    head->addRow(QStringLiteral("Lifecycle:"), m_key);
    head->addRow(QStringLiteral("Description:"), m_description);

    auto* stageButtons = new QVBoxLayout;
    for (QPushButton* b : {m_cmdAdd, m_cmdRename, m_cmdRemove, m_cmdUp, m_cmdDown})
        stageButtons->addWidget(b);
    stageButtons->addStretch();

    buildStageProperties();

    auto* middle = new QHBoxLayout;
    middle->addWidget(m_stages, 2);
    middle->addLayout(stageButtons);
    middle->addWidget(m_owners, 2);

    auto* buttons = okCancelButtons(this, &LIFECYCLE_FORM::onOk);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(middle, 1);
    layout->addWidget(m_properties);
    layout->addWidget(buttons);

    m_rule->addItem(QString());
    runCommand(m_session, m_prompt, [this] {
        m_rule->addItems(m_design.ruleNames());
        fillOwnerTree();
    });
    fillStages(m_draft.stages.isEmpty() ? -1 : 0);

    connectControls();
}

LIFECYCLE_FORM::~LIFECYCLE_FORM() = default;

void LIFECYCLE_FORM::buildStageProperties()
{
    auto* moments = named(new QGroupBox(QStringLiteral("When rule to process")), "fraRule");
    auto* momentsLayout = new QVBoxLayout(moments);
    momentsLayout->addWidget(m_received);
    momentsLayout->addWidget(m_approved);
    momentsLayout->addWidget(m_declined);
    auto* properties = new QFormLayout(m_properties);
    properties->addRow(QStringLiteral("Rule:"), m_rule);
    properties->addRow(moments);
    properties->addRow(QStringLiteral("Prospective Number of Days in Stage:"), m_days);
}

void LIFECYCLE_FORM::connectControls()
{
    connect(m_cmdAdd, &QPushButton::clicked, this, &LIFECYCLE_FORM::onAdd);
    connect(m_cmdRename, &QPushButton::clicked, this, &LIFECYCLE_FORM::onRename);
    connect(m_cmdRemove, &QPushButton::clicked, this, &LIFECYCLE_FORM::onRemove);
    connect(m_cmdUp, &QPushButton::clicked, this, [this] { moveStage(currentStage(), -1); });
    connect(m_cmdDown, &QPushButton::clicked, this, [this] { moveStage(currentStage(), +1); });
    connect(m_stages, &QTreeWidget::currentItemChanged, this, &LIFECYCLE_FORM::onStageChosen);
    connect(m_owners, &QTreeWidget::currentItemChanged, this, &LIFECYCLE_FORM::onOwnerChosen);
    connect(m_rule, &QComboBox::currentIndexChanged, this, &LIFECYCLE_FORM::onPropertyEdited);
    for (QCheckBox* box : {m_received, m_approved, m_declined})
        connect(box, &QCheckBox::toggled, this, &LIFECYCLE_FORM::onPropertyEdited);
    connect(m_days, &QSpinBox::valueChanged, this, &LIFECYCLE_FORM::onPropertyEdited);
}

LifecycleDraft LIFECYCLE_FORM::draft() const
{
    LifecycleDraft d = m_draft;
    d.lifecycleId = m_key->text();
    d.description = m_description->text();
    return d;
}

void LIFECYCLE_FORM::fillOwnerTree()
{
    m_owners->clear();
    m_owners->addTopLevelItem(
        ownerItem(LifecycleText::kRequester, StageOwnerKind::Requester, m_design.workshop()));
    for (const OwnerTreeWorkshop& w : m_design.ownerTree()) {
        m_groupNames.insert(w.groupId, w.name);
        QTreeWidgetItem* node = ownerItem(w.name, StageOwnerKind::Workshop, w.groupId);
        node->addChild(ownerItem(LifecycleText::kAnyUser, StageOwnerKind::Workshop, w.groupId));
        for (const QString& user : w.users)
            node->addChild(ownerItem(user, StageOwnerKind::User, w.groupId, user));
        m_owners->addTopLevelItem(node);
    }
}

QString LIFECYCLE_FORM::ownerText(const LifecycleStage& stage) const
{
    const QString caption = ownerCaption(stage);
    if (stage.ownerKind == StageOwnerKind::Requester)
        return caption;
    return caption + QStringLiteral(" (") + m_groupNames.value(stage.groupId) + QStringLiteral(")");
}

void LIFECYCLE_FORM::fillStages(int select)
{
    m_filling = true;
    m_stages->clear();
    for (const StageDraft& s : m_draft.stages)
        m_stages->addTopLevelItem(
            new QTreeWidgetItem(QStringList{s.stage.stageName, ownerText(s.stage)}));
    m_filling = false;
    selectStage(select);
    showStage();
}

void LIFECYCLE_FORM::selectStage(int index)
{
    m_stages->setCurrentItem(index >= 0 ? m_stages->topLevelItem(index) : nullptr);
}

int LIFECYCLE_FORM::currentStage() const
{
    QTreeWidgetItem* item = m_stages->currentItem();
    return item ? m_stages->indexOfTopLevelItem(item) : -1;
}

void LIFECYCLE_FORM::onStageChosen()
{
    if (!m_filling)
        showStage();
}

void LIFECYCLE_FORM::showStage()
{
    const int index = currentStage();
    const bool any = index >= 0;
    m_properties->setEnabled(any);
    m_cmdRename->setEnabled(any);
    m_cmdRemove->setEnabled(any);
    m_cmdUp->setEnabled(index > 0);
    m_cmdDown->setEnabled(any && index + 1 < m_draft.stages.size());
    m_filling = true;
    if (any) {
        const StageDraft& s = m_draft.stages.at(index);
        int rule = m_rule->findText(s.stage.ruleName, Qt::MatchFixedString);
        if (rule < 0) {
            // A rule that has gone from the list stays the stage's until another is chosen.
            m_rule->addItem(s.stage.ruleName);
            rule = m_rule->count() - 1;
        }
        m_rule->setCurrentIndex(rule);
        m_received->setChecked(s.stage.received);
        m_approved->setChecked(s.stage.approved);
        m_declined->setChecked(s.stage.declined);
        m_days->setValue(s.daysInCycle);
        m_owners->setCurrentItem(nullptr);
        for (QTreeWidgetItemIterator it(m_owners); *it; ++it) {
            if (stands(*it, s.stage.ownerKind, s.stage.groupId, s.stage.userId) &&
                ((*it)->parent() || s.stage.ownerKind != StageOwnerKind::Workshop)) {
                m_owners->setCurrentItem(*it);
                break;
            }
        }
    } else {
        m_rule->setCurrentIndex(0);
        for (QCheckBox* box : {m_received, m_approved, m_declined})
            box->setChecked(false);
        m_days->setValue(0);
    }
    m_filling = false;
}

void LIFECYCLE_FORM::onPropertyEdited()
{
    const int index = currentStage();
    if (m_filling || index < 0)
        return;
    StageDraft& s = m_draft.stages[index];
    s.stage.ruleName = m_rule->currentText();
    s.stage.received = m_received->isChecked();
    s.stage.approved = m_approved->isChecked();
    s.stage.declined = m_declined->isChecked();
    s.daysInCycle = m_days->value();
}

void LIFECYCLE_FORM::onOwnerChosen(QTreeWidgetItem* item)
{
    const int index = currentStage();
    if (m_filling || !item || index < 0)
        return;
    LifecycleStage& st = m_draft.stages[index].stage;
    st.ownerKind = static_cast<StageOwnerKind>(item->data(0, kKindRole).toInt());
    st.groupId = item->data(0, kGroupRole).toLongLong();
    st.userId = item->data(0, kUserRole).toString();
    m_stages->topLevelItem(index)->setText(1, ownerText(st));
}

bool LIFECYCLE_FORM::selectOwner(StageOwnerKind kind, qlonglong groupId, const QString& userId)
{
    for (QTreeWidgetItemIterator it(m_owners); *it; ++it) {
        if (stands(*it, kind, groupId, userId)) {
            m_owners->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

bool LIFECYCLE_FORM::refused(const std::optional<DesignRefusal>& refusal)
{
    return showRefusal(m_prompt, refusal,
                       {{DesignField::Identifier, m_key},
                        {DesignField::Description, m_description},
                        {DesignField::Stages, m_stages}});
}

bool LIFECYCLE_FORM::addStage(const QString& name)
{
    if (refused(stageNameProblem(m_draft.stages, name)))
        return false;
    StageDraft s;
    s.stage.stageName = name.trimmed();
    s.stage.ownerKind = StageOwnerKind::Workshop;
    s.stage.groupId = m_design.workshop();
    if (const QTreeWidgetItem* owner = m_owners->currentItem()) {
        s.stage.ownerKind = static_cast<StageOwnerKind>(owner->data(0, kKindRole).toInt());
        s.stage.groupId = owner->data(0, kGroupRole).toLongLong();
        s.stage.userId = owner->data(0, kUserRole).toString();
    }
    m_draft.stages.append(s);
    fillStages(static_cast<int>(m_draft.stages.size()) - 1);
    return true;
}

bool LIFECYCLE_FORM::renameStage(int index, const QString& name)
{
    if (index < 0 || index >= m_draft.stages.size() ||
        refused(stageNameProblem(m_draft.stages, name, index)))
        return false;
    m_draft.stages[index].stage.stageName = name.trimmed();
    fillStages(index);
    return true;
}

bool LIFECYCLE_FORM::removeStage(int index)
{
    if (index < 0 || index >= m_draft.stages.size())
        return false;
    std::optional<DesignRefusal> refusal;
    if (!runCommand(m_session, m_prompt,
                    [&] { refusal = m_design.mayRemoveStage(m_draft, index); }) ||
        refused(refusal))
        return false;
    m_draft.stages.removeAt(index);
    fillStages(std::min(index, static_cast<int>(m_draft.stages.size()) - 1));
    return true;
}

bool LIFECYCLE_FORM::moveStage(int index, int delta)
{
    const int to = index + delta;
    if (index < 0 || to < 0 || to >= m_draft.stages.size() || index >= m_draft.stages.size())
        return false;
    m_draft.stages.move(index, to);
    fillStages(to);
    return true;
}

void LIFECYCLE_FORM::onAdd()
{
    if (const auto name =
            m_prompt.input(QStringLiteral("Stage name:"), QStringLiteral("Add Stage")))
        addStage(*name);
}

void LIFECYCLE_FORM::onRename()
{
    const int index = currentStage();
    if (index < 0)
        return;
    if (const auto name =
            m_prompt.input(QStringLiteral("Stage name:"), QStringLiteral("Rename Stage"),
                           m_draft.stages.at(index).stage.stageName))
        renameStage(index, *name);
}

void LIFECYCLE_FORM::onRemove()
{
    removeStage(currentStage());
}

void LIFECYCLE_FORM::onOk()
{
    m_draft.lifecycleId = m_key->text();
    m_draft.description = m_description->text();
    Outcome<Done, DesignField> saved;
    if (!runCommand(m_session, m_prompt, [&] { saved = m_design.save(m_draft); }))
        return;
    if (refused(saved.refusal())) {
        if (saved.refusal()->field == DesignField::Identifier)
            m_key->selectAll();
        return;
    }
    m_savedId = m_draft.lifecycleId;
    accept();
}

} // namespace bx
