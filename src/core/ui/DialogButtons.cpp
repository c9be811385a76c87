#include "core/ui/DialogButtons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

namespace bx {

QDialogButtonBox* okCancelButtons(QDialog* dialog, std::function<void()> onOk, ButtonNames names)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    if (names.ok)
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QString::fromLatin1(names.ok));
    if (names.cancel)
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QString::fromLatin1(names.cancel));
    if (onOk)
        QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, std::move(onOk));
    else
        QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace bx
