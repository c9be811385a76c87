#include "people/ui/LOGIN_FORM.h"

#include "core/AppPaths.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/HelpContents.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "dbadmin/DatabaseCreator.h"
#include "dbadmin/ui/dlgUpgrade.h"
#include "dbadmin/ui/frmWizard.h"
#include "people/Autostart.h"
#include "people/LoginFlow.h"
#include "people/LoginService.h"
#include "people/RememberedLogon.h"
#include "people/ui/NEWPW.h"
#include "people/ui/dlgGetUnsecLogin.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace bx {

LOGIN_FORM::LOGIN_FORM(Session& session, Prompt& prompt, QString programDir, QWidget* parent)
    : SessionDialog(session, prompt, "LOGIN_FORM", {}, parent)
    , m_programDir(std::move(programDir))
    , m_text1(named(new QLineEdit, "Text1"))
    , m_text2(named(new QLineEdit, "Text2"))
    , m_lblDB(named(plainLabel(), "lblDB"))
    , m_lblDBHidden(named(plainLabel({}, this), "lblDBHidden"))
    , m_chkAutoLogon(named(new QCheckBox(QStringLiteral("Auto Login")), "chkAutoLogon"))
    , m_command1(named(new QPushButton(QStringLiteral("OK")), "Command1"))
    , m_command2(named(new QPushButton(QStringLiteral("Cancel")), "Command2"))
    , m_command3(named(new QPushButton(QStringLiteral("Upgrade...")), "Command3"))
    , m_command4(named(new QPushButton(QStringLiteral("Setup...")), "Command4"))
    , m_command6(named(new QPushButton(QStringLiteral("Quick Start")), "Command6"))
    , m_upgradePanel(
          named(new QLabel(QStringLiteral("Your database must be upgraded. Please contact the "
                                          "Brindlepax Admistrator.")),
                "pnlUpgrade"))
{
    setWindowTitle(m_session.company.name + QStringLiteral(" Login"));
    m_text2->setEchoMode(QLineEdit::Password);
    m_lblDBHidden->hide();
    m_upgradePanel->setWordWrap(true);
    m_upgradePanel->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    m_upgradePanel->hide();
    m_command1->setDefault(true);

    auto* menus = new QMenuBar(this);
    QMenu* file = menus->addMenu(QStringLiteral("&File"));
    m_login = file->addAction(QStringLiteral("&Login"));
    m_login->setObjectName(QStringLiteral("LOGIN"));
    QAction* password = file->addAction(QStringLiteral("Set &Password"));
    password->setObjectName(QStringLiteral("PASSWORD"));
    m_sharedLogin = file->addAction(QStringLiteral("Shared &Server Login..."));
    m_sharedLogin->setObjectName(QStringLiteral("mnuSharedLogin"));
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("EXIT"));
    QMenu* help = menus->addMenu(QStringLiteral("&Help"));
    QAction* contents = help->addAction(QStringLiteral("&Contents"));
    contents->setObjectName(QStringLiteral("CONTENTS"));
    QAction* about = help->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("ABOUT"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("User ID:"), m_text1);
    form->addRow(QStringLiteral("Password:"), m_text2);
    form->addRow(QStringLiteral("Database:"), m_lblDB);
    form->addRow(m_chkAutoLogon);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_command1, m_command6, m_command4, m_command3, m_command2}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addLayout(form);
    layout->addWidget(m_upgradePanel);
    layout->addLayout(buttons);

    connect(m_command1, &QPushButton::clicked, this, &LOGIN_FORM::LOGIN_Click);
    connect(m_login, &QAction::triggered, this, &LOGIN_FORM::LOGIN_Click);
    connect(m_command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(exit, &QAction::triggered, this, &QDialog::reject);
    connect(m_command3, &QPushButton::clicked, this, &LOGIN_FORM::onUpgrade);
    connect(m_command4, &QPushButton::clicked, this, &LOGIN_FORM::onSetup);
    connect(m_command6, &QPushButton::clicked, this, &LOGIN_FORM::onQuickStart);
    connect(password, &QAction::triggered, this, &LOGIN_FORM::onSetPassword);
    connect(m_sharedLogin, &QAction::triggered, this, &LOGIN_FORM::onSharedLogin);
    makeHelpContents(contents, m_prompt, m_programDir);
    connect(about, &QAction::triggered, this, &LOGIN_FORM::onAbout);
    connect(m_chkAutoLogon, &QCheckBox::clicked, this, &LOGIN_FORM::onAutoLogonClicked);

    showRememberedDatabase();
}

LOGIN_FORM::~LOGIN_FORM() = default;

void LOGIN_FORM::setButtonVisible(bool visible)
{
    m_command2->setVisible(visible);
}

void LOGIN_FORM::showRememberedDatabase()
{
    const QString location =
        DatabaseOpener::rememberedDatabase(m_session.settings(), m_session.connection.serverFlag);
    m_lblDBHidden->setText(location);
    m_lblDB->setText(fontMetrics().elidedText(location, Qt::ElideMiddle, 320));
    m_lblDB->setToolTip(plainToolTip(location));
    const bool known = !location.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{m_text1, m_text2, m_command1})
        w->setEnabled(known);
    m_login->setEnabled(known);
    m_sharedLogin->setVisible(m_session.connection.serverFlag);
}

