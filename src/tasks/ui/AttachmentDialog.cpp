#include "tasks/ui/AttachmentDialog.h"

#include "core/Gmt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

AttachmentDialog::AttachmentDialog(Session& session, Prompt& prompt, const char* name,
                                   QWidget* parent)
    : SessionDialog(session, prompt, name, {}, parent)
{
    m_title = named(new QLineEdit, "txtTitle");
    m_publish = named(new QCheckBox(QStringLiteral("Publish this attachment?")), "chkPublish");
}

void AttachmentDialog::setFrame(QLayout* rows, QWidget* body, QToolBar* tools)
{
    auto* layout = new QVBoxLayout(this);
    if (tools)
        layout->setMenuBar(tools);
    layout->addLayout(rows);
    if (body)
        layout->addWidget(body, 1);
    layout->addWidget(m_publish);
    if (!body)
        layout->addStretch(1);
    layout->addWidget(okCancelButtons(this, [this] { onOk(); }));
}

void AttachmentDialog::handBack(PendingAttachment attachment)
{
    attachment.owner = m_session.user.userId;
    attachment.date = GmtConverter(m_session.clock()).nowGmt();
    attachment.publish = m_publish->isChecked();
    m_pending = std::move(attachment);
    accept();
}

void AttachmentDialog::hidePublish()
{
    m_publish->hide();
}

} // namespace bx
