#include "tasks/ui/dlgPriority.h"

#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "tasks/Pickers.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

std::function<std::optional<QStringList>()>& choiceForTests()
{
    static std::function<std::optional<QStringList>()> choice;
    return choice;
}

} // namespace

dlgPriority::dlgPriority(Session& session, Prompt& prompt, bool several, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_several(several)
    , m_tree(named(new QTreeWidget, "tvwPriority"))
{
    setObjectName(QStringLiteral("dlgPriority"));
    setWindowTitle(QStringLiteral("Select Priority"));
    m_tree->setHeaderLabels({QStringLiteral("Priority")});
    m_tree->setRootIsDecorated(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);

    QStringList priorities;
    runCommand(session, prompt, [&] { priorities = priorityChoices(session, prompt); });
    for (const QString& priority : std::as_const(priorities)) {
        auto* item = new QTreeWidgetItem(m_tree, {priority});
        if (m_several)
            item->setCheckState(0, Qt::Unchecked);
    }

    connect(buttons, &QDialogButtonBox::accepted, this, &dlgPriority::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!m_several)
        connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &dlgPriority::confirm);
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

bool dlgPriority::confirm()
{
    const std::optional<QStringList> pick = acceptPick(m_prompt, selection(), kSelectPriority);
    if (!pick)
        return false;
    m_chosen = *pick;
    accept();
    return true;
}

QStringList dlgPriority::selection() const
{
    QStringList out;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_tree->topLevelItem(i);
        if (m_several ? item->checkState(0) == Qt::Checked : item->isSelected())
            out << item->text(0);
    }
    return out;
}

} // namespace bx
