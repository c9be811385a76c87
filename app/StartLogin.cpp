#include "app/StartLogin.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/SingleInstance.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/CompanyTexts.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/SessionUnload.h"
#include "mainwindow/ui/Access_Form.h"
#include "people/LoginFlow.h"
#include "people/ui/LOGIN_FORM.h"
#include "workflow/NoticeService.h"

#include <QDir>
#include <QLineEdit>

namespace bx {

StartLogin::StartLogin(Session& session, Prompt& prompt, QString programDir, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_programDir(std::move(programDir))
    , m_desktopName(desktopUserName())
{
}

StartLogin::~StartLogin()
{
    delete m_login;
}

LOGIN_FORM* StartLogin::loginWindow() const
{
    return m_login;
}

bool StartLogin::start(const QStringList& arguments, SingleInstance& instance)
{
    if (!instance.claim()) {
        m_prompt.inform(QStringLiteral("Brindlepax is already running"));
        return false;
    }
    m_session.company = CompanyTexts::load(QDir(m_programDir).filePath(CompanyTexts::fileName()));
    QString userId;
    QString password;
    if (bx::commandLineLogon(arguments, takeEnvironmentPassword(), &userId, &password))
        return commandLineLogon(userId, password);
    run(0, true, false);
    return true;
}

bool StartLogin::commandLineLogon(const QString& userId, const QString& password)
{
    // The login window does the log-on without ever being shown.
    m_session.connection.serverFlag =
        m_session.settings().getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag);
    LOGIN_FORM login(m_session, m_prompt, m_programDir);
    login.setActivationLogon(false);
    login.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(userId);
    login.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(password);
    bool loggedOn = false;
    connect(&login, &LOGIN_FORM::loggedOn, this, [&loggedOn] { loggedOn = true; });
    login.LOGIN_Click();
    if (loggedOn)
        showMainWindow();
    return loggedOn;
}

bool StartLogin::run(int showModal, bool buttonVisible, bool forceDialog)
{
    m_session.connection.serverFlag =
        m_session.settings().getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag);
    m_session.connection.openSuppressed = true;
    if (tryDesktopLogon(m_session, m_prompt, m_desktopName, forceDialog, m_programDir)) {
        showMainWindow();
        return true;
    }
    m_session.connection.openSuppressed = true;
    delete m_login;
    m_login = new LOGIN_FORM(m_session, m_prompt, m_programDir);
    m_login->setAttribute(Qt::WA_DeleteOnClose);
    m_login->setButtonVisible(buttonVisible);
    if (showModal != 0) {
        bool loggedOn = false;
        connect(m_login, &LOGIN_FORM::loggedOn, this, [&loggedOn] { loggedOn = true; });
        m_login->exec();
        return loggedOn;
    }
    connect(m_login, &LOGIN_FORM::loggedOn, this, &StartLogin::showMainWindow);
    m_login->show();
    return false;
}

void StartLogin::startNotices()
{
    m_notices.reset();
    m_notices = std::make_unique<NoticeService>(m_session);
    m_session.taskNotifier = m_notices.get();
}

void StartLogin::showMainWindow()
{
    startNotices();
    if (!m_main) {
        m_main = std::make_unique<Access_Form>(m_session, m_prompt);
        connect(m_main.get(), &Access_Form::logOffRequested, this, &StartLogin::logOff);
    } else {
        m_main->rebuildForUser();
    }
    m_main->show();
}

void StartLogin::logOff()
{
    // The session of the user logging off ends here, whatever the new log-on brings.
    const LoggedOnUser previous = m_session.user;
    const ConnectionValues previousConnection = m_session.connection;
    unloadSession(m_session);
    m_notices.reset(); // nobody's actions are noticed between the sessions
    if (run(1, true, true)) {
        startNotices();
        m_session.currentWorkshopId = 0; // the new user starts in a workshop of his own
        m_main->rebuildForUser();
        return;
    }
    // Cancelled: the previous user goes on, on the database he had.
    m_session.user = previous;
    m_session.connection = previousConnection;
    m_session.connection.openSuppressed = false;
    startNotices();
    DatabaseOpener opener(m_session, m_prompt);
    if (!opener.openDatabase(previousConnection.location, false, previous.userId,
                             previous.sqlPassword) &&
        opener.lastError())
        reportDatabaseError(*opener.lastError(), m_session, m_prompt);
}

} // namespace bx
