#include "tasks/ui/dlgAttachLink.h"

#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/AttachmentView.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace bx {

dlgAttachLink::dlgAttachLink(Session& session, Prompt& prompt, AttachmentType type, QWidget* parent)
    : AttachmentDialog(session, prompt,
                       type == AttachmentType::Shortcut ? "dlgShortcut" : "dlgWebPage", parent)
    , m_type(type == AttachmentType::Shortcut ? type : AttachmentType::WebPage)
    , m_address(named(new QLineEdit, "txtAddress"))
{
    const bool shortcut = m_type == AttachmentType::Shortcut;
    setWindowTitle(shortcut ? QStringLiteral("Add File Shortcut") : QStringLiteral("Add Web Page"));
    m_chooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Add File Shortcut"));
    };

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Title:")), 0, 0);
    grid->addWidget(m_title, 0, 1, 1, 2);
    grid->addWidget(new QLabel(shortcut ? QStringLiteral("Path:") : QStringLiteral("Address:")), 1,
                    0);
    grid->addWidget(m_address, 1, 1);
    if (shortcut) {
        auto* browse = named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowse");
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString path = m_chooseFile ? m_chooseFile() : QString();
            if (!path.isEmpty())
                m_address->setText(path);
        });
        grid->addWidget(browse, 1, 2);
    } else {
        m_address->setPlaceholderText(QStringLiteral("https://"));
    }
    grid->setColumnStretch(1, 1);
    setFrame(grid);
    resize(520, 180);
}

void dlgAttachLink::onOk()
{
    const QString title = m_title->text();
    const QString address = m_address->text().trimmed();
    const auto refused = m_type == AttachmentType::Shortcut
                             ? attachments::checkShortcut(title, address)
                             : attachments::checkWebPage(title, address);
    if (showRefusal(m_prompt, refused, [this](attachments::AddField field) -> QWidget* {
            return field == attachments::AddField::Title ? m_title : m_address;
        }))
        return;
    PendingAttachment p;
    p.type = m_type;
    p.title = title;
    p.fileName = address;
    handBack(p);
}

} // namespace bx
