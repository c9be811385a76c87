#include "messaging/ui/dlgMailError.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

dlgMailError::dlgMailError(QWidget* parent)
    : QDialog(parent)
    , m_text(new QLabel)
{
    setObjectName(QStringLiteral("dlgMailError"));
    setWindowTitle(QStringLiteral("E-mail Error"));
    m_text->setObjectName(QStringLiteral("lblError"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
    m_text->setMinimumWidth(420);
}

void dlgMailError::setError(const QString& error)
{
    m_text->setText(QStringLiteral("An e-mail error has occurred: ") + error +
                    QStringLiteral(" Notification may not have been sent."));
    // The wrapped text decides the height: the whole of it shows.
    adjustSize();
}

QString dlgMailError::text() const
{
    return m_text->text();
}

dlgMailError* dlgMailError::showError(QWidget* parent, const QString& error)
{
    auto* dialog = parent != nullptr
                       ? parent->findChild<dlgMailError*>(QString(), Qt::FindDirectChildrenOnly)
                       : nullptr;
    if (dialog == nullptr) {
        dialog = new dlgMailError(parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    dialog->setError(error);
    dialog->show();
    dialog->raise();
    return dialog;
}

} // namespace bx
