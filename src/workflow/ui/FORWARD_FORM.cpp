#include "workflow/ui/FORWARD_FORM.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/StoredText.h"
#include "people/ui/dlgChooseUser.h"
#include "people/workshops/WorkshopStore.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace bx {

FORWARD_FORM::FORWARD_FORM(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "FORWARD_FORM", QStringLiteral("Forward"), parent)
    , m_recipient(named(new QLineEdit, "T_RECIPIENT"))
    , m_note(named(withStoredTextDocument(new QTextEdit), "T_NOTE"))
{
    m_recipient->setReadOnly(true);
    m_note->setAcceptRichText(false);
    auto* choose = named(new QPushButton(QStringLiteral("...")), "cmdChoose");
    auto* buttons = okCancelButtons(this, &FORWARD_FORM::onOk);

    auto* recipientLine = new QHBoxLayout;
    recipientLine->addWidget(m_recipient, 1);
    recipientLine->addWidget(choose);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Recipient:"), recipientLine);
    form->addRow(QStringLiteral("Note:"), m_note);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(choose, &QPushButton::clicked, this, &FORWARD_FORM::onChoose);
}

void FORWARD_FORM::setRecipients(const QList<cSelUser>& recipients)
{
    m_recipients = recipients;
    QStringList parts;
    try {
        for (const cSelUser& r : recipients) {
            switch (r.OwnerType) {
            case OwnerType::Workshop:
                parts << QStringLiteral("Workshop: ") + GroupName(m_session.db(), r.Group_id);
                break;
            case OwnerType::Lifecycle:
                parts << QStringLiteral("Lifecycle: ") + r.User_ID;
                break;
            default:
                parts << r.User_ID;
                break;
            }
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    m_recipient->setText(parts.join(QStringLiteral("; ")));
}

QString FORWARD_FORM::note() const
{
    return m_note->toPlainText();
}

void FORWARD_FORM::onChoose()
{
    dlgChooseUser chooser(m_session, m_prompt, this);
    if (chooser.exec() == QDialog::Accepted)
        setRecipients(chooser.recipients());
}

void FORWARD_FORM::onOk()
{
    if (m_recipients.isEmpty()) {
        m_prompt.inform(QStringLiteral("Please specify a recipient"));
        return;
    }
    accept();
}

} // namespace bx
