#include "tasks/ui/PickerDialog.h"

#include "core/Prompt.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "tasks/Pickers.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace bx {

PickerDialog::PickerDialog(Prompt& prompt, bool several, const char* treeName,
                           const QString& missing, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_several(several)
    , m_missing(missing)
    , m_tree(named(new QTreeWidget, treeName))
{
    auto* buttons = okCancelButtons(this, &PickerDialog::confirm);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);
    if (!m_several)
        connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &PickerDialog::confirm);
}

bool PickerDialog::confirm()
{
    // Nothing picked: the picker says what is missing and stays open.
    const QStringList picked = selection();
    if (picked.isEmpty()) {
        m_prompt.inform(m_missing);
        return false;
    }
    m_chosen = picked;
    accept();
    return true;
}

QStringList PickerDialog::selection() const
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
