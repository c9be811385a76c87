#include "tasks/ui/dlgPriority.h"

#include "core/ui/RunCommand.h"
#include "tasks/Pickers.h"

#include <QTreeWidget>

namespace bx {

dlgPriority::dlgPriority(Session& session, Prompt& prompt, bool several, QWidget* parent)
    : PickerOf(prompt, several, "tvwPriority", QStringLiteral("Please select a priority."), parent)
{
    setObjectName(QStringLiteral("dlgPriority"));
    setWindowTitle(QStringLiteral("Select Priority"));
    tree()->setHeaderLabels({QStringLiteral("Priority")});
    tree()->setRootIsDecorated(false);

    QStringList priorities;
    runCommand(session, prompt, [&] { priorities = priorityChoices(session, prompt); });
    for (const QString& priority : std::as_const(priorities)) {
        auto* item = new QTreeWidgetItem(tree(), {priority});
        if (several)
            item->setCheckState(0, Qt::Unchecked);
    }
}

std::optional<QStringList> dlgPriority::choose(Session& session, Prompt& prompt, bool several,
                                               QWidget* parent)
{
    return showModal(session, prompt, several, parent);
}

} // namespace bx
