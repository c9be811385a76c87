#pragma once

#include <QDialog>

class QLineEdit;

namespace bx {

class SettingsStore;

/**
 * The shared server login of one server database: its name, login and password as the settings
 * hold them ("SQL"/"SQLDBName", and "UnsecureLogin"/"UnsecurePwd" of "SQL\<server>\DB\<db>").
 * OK stores the three; Cancel stores nothing.
 */
class dlgGetUnsecLogin : public QDialog
{
    Q_OBJECT
public:
    dlgGetUnsecLogin(SettingsStore& settings, QString server, QWidget* parent = nullptr);

private:
    void onOk();

    SettingsStore& m_settings;
    QString m_server;
    QLineEdit* m_database;
    QLineEdit* m_login;
    QLineEdit* m_password;
};

} // namespace bx
