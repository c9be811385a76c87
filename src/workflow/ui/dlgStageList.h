#pragma once

#include "workflow/Lifecycle.h"

#include <QDialog>
#include <QList>

class QListWidget;

namespace bx {

/**
 * The pick list of a lifecycle's stages for a jump of the to-do panel: the stages in sequence
 * order, the task's current one selected. After OK chosenStage() names the selected stage; it is
 * empty after Cancel or when nothing was selected.
 */
class dlgStageList : public QDialog
{
    Q_OBJECT
public:
    dlgStageList(const QList<LifecycleStage>& stages, const QString& currentStage,
                 QWidget* parent = nullptr);

    QString chosenStage() const { return m_chosen; }

    /** Shows the list modally; the chosen stage's name, or "" when none was chosen. */
    static QString choose(const QList<LifecycleStage>& stages, const QString& currentStage,
                          QWidget* parent);

private:
    void onOk();

    QListWidget* m_list;
    QString m_chosen;
};

} // namespace bx
