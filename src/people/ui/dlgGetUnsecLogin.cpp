#include "people/ui/dlgGetUnsecLogin.h"

#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/DialogButtons.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace bx {

dlgGetUnsecLogin::dlgGetUnsecLogin(SettingsStore& settings, QString server, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_server(std::move(server))
    , m_database(new QLineEdit)
    , m_login(new QLineEdit)
    , m_password(new QLineEdit)
{
    setObjectName(QStringLiteral("dlgGetUnsecLogin"));
    setWindowTitle(QStringLiteral("Shared Server Login"));
    m_database->setObjectName(QStringLiteral("txtDBName"));
    m_login->setObjectName(QStringLiteral("txtLogin"));
    m_password->setObjectName(QStringLiteral("txtPwd"));
    m_password->setEchoMode(QLineEdit::Password);
    const QString database = m_settings.get(SettingsKeys::kSql, SettingsKeys::kSqlDbName,
                                            SettingsKeys::kDefaultSqlDbName);
    const QString section = SettingsKeys::serverSection(m_server, database);
    m_database->setText(database);
    m_login->setText(m_settings.get(section, SettingsKeys::kUnsecureLogin));
    m_password->setText(m_settings.get(section, SettingsKeys::kUnsecurePwd));
    auto* buttons = okCancelButtons(this, &dlgGetUnsecLogin::onOk, {"OKButton", nullptr});
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Database:"), m_database);
    form->addRow(QStringLiteral("Shared SQL login:"), m_login);
    form->addRow(QStringLiteral("Shared SQL password:"), m_password);
    form->addRow(buttons);
    // Room for names longer than a line edit's small default.
    resize(380, sizeHint().height());
}

void dlgGetUnsecLogin::onOk()
{
    const QString database = m_database->text().trimmed();
    const QString section = SettingsKeys::serverSection(m_server, database);
    m_settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, database);
    m_settings.set(section, SettingsKeys::kUnsecureLogin, m_login->text().trimmed());
    m_settings.set(section, SettingsKeys::kUnsecurePwd, m_password->text());
    accept();
}

} // namespace bx
