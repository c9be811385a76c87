#include "tasks/ui/dlgCategories.h"

#include "core/ui/RunCommand.h"
#include "tasks/Pickers.h"

#include <QTreeWidget>

namespace bx {

dlgCategories::dlgCategories(Session& session, Prompt& prompt, bool several, QWidget* parent,
                             const QString& current)
    : PickerOf(prompt, several, "tvwCategories", QStringLiteral("Please select a Folder."), parent)
{
    setObjectName(QStringLiteral("dlgCategories"));
    setWindowTitle(QStringLiteral("Select Folder"));
    QTreeWidget* const folders = tree();
    folders->setHeaderLabels({QStringLiteral("Folder")});

    // The tree comes parents first, so the open path is the last item of each level above.
    QList<QTreeWidgetItem*> path;
    const QString wanted = current.trimmed();
    QList<CategoryNode> rows;
    runCommand(session, prompt, [&] { rows = folderChoices(session, prompt); });
    for (const CategoryNode& node : std::as_const(rows)) {
        path.resize(std::min<qsizetype>(node.level, path.size()));
        auto* item = path.isEmpty() ? new QTreeWidgetItem(folders, {node.name})
                                    : new QTreeWidgetItem(path.last(), {node.name});
        path.append(item);
        const bool isCurrent =
            !wanted.isEmpty() && node.name.compare(wanted, Qt::CaseInsensitive) == 0;
        if (several)
            item->setCheckState(0, isCurrent ? Qt::Checked : Qt::Unchecked);
        if (isCurrent)
            folders->setCurrentItem(item);
    }
    folders->expandAll();
}

std::optional<QStringList> dlgCategories::choose(Session& session, Prompt& prompt, bool several,
                                                 QWidget* parent, const QString& current)
{
    return showModal(session, prompt, several, parent, current);
}

} // namespace bx
