#include "workflow/ui/dlgStageList.h"

#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

dlgStageList::dlgStageList(const QList<LifecycleStage>& stages, const QString& currentStage,
                           QWidget* parent)
    : QDialog(parent)
    , m_list(named(new QListWidget, "lstStages"))
{
    setObjectName(QStringLiteral("dlgStageList"));
    setWindowTitle(QStringLiteral("Lifecycle Stages"));
    const std::optional<LifecycleStage> current = findStage(stages, currentStage);
    for (const LifecycleStage& stage : stages) {
        auto* item = new QListWidgetItem(stage.stageName, m_list);
        if (current && current->sequence == stage.sequence)
            m_list->setCurrentItem(item);
    }
    auto* buttons = okCancelButtons(this, &dlgStageList::onOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &dlgStageList::onOk);
}

void dlgStageList::onOk()
{
    const QListWidgetItem* item = m_list->currentItem();
    m_chosen = item && item->isSelected() ? item->text() : QString();
    accept();
}

QString dlgStageList::choose(const QList<LifecycleStage>& stages, const QString& currentStage,
                             QWidget* parent)
{
    dlgStageList dialog(stages, currentStage, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosenStage() : QString();
}

} // namespace bx
