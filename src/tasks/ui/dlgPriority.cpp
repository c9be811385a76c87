#include "tasks/ui/dlgPriority.h"

#include "core/ui/RunCommand.h"
#include "tasks/Pickers.h"

#include <QTreeWidget>

namespace bx {

namespace {

std::function<std::optional<QStringList>()>& choiceForTests()
{
    static std::function<std::optional<QStringList>()> choice;
    return choice;
}

} // namespace

dlgPriority::dlgPriority(Session& session, Prompt& prompt, bool several, QWidget* parent)
    : PickerDialog(prompt, several, "tvwPriority", kSelectPriority, parent)
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
    if (choiceForTests())
        return choiceForTests()();
    dlgPriority dialog(session, prompt, several, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

void dlgPriority::setChoiceForTests(std::function<std::optional<QStringList>()> choice)
{
    choiceForTests() = std::move(choice);
}

} // namespace bx
