#include "dbadmin/ui/frmWizard.h"

#include "core/Prompt.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/Named.h"
#include "dbadmin/DatabaseCreator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace bx {

frmWizard::frmWizard(SettingsStore& settings, Prompt& prompt, const Clock& clock,
                     const ErrorLog& log, const QString& programDir, bool creationMode,
                     QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_prompt(prompt)
    , m_creator(std::make_unique<DatabaseCreator>(settings, prompt, clock, log, programDir))
    , m_creationMode(creationMode)
    , m_fraStep(named(new QStackedWidget(this), "fraStep"))
{
    setObjectName(QStringLiteral("frmWizard"));
    setWindowTitle(QStringLiteral("Brindlepax Database Wizard"));
    m_fraStep->addWidget(buildEnginePage());
    m_fraStep->addWidget(buildActionPage());
    m_fraStep->addWidget(buildFilePage());
    m_fraStep->addWidget(buildServerPage());
    m_fraStep->addWidget(buildDonePage());

    auto* buttons = new QHBoxLayout;
    const char* captions[] = {"< &Back", "&Next >", "&Finish", "Cancel"};
    for (int i = 0; i < 4; ++i) {
        m_nav[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        m_nav[i]->setObjectName(QStringLiteral("cmdNav(%1)").arg(i));
        m_nav[i]->setAutoDefault(false);
        if (i == 0)
            buttons->addStretch();
        buttons->addWidget(m_nav[i]);
    }
    connect(m_nav[0], &QPushButton::clicked, this, &frmWizard::onBack);
    connect(m_nav[1], &QPushButton::clicked, this, &frmWizard::onNext);
    connect(m_nav[2], &QPushButton::clicked, this, &frmWizard::onFinish);
    connect(m_nav[3], &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fraStep);
    layout->addLayout(buttons);
    resize(560, 380);
    showPage(EnginePage);
}

frmWizard::~frmWizard() = default;

QWidget* frmWizard::buildEnginePage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Where is the Brindlepax database kept?")));
    m_embedded =
        named(new QRadioButton(QStringLiteral("In a database file (embedded)")), "rbDBType(0)");
    m_server = named(new QRadioButton(QStringLiteral("On a database server")), "rbDBType(1)");
    (m_settings.getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag) ? m_server : m_embedded)
        ->setChecked(true);
    layout->addWidget(m_embedded);
    layout->addWidget(m_server);
    layout->addStretch();
    return page;
}

QWidget* frmWizard::buildActionPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_option1 =
        named(new QRadioButton(QStringLiteral("Create a new Brindlepax database")), "Option1");
    m_option2 = named(new QRadioButton(QStringLiteral("Select an existing Brindlepax database")),
                      "Option2");
    m_option1->setChecked(true);
    layout->addWidget(m_option1);
    layout->addWidget(m_option2);
    layout->addStretch();
    return page;
}

QWidget* frmWizard::buildFilePage()
{
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    m_fileText = named(new QLabel, "lblFileStep");
    m_fileText->setWordWrap(true);
    layout->addRow(m_fileText);
    m_txtAccessDBName = named(new QLineEdit, "txtAccessDBName");
    layout->addRow(QStringLiteral("File name:"), m_txtAccessDBName);
    m_dir1 = named(new QLineEdit(QDir::homePath()), "Dir1");
    auto* browseDir = named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowseDir");
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(m_dir1);
    dirRow->addWidget(browseDir);
    layout->addRow(QStringLiteral("Folder:"), dirRow);
    m_file1 = named(new QLineEdit, "File1");
    auto* browseFile = named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowseFile");
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file1);
    fileRow->addWidget(browseFile);
    layout->addRow(QStringLiteral("Database file:"), fileRow);
    connect(browseDir, &QPushButton::clicked, this, &frmWizard::browseFolder);
    connect(browseFile, &QPushButton::clicked, this, &frmWizard::browseFile);
    return page;
}

