#pragma once

#include "core/ui/SessionDialog.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace bx {

class Prompt;
class Session;

/**
 * The login window: shows the remembered database, takes a user ID and password, and logs on
 * (LOGIN_Click). Also the entries to the database wizard ("Setup..."), a one-step embedded
 * database ("Quick Start"), the upgrade window for the administrators ("Upgrade...") and the
 * change of password. Emits loggedOn() after a successful log-on and closes itself.
 */
class LOGIN_FORM : public SessionDialog
{
    Q_OBJECT
public:
    LOGIN_FORM(Session& session, Prompt& prompt, QString programDir, QWidget* parent = nullptr);
    ~LOGIN_FORM() override;

    /** Shows or hides the window's Cancel button. */
    void setButtonVisible(bool visible);

    /** The log-on of the OK button, Enter and the command line. */
    void LOGIN_Click();

    /** Shows the remembered database of the session's engine (and enables what needs one). */
    void showRememberedDatabase();

    /** Whether the window is in its upgrade state (the database is older than the program). */
    bool inUpgradeState() const;

    /** Turns the automatic logon at activation off (the command-line log-on fills the boxes). */
    void setActivationLogon(bool on) { m_activationLogon = on; }

signals:
    void loggedOn();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setUpgradeState(bool on);
    void onAutoLogonClicked(bool checked);
    void onUpgrade();
    void onSetup();
    void onQuickStart();
    void onSetPassword();
    void onSharedLogin();
    void onAbout();
    void logOnAsNewAdministrator();
    /** The log-on checks of "Upgrade..." and "Set Password"; false when refused or failed (shown).
     */
    bool openAndValidate();

    QString m_programDir;
    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QLabel* m_lblDB;
    QLabel* m_lblDBHidden;
    QCheckBox* m_chkAutoLogon;
    QPushButton* m_command1;
    QPushButton* m_command2;
    QPushButton* m_command3;
    QPushButton* m_command4;
    QPushButton* m_command6;
    QLabel* m_upgradePanel;
    QAction* m_login;
    QAction* m_sharedLogin;
    bool m_activated = false;
    bool m_activationLogon = true;
};

} // namespace bx
