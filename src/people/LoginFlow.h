#pragma once

#include <QString>

#include <optional>

namespace bx {

class Prompt;
class Session;

/** How a log-on ended. */
enum class LogOnOutcome
{
    Failed,       ///< reported to the user; the previous log-on values stand
    NeedsUpgrade, ///< the database is older than the program: the login window offers the upgrade
    ProgramOlder, ///< the database is newer than the program: reported, no log-on
    LoggedOn,     ///< the session holds the new user; the main window may open
};

/**
 * The log-on behind the login window's OK, the command-line log-on and the administrator
 * entries: opens the chosen database with the user's derived password, remembers it, compares
 * the builds, checks the user and password, and fills the session. Every refusal, and a failure
 * to open the database, is shown through the prompt with the texts users know; a later DbError
 * travels up to the window's runCommand. Nothing is written to the shared database by a failed
 * log-on.
 */
class LoginFlow
{
public:
    LoginFlow(Session& session, Prompt& prompt, QString programDir);

    /**
     * The whole log-on. On success a password hashed with lower cost limits than today's is
     * hashed anew (rehashOldPassword), the remembered logon is stored (with the typed values only
     * when `rememberLogon`), and on the server engine the standard reports are stored at the
     * first log-on to a database that has none.
     */
    LogOnOutcome logOn(const QString& location, const QString& userId, const QString& typed,
                       bool rememberLogon);

    /**
     * Opens the database and checks the user as the log-on does, without the build comparison
     * and without completing the log-on: for "Upgrade..." and "Set Password". On success the
     * session holds the user.
     */
    bool openAndValidate(const QString& location, const QString& userId, const QString& typed);

private:
    bool open(const QString& location, const QString& userId, const QString& typed);
    bool validate(const QString& userId, const QString& typed);

    Session& m_session;
    Prompt& m_prompt;
    QString m_programDir;
};

/**
 * The automatic log-on under the desktop login name (embedded engine only, never for "admin"):
 * opens the remembered database with no user and no password and, when SYSTEM.NoLogon is set and
 * a user of that name exists, logs that user on. Fails silently (the login window follows) when
 * any of that does not hold, when the builds differ, or when the user is disabled.
 */
bool tryDesktopLogon(Session& session, Prompt& prompt, const QString& desktopName, bool forceDialog,
                     const QString& programDir);

/** The login name of the desktop user, lower-cased; "" when it cannot be found. */
QString desktopUserName();

/**
 * What `brindlepax --help` prints: the command line of a direct log-on and the environment
 * variable that keeps the password out of the process list.
 */
inline const QString kCommandLineHelp = QStringLiteral(
    "Usage: brindlepax [USER-ID [PASSWORD]]\n"
    "\n"
    "Without arguments the login window opens. With a user ID and a password that user is logged\n"
    "on to the remembered database without the login window. A password on the command line can\n"
    "be seen by other users of this computer in the list of processes; give the user ID alone and\n"
    "the password in the environment variable BRINDLEPAX_PASSWORD instead, for example\n"
    "\n"
    "    read -rs BRINDLEPAX_PASSWORD && export BRINDLEPAX_PASSWORD && brindlepax pat\n"
    "\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and exit\n");

/**
 * The password of the environment variable BRINDLEPAX_PASSWORD when it is set (even to nothing),
 * taken out of the environment so that the programs the client starts (external tools, viewers) do
 * not inherit it.
 */
std::optional<QString> takeEnvironmentPassword();

/**
 * A user ID and a password when the command line (without the program name) holds exactly two
 * words separated by single blanks, or exactly one word and `environmentPassword` is set (the
 * password typed on the command line wins over the environment's); nothing otherwise.
 */
bool commandLineLogon(const QStringList& arguments,
                      const std::optional<QString>& environmentPassword, QString* userId,
                      QString* password);

} // namespace bx