QWidget* frmWizard::buildServerPage()
{
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    m_serverName = named(new QComboBox, "ServerName");
    m_serverName->setEditable(true);
    for (const SettingValue& known : m_settings.values(SettingsKeys::kLastServer))
        m_serverName->addItem(known.name);
    layout->addRow(QStringLiteral("Server (host[:port]):"), m_serverName);
    m_sslMode = named(new QComboBox, "cboSSLMode");
    m_sslMode->addItems(PgConnectParams::sslModes());
    m_sslRootCert = named(new QLineEdit, "txtSSLRootCert");
    m_browseCa = named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowseCA");
    auto* sslRow = new QHBoxLayout;
    sslRow->addWidget(m_sslMode);
    sslRow->addWidget(new QLabel(QStringLiteral("CA file:")));
    sslRow->addWidget(m_sslRootCert, 1);
    sslRow->addWidget(m_browseCa);
    layout->addRow(QStringLiteral("SSL mode:"), sslRow);
    m_sa = named(new QLineEdit(CreationDefaults::kServerAdminLogin), "SA");
    layout->addRow(QStringLiteral("Login:"), m_sa);
    m_sapwd = named(new QLineEdit, "SAPWD");
    m_sapwd->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Password:"), m_sapwd);
    m_check1 = named(new QCheckBox(QStringLiteral("Connect with the shared login")), "Check1");
    layout->addRow(m_check1);
    m_txtDB = named(new QLineEdit(SettingsKeys::kDefaultSqlDbName), "txtDB");
    layout->addRow(QStringLiteral("New database name:"), m_txtDB);
    m_comboDB = named(new QComboBox, "ComboDB");
    m_comboDB->setEditable(true);
    m_comboDB->addItem(m_settings.get(SettingsKeys::kSql, SettingsKeys::kSqlDbName,
                                      SettingsKeys::kDefaultSqlDbName));
    layout->addRow(QStringLiteral("Database:"), m_comboDB);
    m_check4 = named(new QCheckBox(QStringLiteral("Connect every client with one shared login")),
                     "Check4");
    layout->addRow(m_check4);
    m_txtSelLogin = named(new QLineEdit, "txtSelLogin");
    layout->addRow(QStringLiteral("Shared login:"), m_txtSelLogin);
    m_txtSelPwd = named(new QLineEdit, "txtSelPwd");
    m_txtSelPwd->setEchoMode(QLineEdit::Password);
    layout->addRow(QStringLiteral("Shared password:"), m_txtSelPwd);
    connect(m_check1, &QCheckBox::toggled, this, &frmWizard::onSharedLoginForNew);
    connect(m_serverName, &QComboBox::currentTextChanged, this, &frmWizard::showRememberedSsl);
    connect(m_sslMode, &QComboBox::currentTextChanged, this, &frmWizard::onSslModeChanged);
    connect(m_browseCa, &QPushButton::clicked, this, &frmWizard::browseCaFile);
    showRememberedSsl();
    return page;
}

QWidget* frmWizard::buildDonePage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_doneText = named(new QLabel, "lblDone");
    m_doneText->setWordWrap(true);
    layout->addWidget(m_doneText);
    layout->addStretch();
    return page;
}

bool frmWizard::server() const
{
    return m_server->isChecked();
}

bool frmWizard::creating() const
{
    return m_option1->isChecked();
}

void frmWizard::showPage(int page)
{
    m_fraStep->setCurrentIndex(page);
    if (page == FilePage) {
        const bool create = creating();
        m_fileText->setText(
            create ? QStringLiteral(
                         "You chose \"Create MS Access Brindlepax Database\". This page will "
                         "allow you to define parameters of new database.")
                   : QStringLiteral(
                         "You chose \"Select Existing MS Access Brindlepax Database\". This "
                         "page will help you to find the database."));
        if (create && m_txtAccessDBName->text().isEmpty())
            m_txtAccessDBName->setText(QStringLiteral("pax.mdb"));
        m_txtAccessDBName->setEnabled(create);
        m_dir1->setEnabled(create);
        m_file1->setEnabled(!create);
    }
    if (page == ServerPage) {
        const bool create = creating();
        m_check1->setEnabled(create);
        m_txtDB->setEnabled(create);
        m_comboDB->setEnabled(!create);
        m_check4->setEnabled(!create);
        m_txtSelLogin->setEnabled(!create);
        m_txtSelPwd->setEnabled(!create);
    }
    const bool last =
        (page == FilePage && creating()) || (page == ServerPage && creating()) || page == DonePage;
    m_nav[0]->setEnabled(page != EnginePage);
    m_nav[1]->setEnabled(!last);
    m_nav[2]->setEnabled(last);
}

void frmWizard::onBack()
{
    const int page = m_fraStep->currentIndex();
    if (page == DonePage)
        showPage(server() ? ServerPage : FilePage);
    else if (page == FilePage || page == ServerPage)
        showPage(ActionPage);
    else if (page == ActionPage)
        showPage(EnginePage);
}

