#include "tasks/ui/dlgCategories.h"

#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "tasks/Pickers.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace bx {

namespace {

std::function<std::optional<QStringList>()>& choiceForTests()
{
    static std::function<std::optional<QStringList>()> choice;
    return choice;
}

} // namespace

dlgCategories::dlgCategories(Session& session, Prompt& prompt, bool several, QWidget* parent,
                             const QString& current)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_several(several)
    , m_tree(named(new QTreeWidget, "tvwCategories"))
{
    setObjectName(QStringLiteral("dlgCategories"));
    setWindowTitle(QStringLiteral("Select Folder"));
    m_tree->setHeaderLabels({QStringLiteral("Folder")});
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);

    // The tree comes parents first, so the open path is the last item of each level above.
    QList<QTreeWidgetItem*> path;
    const QString wanted = current.trimmed();
    QList<CategoryNode> folders;
    runCommand(session, prompt, [&] { folders = folderChoices(session, prompt); });
    for (const CategoryNode& node : std::as_const(folders)) {
        path.resize(std::min<qsizetype>(node.level, path.size()));
        auto* item = path.isEmpty() ? new QTreeWidgetItem(m_tree, {node.name})
                                    : new QTreeWidgetItem(path.last(), {node.name});
        path.append(item);
        const bool isCurrent =
            !wanted.isEmpty() && node.name.compare(wanted, Qt::CaseInsensitive) == 0;
        if (m_several)
            item->setCheckState(0, isCurrent ? Qt::Checked : Qt::Unchecked);
        if (isCurrent)
            m_tree->setCurrentItem(item);
    }
    m_tree->expandAll();

    connect(buttons, &QDialogButtonBox::accepted, this, &dlgCategories::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!m_several)
        connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &dlgCategories::confirm);
}

std::optional<QStringList> dlgCategories::choose(Session& session, Prompt& prompt, bool several,
                                                 QWidget* parent, const QString& current)
{
    if (choiceForTests())
        return choiceForTests()();
    dlgCategories dialog(session, prompt, several, parent, current);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

void dlgCategories::setChoiceForTests(std::function<std::optional<QStringList>()> choice)
{
    choiceForTests() = std::move(choice);
}

bool dlgCategories::confirm()
{
    const std::optional<QStringList> pick = acceptPick(m_prompt, selection(), kSelectFolder);
    if (!pick)
        return false;
    m_chosen = *pick;
    accept();
    return true;
}

QStringList dlgCategories::selection() const
{
    QStringList out;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        const QTreeWidgetItem* item = *it;
        if (m_several ? item->checkState(0) == Qt::Checked : item->isSelected())
            out << item->text(0);
    }
    return out;
}

} // namespace bx
