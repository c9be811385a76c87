#include "messaging/ui/dlgMailSetup.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/settings/PersonalMailSettings.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

dlgMailSetup::dlgMailSetup(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "dlgMailSetup", QStringLiteral("Mail Settings"), parent)
    , m_own(named(new QCheckBox(QStringLiteral("Use my own mail settings")), "chkMySetting"))
    , m_smtp(named(new QLineEdit, "txtSMTPServer"))
    , m_pop(named(new QLineEdit, "txtPOPServer"))
    , m_auth(named(new QCheckBox(QStringLiteral("Authenticate?")), "chkAuth"))
    , m_leave(named(new QCheckBox(QStringLiteral("Leave on Server?")), "chkLeave"))
    , m_user(named(new QLineEdit, "txtUser"))
    , m_password(named(new QLineEdit, "txtPassword"))
{
    m_password->setEchoMode(QLineEdit::Password);

    auto* note =
        new QLabel(QStringLiteral("When unticked, the mail settings of the system are used."));
    note->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(m_own);
    form->addRow(note);
    form->addRow(QStringLiteral("SMTP Server name:"), m_smtp);
    form->addRow(QStringLiteral("POP Server name:"), m_pop);
    form->addRow(QString(), m_auth);
    form->addRow(QString(), m_leave);
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);

    auto* buttons = okCancelButtons(this, &dlgMailSetup::onOk);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addWidget(buttons);

    const PersonalMailSettings stored = PersonalMailSettings::load(session.settings());
    m_own->setChecked(stored.own);
    m_smtp->setText(stored.smtpServer);
    m_pop->setText(stored.popServer);
    m_auth->setChecked(stored.smtpAuth);
    m_leave->setChecked(stored.smtpLeave);
    m_user->setText(stored.user);
    m_password->setText(stored.password);
    connect(m_own, &QCheckBox::toggled, this, &dlgMailSetup::applyOwn);
    applyOwn(stored.own);
    resize(420, sizeHint().height());
}

void dlgMailSetup::applyOwn(bool own)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_smtp, m_pop, m_auth, m_leave, m_user, m_password})
        w->setEnabled(own);
}

void dlgMailSetup::onOk()
{
    PersonalMailSettings in;
    in.own = m_own->isChecked();
    in.smtpServer = m_smtp->text();
    in.popServer = m_pop->text();
    in.smtpAuth = m_auth->isChecked();
    in.smtpLeave = m_leave->isChecked();
    in.user = m_user->text();
    in.password = m_password->text();
    if (showRefusal(m_prompt, in.save(m_session.settings()),
                    [this](NoField) { return m_password; }))
        return;
    accept();
}

} // namespace bx