void frmWizard::onNext()
{
    switch (m_fraStep->currentIndex()) {
    case EnginePage:
        showPage(ActionPage);
        return;
    case ActionPage:
        showPage(server() ? ServerPage : FilePage);
        return;
    case FilePage:
        if (creating()) {
            if (m_txtAccessDBName->text().trimmed().isEmpty()) {
                m_prompt.inform(QStringLiteral("Please define new database file name."));
                m_txtAccessDBName->setFocus();
            }
            return;
        }
        if (m_file1->text().trimmed().isEmpty()) {
            m_prompt.inform(QStringLiteral("Please select existing file."));
            m_file1->setFocus();
            return;
        }
        break;
    case ServerPage:
        if (m_serverName->currentText().trimmed().isEmpty()) {
            m_prompt.inform(QStringLiteral("Please specify SQL Server Name "));
            m_serverName->setFocus();
            return;
        }
        if (m_sa->text().trimmed().isEmpty()) {
            m_prompt.inform(QStringLiteral("Please specify Login "));
            m_sa->setFocus();
            return;
        }
        if (creating())
            return;
        break;
    default:
        return;
    }
    m_doneText->setText(QStringLiteral("You selected Brindlepax database. Please click button "
                                       "'Finish' to start working with it."));
    showPage(DonePage);
}

void frmWizard::onFinish()
{
    if (!server()) {
        if (creating()) {
            if (m_txtAccessDBName->text().trimmed().isEmpty()) {
                m_prompt.inform(QStringLiteral("Please define new database file name."));
                return;
            }
            const QString path =
                QDir(m_dir1->text().trimmed()).filePath(m_txtAccessDBName->text().trimmed());
            if (!m_creator->createEmbedded(path))
                return;
            m_launchAdmin =
                m_prompt.ask(QStringLiteral("Your database has been configured with the "
                                            "user='admin' (no password).  You may run the Admin "
                                            "utility to set up additional users, tables and system "
                                            "settings.  Would you like to launch the Admin program "
                                            "now? "),
                             {}, PromptButtons::YesNo, PromptIcon::Question) == PromptAnswer::Yes;
        } else if (!m_creator->selectEmbedded(m_file1->text().trimmed())) {
            return;
        }
        accept();
        return;
    }

    if (creating()) {
        ServerCreation request;
        request.server = m_serverName->currentText().trimmed();
        request.adminLogin = m_sa->text().trimmed();
        request.adminPassword = m_sapwd->text();
        request.database = m_txtDB->text().trimmed();
        request.creating = m_creationMode;
        request.sslMode = m_sslMode->currentText();
        request.sslRootCert = m_sslRootCert->text().trimmed();
        if (m_check1->isChecked()) {
            request.sharedLogin = m_sa->text().trimmed();
            request.sharedPassword = m_sapwd->text();
        }
        if (!m_creator->createServer(request))
            return;
    } else {
        ServerSelection selection;
        selection.server = m_serverName->currentText();
        selection.login = m_sa->text().trimmed();
        selection.password = m_sapwd->text();
        selection.database = m_comboDB->currentText().trimmed();
        selection.shared = m_check4->isChecked();
        selection.sharedLogin = m_txtSelLogin->text();
        selection.sharedPassword = m_txtSelPwd->text();
        selection.sslMode = m_sslMode->currentText();
        selection.sslRootCert = m_sslRootCert->text().trimmed();
        if (!m_creator->selectServer(selection))
            return;
    }
    accept();
}

void frmWizard::onSharedLoginForNew(bool on)
{
    if (on) {
        m_sa->setText(m_settings.get(SettingsKeys::kSql, SettingsKeys::kUnsecureLogin,
                                     QStringLiteral("brindlepaxSQL")));
        m_sapwd->setText(m_settings.get(SettingsKeys::kSql, SettingsKeys::kUnsecurePwd,
                                        CreationDefaults::kSharedPassword));
    } else {
        m_sa->setText(CreationDefaults::kServerAdminLogin);
        m_sapwd->clear();
    }
}

void frmWizard::showRememberedSsl()
{
    PgConnectParams remembered;
    DatabaseOpener::applyServerSsl(m_settings, m_serverName->currentText(), remembered);
    const int mode = m_sslMode->findText(remembered.sslMode);
    m_sslMode->setCurrentIndex(mode < 0 ? 0 : mode);
    m_sslRootCert->setText(remembered.sslRootCert);
    onSslModeChanged();
}

void frmWizard::onSslModeChanged()
{
    const bool verify = m_sslMode->currentText() == PgConnectParams::kSslVerifyFull;
    m_sslRootCert->setEnabled(verify);
    m_browseCa->setEnabled(verify);
}

void frmWizard::browseCaFile()
{
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("CA file"), m_sslRootCert->text(),
        QStringLiteral("Certificates (*.pem *.crt *.cer);;All files (*)"));
    if (!file.isEmpty())
        m_sslRootCert->setText(file);
}

void frmWizard::browseFolder()
{
    const QString dir =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Folder"), m_dir1->text());
    if (!dir.isEmpty())
        m_dir1->setText(dir);
}

void frmWizard::browseFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Brindlepax database"), m_dir1->text());
    if (!file.isEmpty())
        m_file1->setText(file);
}

} // namespace bx