bool LOGIN_FORM::inUpgradeState() const
{
    return !m_upgradePanel->isHidden();
}

void LOGIN_FORM::setUpgradeState(bool on)
{
    m_upgradePanel->setVisible(on);
    m_command3->setVisible(true);
}

void LOGIN_FORM::showEvent(QShowEvent* event)
{
    SessionDialog::showEvent(event);
    if (m_activated)
        return;
    m_activated = true;
    m_text1->setFocus();
    m_chkAutoLogon->setChecked(RememberedLogon::isOn(m_session.settings()));
    if (!m_activationLogon || !m_chkAutoLogon->isChecked() || inUpgradeState())
        return;
    const auto remembered = RememberedLogon::load(m_session.settings());
    if (!remembered)
        return;
    m_text1->setText(remembered->userId);
    m_text2->setText(remembered->password);
    if (!m_text1->text().isEmpty())
        QTimer::singleShot(0, this, &LOGIN_FORM::LOGIN_Click);
}

void LOGIN_FORM::LOGIN_Click()
{
    LoginFlow flow(m_session, m_prompt, m_programDir);
    LogOnOutcome outcome = LogOnOutcome::Failed;
    runCommand(m_session, m_prompt, [&] {
        outcome = flow.logOn(m_lblDBHidden->text(), m_text1->text(), m_text2->text(),
                             m_chkAutoLogon->isChecked());
    });
    switch (outcome) {
    case LogOnOutcome::LoggedOn:
        setUpgradeState(false);
        accept();
        emit loggedOn();
        return;
    case LogOnOutcome::NeedsUpgrade:
        setUpgradeState(true);
        return;
    case LogOnOutcome::ProgramOlder:
    case LogOnOutcome::Failed:
        m_text1->setFocus();
        return;
    }
}

void LOGIN_FORM::onAutoLogonClicked(bool checked)
{
    RememberedLogon::setOn(m_session.settings(), checked);
    Autostart::setOn(checked);
}

void LOGIN_FORM::onUpgrade()
{
    if (!openAndValidate())
        return;
    if (!mayUpgrade(m_text1->text())) {
        m_prompt.inform(QStringLiteral(
            "Only users 'ADMIN', 'ADMIN2', and 'ADMIN3' may access the Admin Program"));
        return;
    }
    dlgUpgrade dialog(m_session.db(), m_prompt, {m_programDir, &m_session.clock()}, this);
    dialog.exec();
    if (dialog.upgraded())
        setUpgradeState(false);
}

void LOGIN_FORM::onSetup()
{
    frmWizard wizard(m_session.settings(), m_prompt, m_session.clock(), m_session.errorLog(),
                     m_programDir, true, this);
    if (wizard.exec() != QDialog::Accepted)
        return;
    m_session.connection.serverFlag =
        m_session.settings().getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag);
    showRememberedDatabase();
    setUpgradeState(false);
    if (!m_session.connection.serverFlag)
        logOnAsNewAdministrator();
}

void LOGIN_FORM::onQuickStart()
{
    const QString proposed = QDir(AppPaths::dataDir()).filePath(QStringLiteral("brindlepax.db"));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Quick Start: create or choose a Brindlepax database"), proposed,
        QStringLiteral("Brindlepax databases (*.db *.mdb);;All files (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    DatabaseCreator creator(m_session.settings(), m_prompt, m_session.clock(), m_session.errorLog(),
                            m_programDir);
    const bool exists = QFileInfo::exists(path);
    if (!(exists ? creator.selectEmbedded(path) : creator.createEmbedded(path)))
        return;
    m_session.connection.serverFlag = false;
    showRememberedDatabase();
    setUpgradeState(false);
    if (!exists)
        logOnAsNewAdministrator();
}

void LOGIN_FORM::logOnAsNewAdministrator()
{
    // A new embedded database has its administrator without a password.
    m_text1->setText(QStringLiteral("admin"));
    m_text2->clear();
    LOGIN_Click();
}

void LOGIN_FORM::onSetPassword()
{
    if (m_text1->text().trimmed().isEmpty()) {
        m_prompt.inform(QStringLiteral("Please specify a User ID"));
        m_text1->setFocus();
        return;
    }
    if (!openAndValidate())
        return;
    NEWPW dialog(m_session, m_prompt, this);
    if (dialog.exec() == QDialog::Accepted)
        m_text2->setText(m_session.user.password);
}

bool LOGIN_FORM::openAndValidate()
{
    LoginFlow flow(m_session, m_prompt, m_programDir);
    bool valid = false;
    return runCommand(m_session, m_prompt,
                      [&] {
                          valid = flow.openAndValidate(m_lblDBHidden->text(), m_text1->text(),
                                                       m_text2->text());
                      }) &&
           valid;
}

void LOGIN_FORM::onSharedLogin()
{
    dlgGetUnsecLogin dialog(m_session.settings(), m_lblDBHidden->text(), this);
    dialog.exec();
}

void LOGIN_FORM::onAbout()
{
    const CompanyTexts& c = m_session.company;
    m_prompt.inform(c.fullName + QLatin1Char('\n') + c.fullAddress + QLatin1Char('\n') +
                        c.webAddress1 + QLatin1Char('\n') + c.email,
                    QStringLiteral("About ") + c.name, PromptIcon::Information);
}

} // namespace bx
