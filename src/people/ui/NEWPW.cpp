#include "people/ui/NEWPW.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "people/PasswordChange.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace bx {

NEWPW::NEWPW(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "NEWPW", QStringLiteral("Set Password"), parent)
    , m_new(new QLineEdit)
    , m_retyped(new QLineEdit)
{
    m_new->setObjectName(QStringLiteral("txtNewPassword"));
    m_retyped->setObjectName(QStringLiteral("txtRetype"));
    m_new->setEchoMode(QLineEdit::Password);
    m_retyped->setEchoMode(QLineEdit::Password);
    auto* buttons = okCancelButtons(this, &NEWPW::onOk, {"OKButton", nullptr});
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("New password:"), m_new);
    form->addRow(QStringLiteral("Retype new password:"), m_retyped);
    form->addRow(buttons);
    // Room for a password longer than a line edit's small default.
    resize(360, sizeHint().height());
}

void NEWPW::onOk()
{
    try {
        if (const auto refusal = changePassword(m_session, m_new->text(), m_retyped->text())) {
            m_prompt.inform(*refusal);
            m_new->setFocus();
            return;
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return;
    }
    accept();
}

} // namespace bx
