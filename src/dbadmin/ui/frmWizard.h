#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace bx {

class Clock;
class DatabaseCreator;
class ErrorLog;
class Prompt;
class SettingsStore;

/**
 * The database wizard: choose the engine, then create a new database or select an existing one;
 * the choice is stored in the settings so that the client opens it from then on.
 *
 * Pages (fraStep): engine (rbDBType), create or select (Option1 / Option2), the details of the
 * chosen way, and a last page that confirms an existing database. Buttons cmdNav(0) Back,
 * cmdNav(1) Next, cmdNav(2) Finish, cmdNav(3) Cancel.
 */
class frmWizard : public QDialog
{
    Q_OBJECT
public:
    /**
     * @param creationMode on the server engine, "create" makes a new database (true) or prepares
     *                     an existing empty one (false)
     */
    frmWizard(SettingsStore& settings, Prompt& prompt, const Clock& clock, const ErrorLog& log,
              const QString& programDir, bool creationMode = true, QWidget* parent = nullptr);
    ~frmWizard() override;

    /** After a new embedded database: whether the user asked to set it up at once. */
    bool launchAdmin() const { return m_launchAdmin; }

private:
    enum Page
    {
        EnginePage,
        ActionPage,
        FilePage,
        ServerPage,
        DonePage
    };

    bool server() const;
    bool creating() const;
    void showPage(int page);
    void onBack();
    void onNext();
    void onFinish();
    void onSharedLoginForNew(bool on);
    void browseFolder();
    void browseFile();
    void browseCaFile();
    /** Shows the SSL mode and CA file remembered for the server name now in ServerName. */
    void showRememberedSsl();
    /** The CA file is wanted with verify-full alone. */
    void onSslModeChanged();
    QWidget* buildEnginePage();
    QWidget* buildActionPage();
    QWidget* buildFilePage();
    QWidget* buildServerPage();
    QWidget* buildDonePage();

    SettingsStore& m_settings;
    Prompt& m_prompt;
    std::unique_ptr<DatabaseCreator> m_creator;
    bool m_creationMode;
    bool m_launchAdmin = false;

    QStackedWidget* m_fraStep;
    QPushButton* m_nav[4];
    QRadioButton* m_embedded;
    QRadioButton* m_server;
    QRadioButton* m_option1;
    QRadioButton* m_option2;
    QLabel* m_fileText;
    QLineEdit* m_txtAccessDBName;
    QLineEdit* m_dir1;
    QLineEdit* m_file1;
    QComboBox* m_serverName;
    QLineEdit* m_sa;
    QLineEdit* m_sapwd;
    QCheckBox* m_check1;
    QLineEdit* m_txtDB;
    QComboBox* m_comboDB;
    QCheckBox* m_check4;
    QLineEdit* m_txtSelLogin;
    QLineEdit* m_txtSelPwd;
    QComboBox* m_sslMode;
    QLineEdit* m_sslRootCert;
    QPushButton* m_browseCa;
    QLabel* m_doneText;
};

} // namespace bx
