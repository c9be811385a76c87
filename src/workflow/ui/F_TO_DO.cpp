#include "workflow/ui/F_TO_DO.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/Named.h"
#include "core/ui/StoredText.h"
#include "people/workshops/WorkshopStore.h"
#include "workflow/ui/dlgStageList.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

namespace {

constexpr ToDoButton kButtons[] = {ToDoButton::Yes,  ToDoButton::No,     ToDoButton::Jump,
                                   ToDoButton::Cond, ToDoButton::Cancel, ToDoButton::LCEnd};

} // namespace

F_TO_DO::F_TO_DO(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_TO_DO", QStringLiteral("To Do"), parent)
    , m_lblTask(named(plainLabel(), "lblTask"))
    , m_lblLifecycle(named(plainLabel(), "lblLifecycle"))
    , m_lblStage(named(plainLabel(), "lblStage"))
    , m_lblWorkshop(named(plainLabel(), "lblWorkshop"))
    , m_itemRows(new QVBoxLayout)
    , m_lblNextOwner(named(plainLabel(), "lblNextOwner"))
    , m_cmbNextUser(named(new QComboBox, "cmbNextUser"))
    , m_cmdAccept(named(new QPushButton, "cmdAccept"))
    , m_cmdDecline(named(new QPushButton, "cmdDecline"))
    , m_comments(named(withStoredTextDocument(new QTextEdit), "COMMENTS"))
    , m_response(named(new QLineEdit, "T_RESPONSE"))
    , m_jumpStage(named(new QLineEdit, "T_JUMP_STAGE"))
{

    auto* toolbar = named(new QToolBar, "Toolbar1");
    for (ToDoButton button : kButtons) {
        QAction* action = toolbar->addAction(toDoButtonKey(button));
        action->setObjectName(toDoButtonKey(button));
        connect(action, &QAction::triggered, this, [this, button] { press(button); });
        m_actions.append({button, action});
    }
    connect(m_cmdAccept, &QPushButton::clicked, this, [this] { press(ToDoButton::Yes); });
    connect(m_cmdDecline, &QPushButton::clicked, this, [this] { press(ToDoButton::No); });

    auto* header = new QFormLayout;
    header->addRow(QStringLiteral("Task:"), m_lblTask);
    header->addRow(QStringLiteral("Lifecycle:"), m_lblLifecycle);
    header->addRow(QStringLiteral("Stage:"), m_lblStage);
    header->addRow(QStringLiteral("Workshop:"), m_lblWorkshop);

    auto* itemsPane = new QWidget;
    itemsPane->setLayout(m_itemRows);
    m_itemRows->addStretch();
    auto* scroll = named(new QScrollArea, "scrItems");
    scroll->setWidgetResizable(true);
    scroll->setWidget(itemsPane);

    m_lblNextOwner->hide();
    m_cmbNextUser->hide();
    m_response->hide();
    m_jumpStage->hide();
    m_comments->setAcceptRichText(false);

    auto* commands = new QHBoxLayout;
    commands->addStretch();
    commands->addWidget(m_cmdAccept);
    commands->addWidget(m_cmdDecline);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addLayout(header);
    layout->addWidget(scroll, 1);
    layout->addWidget(m_lblNextOwner);
    layout->addWidget(m_cmbNextUser);
    layout->addWidget(new QLabel(QStringLiteral("Comments:")));
    layout->addWidget(m_comments);
    layout->addLayout(commands);
    layout->addWidget(m_response);
    layout->addWidget(m_jumpStage);
    // The toolbar does not widen the window by itself: wide enough for all six commands.
    resize(460, 520);
    applyFaces();
}

F_TO_DO::~F_TO_DO() = default;

bool F_TO_DO::InitForm(const QString& lifecycleId, const QString& stageName, qlonglong ownerGroupId,
                       qlonglong taskNumber, const QString& stageOwner)
{
    m_stage = {taskNumber, lifecycleId, stageName, ownerGroupId};
    m_stageOwner = stageOwner;
    m_items.clear();
    m_response->clear();
    m_jumpStage->clear();
    m_lblTask->setText(QString::number(taskNumber));
    m_lblLifecycle->setText(lifecycleId);
    m_lblStage->setText(stageName);
    m_lblWorkshop->clear();
    m_lblNextOwner->hide();
    m_cmbNextUser->clear();
    m_cmbNextUser->hide();
    applyFaces();

    bool ok = true;
    try {
        if (ownerGroupId > 0)
            m_lblWorkshop->setText(GroupName(m_session.db(), ownerGroupId));
        m_items = loadToDoItems(m_session.db(), m_stage);
        if (const auto next = nextStageWorkshop(m_session.db(), m_stage)) {
            m_lblNextOwner->setText(next->line);
            m_cmbNextUser->addItems(next->members);
            m_lblNextOwner->show();
            m_cmbNextUser->show();
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        ok = false;
    }
    addItemRows();
    return ok;
}

void F_TO_DO::addItemRows()
{
    for (QCheckBox* check : std::as_const(m_checks))
        delete check->parentWidget();
    m_checks.clear();
    m_signatures.clear();
    for (int i = 0; i < m_items.size(); ++i) {
        auto* row = new QWidget;
        auto* check =
            named(new QCheckBox(toDoCaption(m_items[i])), QStringLiteral("chkAction%1").arg(i));
        auto* signature =
            named(plainLabel(m_items[i].signature), QStringLiteral("lblSignature%1").arg(i));
        check->setChecked(m_items[i].isSigned());
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(check, 1);
        line->addWidget(signature);
        // Before the stretch that keeps the rows at the top.
        m_itemRows->insertWidget(m_itemRows->count() - 1, row);
        connect(check, &QCheckBox::toggled, this, [this, i](bool on) { onTicked(i, on); });
        m_checks.append(check);
        m_signatures.append(signature);
    }
}

void F_TO_DO::onTicked(int index, bool ticked)
{
    setToDoTicked(m_items[index], ticked, m_session.user.userId);
    m_signatures[index]->setText(m_items[index].signature);
}

void F_TO_DO::applyFaces()
{
    const bool inLifecycle = m_stage.inLifecycle();
    for (const auto& [button, action] : std::as_const(m_actions)) {
        const ToDoButtonFace face = toDoButtonFace(button, inLifecycle);
        action->setText(face.caption);
        action->setToolTip(plainToolTip(face.toolTip));
        action->setVisible(face.visible);
    }
    const ToDoCommandCaptions captions = toDoCommandCaptions(inLifecycle);
    m_cmdAccept->setText(captions.accept);
    m_cmdDecline->setText(captions.decline);
}

void F_TO_DO::press(ToDoButton button)
{
    if (!toDoButtonFace(button, m_stage.inLifecycle()).visible)
        return;
    const ToDoVerdict verdict = checkToDoButton(button, m_items, comment());
    if (!verdict.accepted()) {
        m_prompt.inform(verdict.message);
        if (verdict.focusComment)
            m_comments->setFocus();
        return;
    }
    try {
        int step = 0;
        if (button == ToDoButton::Jump) {
            const QList<LifecycleStage> stages = jumpStages(m_session.db(), m_stage);
            const QString chosen = m_chooseStage
                                       ? m_chooseStage(stages, m_stage.stageName)
                                       : dlgStageList::choose(stages, m_stage.stageName, this);
            const std::optional<int> distance = jumpDistance(stages, m_stage.stageName, chosen);
            if (!distance)
                return;
            step = *distance;
        }
        // A task not yet saved has no copies of its own to hold the signatures.
        if (m_stage.taskNumber > 0)
            saveToDoSignatures(m_session.db(), m_stage, m_stageOwner, m_items);
        m_response->setText(verdict.response);
        m_jumpStage->setText(QString::number(step));
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return;
    }
    accept();
}

QString F_TO_DO::response() const
{
    return m_response->text();
}

int F_TO_DO::jumpStage() const
{
    return m_jumpStage->text().toInt();
}

QString F_TO_DO::comment() const
{
    return m_comments->toPlainText();
}

QString F_TO_DO::nextStageUser() const
{
    return m_cmbNextUser->isHidden() ? QString() : m_cmbNextUser->currentText();
}

std::optional<CloseOutChoice> askCloseOut(Session& session, Prompt& prompt, const TaskStage& task,
                                          QWidget* parent)
{
    F_TO_DO panel(session, prompt, parent);
    if (!panel.InitForm(task.lifecycleId, task.stageName, task.ownerGroupId, task.taskNumber,
                        task.stageOwner))
        return std::nullopt;
    if (panel.exec() != QDialog::Accepted)
        return std::nullopt;
    return closeOutChoice(panel.response(), panel.jumpStage(), panel.comment());
}

} // namespace bx
