#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace bx {

class Access_Form;
class LOGIN_FORM;
class NoticeService;
class Prompt;
class Session;
class SingleInstance;

/**
 * The program's start and the log-on that leads to the main window, also run again by Log Off.
 *
 * start() is the start-up sequence: refuse a second copy ("Brindlepax is already running"),
 * read the company texts, log on from a command line of exactly a user ID and a password, else
 * StartLogin(0, true, false): the automatic log-on under the desktop login name where it applies,
 * or the login window. Owns the windows it opens; the process ends when the last one closes.
 */
class StartLogin : public QObject
{
    Q_OBJECT
public:
    StartLogin(Session& session, Prompt& prompt, QString programDir, QObject* parent = nullptr);
    ~StartLogin() override;

    /**
     * Runs the start-up sequence.
     * @param arguments the command line without the program name and without Qt's own options
     * @return false when the process is to end at once (another copy runs, or the command-line
     *         log-on failed)
     */
    bool start(const QStringList& arguments, SingleInstance& instance);

    /**
     * Shows the login window (modeless for showModal 0, modal otherwise; its Cancel button per
     * buttonVisible), unless forceDialog is false and the automatic desktop-name log-on succeeds.
     * @return for a modal run: whether a new log-on succeeded
     */
    bool run(int showModal, bool buttonVisible, bool forceDialog);

    /** The login window, while one is open. */
    LOGIN_FORM* loginWindow() const;
    /** The main window, once a log-on succeeded. */
    Access_Form* mainWindow() const { return m_main.get(); }

    /** The desktop login name to use (tests give their own). */
    void setDesktopUserName(const QString& name) { m_desktopName = name; }

private:
    bool commandLineLogon(const QString& userId, const QString& password);
    void showMainWindow();
    void logOff();
    /** A fresh notice service for the session just begun (its once-per-session state reset). */
    void startNotices();

    Session& m_session;
    Prompt& m_prompt;
    QString m_programDir;
    QString m_desktopName;
    QPointer<LOGIN_FORM> m_login;
    /** The session's task notifier while a user is logged on; outlives the main window. */
    std::unique_ptr<NoticeService> m_notices;
    std::unique_ptr<Access_Form> m_main;
};

} // namespace bx
