// bxadmin: creates, upgrades and describes Brindlepax databases from the command line, with the
// same logic as the windows of the program.

#include "ConsolePrompt.h"
#include "core/AppPaths.h"
#include "core/BuildInfo.h"
#include "core/Clock.h"
#include "core/ErrorLog.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/Vars.h"
#include "dbadmin/DatabaseCreator.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/Upgrader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace bx;

namespace {

enum Exit
{
    kOk = 0,
    kFailed = 1,
    kUsage = 2
};

const char* const kHelp = R"(Usage: bxadmin COMMAND [options]

Commands:
  create --embedded FILE
        Creates a new embedded database file of the current build.
  create --server HOST[:PORT] --database NAME [--admin-login LOGIN] [--shared-login LOGIN] [--prepare]
        Creates a new database on a server (with --prepare: sets up an existing, empty one).
        Connects as LOGIN (default "postgres"); its password comes from the environment variable
        BXADMIN_PASSWORD or is asked for. --shared-login also sets up one login that every client
        may use (password from BXADMIN_SHARED_PASSWORD, else the program's default).
  select --embedded FILE | --server HOST[:PORT] --database NAME [--admin-login LOGIN]
        Makes an existing database the one the client opens (after checking that it opens).
  upgrade [--embedded FILE | --server HOST[:PORT] --database NAME [--admin-login LOGIN]]
        Applies the pending upgrade steps and stamps the build number. Without a target: the
        database the client opens (the remembered one).
  info [--embedded FILE | --server HOST[:PORT] --database NAME [--admin-login LOGIN]]
        Shows engine, location, the build numbers of database and program, and pending steps.

Options:
  --sslmode MODE  with --server: how the connection is protected: prefer (encrypted when the
                  server offers it), require (always encrypted) or verify-full (encrypted, and
                  the server's certificate checked against --sslrootcert and its host name).
                  Without it: the mode remembered for the server, else prefer. create and
                  select remember it for the server.
  --sslrootcert FILE
                  the CA file verify-full checks the server's certificate against
  --no-remember   create: do not make the new database the one the client opens
  --yes           answer yes to questions (e.g. replacing an existing database)
  -h, --help      this text
  --version       the program's version

Exit status: 0 success, 1 failure, 2 wrong usage.
)";

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

/**
 * The server login's password: the environment, else asked on the terminal. Says what is
 * missing when neither gives one.
 */
std::optional<QString> adminPassword(const QString& login)
{
    if (const char* env = std::getenv("BXADMIN_PASSWORD"))
        return QString::fromUtf8(env);
    auto typed =
        ConsolePrompt::readSecret(QStringLiteral("Password of ") + login + QLatin1Char(':'));
    if (!typed)
        err() << "error: no password for " << login << " (set BXADMIN_PASSWORD)" << Qt::endl;
    return typed;
}

struct Target
{
    bool server = false;
    QString location;    ///< file, or server name
    QString database;    ///< server only
    QString login;       ///< server only
    PgConnectParams ssl; ///< server only: the SSL mode and CA file
};

/**
 * The SSL mode and CA file of a connection to `server`: the options, else what is remembered for
 * the server. Says what is wrong (usage) when they cannot be used together.
 */
std::optional<PgConnectParams> sslOf(const QCommandLineParser& args, const SettingsStore& settings,
                                     const QString& server)
{
    PgConnectParams p;
    DatabaseOpener::applyServerSsl(settings, server, p);
    if (args.isSet(QStringLiteral("sslmode"))) {
        const QString mode = args.value(QStringLiteral("sslmode")).trimmed().toLower();
        // Another mode's CA file is not this one's.
        if (mode != p.sslMode)
            p.sslRootCert.clear();
        p.sslMode = mode;
    }
    if (args.isSet(QStringLiteral("sslrootcert"))) {
        if (p.sslMode != PgConnectParams::kSslVerifyFull) {
            err() << "error: --sslrootcert goes with --sslmode verify-full" << Qt::endl;
            return std::nullopt;
        }
        p.sslRootCert = QFileInfo(args.value(QStringLiteral("sslrootcert"))).absoluteFilePath();
    }
    if (const QString problem = PgConnectParams::sslProblem(p.sslMode, p.sslRootCert);
        !problem.isEmpty()) {
        err() << "error: " << problem << Qt::endl;
        return std::nullopt;
    }
    return p;
}

/** The database named on the command line, or the remembered one. */
std::optional<Target> targetOf(const QCommandLineParser& args, const SettingsStore& settings)
{
    Target t;
    t.login = args.value(QStringLiteral("admin-login"));
    if (args.isSet(QStringLiteral("embedded"))) {
        t.location = args.value(QStringLiteral("embedded"));
    } else if (args.isSet(QStringLiteral("server"))) {
        t.server = true;
        t.location = args.value(QStringLiteral("server"));
        t.database = args.value(QStringLiteral("database"));
    } else {
        t.server = settings.getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag);
        t.location = DatabaseOpener::rememberedDatabase(settings, t.server);
        t.database = settings.get(SettingsKeys::kSql, SettingsKeys::kSqlDbName,
                                  SettingsKeys::kDefaultSqlDbName);
        if (t.location.isEmpty()) {
            err() << "error: no database is remembered; name one with --embedded or --server"
                  << Qt::endl;
            return std::nullopt;
        }
    }
    if (t.server && t.database.trimmed().isEmpty()) {
        err() << "error: --server needs --database NAME" << Qt::endl;
        return std::nullopt;
    }
    if (t.server) {
        const auto ssl = sslOf(args, settings, t.location);
        if (!ssl)
            return std::nullopt;
        t.ssl = *ssl;
    }
    return t;
}

std::unique_ptr<Database> open(const Target& t, Prompt& prompt, const ErrorLog& log)
{
    try {
        if (!t.server)
            return SqliteDatabase::open(t.location);
        const auto password = adminPassword(t.login);
        if (!password)
            return nullptr;
        PgConnectParams p = PgConnectParams::forServer(t.location);
        p.sslMode = t.ssl.sslMode;
        p.sslRootCert = t.ssl.sslRootCert;
        p.user = t.login;
        p.password = *password;
        p.database = t.database;
        return PgDatabase::connect(p);
    } catch (const DbError& e) {
        reportDatabaseError(e, prompt, log, false, t.database);
        return nullptr;
    }
}

int create(const QCommandLineParser& args, SettingsStore& settings, ConsolePrompt& prompt,
           const Clock& clock, const ErrorLog& log)
{
    DatabaseCreator creator(settings, prompt, clock, log, AppPaths::programDir());
    creator.setRemember(!args.isSet(QStringLiteral("no-remember")));
    if (args.isSet(QStringLiteral("embedded"))) {
        const QString file = QFileInfo(args.value(QStringLiteral("embedded"))).absoluteFilePath();
        if (!creator.createEmbedded(file))
            return kFailed;
        out() << "Created " << file << " (build " << BuildInfo::buildNumber()
              << "). Log on as 'admin' with no password." << Qt::endl;
        return kOk;
    }
    if (!args.isSet(QStringLiteral("server")) || !args.isSet(QStringLiteral("database"))) {
        err() << "error: create needs --embedded FILE, or --server HOST[:PORT] --database NAME"
              << Qt::endl;
        return kUsage;
    }
    ServerCreation request;
    request.server = args.value(QStringLiteral("server"));
    const auto ssl = sslOf(args, settings, request.server);
    if (!ssl)
        return kUsage;
    request.sslMode = ssl->sslMode;
    request.sslRootCert = ssl->sslRootCert;
    request.database = args.value(QStringLiteral("database"));
    request.adminLogin = args.value(QStringLiteral("admin-login"));
    request.creating = !args.isSet(QStringLiteral("prepare"));
    request.sharedLogin = args.value(QStringLiteral("shared-login"));
    if (const char* shared = std::getenv("BXADMIN_SHARED_PASSWORD"))
        request.sharedPassword = QString::fromUtf8(shared);
    const auto password = adminPassword(request.adminLogin);
    if (!password)
        return kFailed;
    request.adminPassword = *password;
    return creator.createServer(request) ? kOk : kFailed;
}

int select(const QCommandLineParser& args, SettingsStore& settings, ConsolePrompt& prompt,
           const Clock& clock, const ErrorLog& log)
{
    DatabaseCreator creator(settings, prompt, clock, log, AppPaths::programDir());
    if (args.isSet(QStringLiteral("embedded"))) {
        const QString file = QFileInfo(args.value(QStringLiteral("embedded"))).absoluteFilePath();
        if (!creator.selectEmbedded(file))
            return kFailed;
        out() << "The client opens " << file << " from now on." << Qt::endl;
        return kOk;
    }
    if (!args.isSet(QStringLiteral("server")) || !args.isSet(QStringLiteral("database"))) {
        err() << "error: select needs --embedded FILE, or --server HOST[:PORT] --database NAME"
              << Qt::endl;
        return kUsage;
    }
    ServerSelection selection;
    selection.server = args.value(QStringLiteral("server"));
    const auto ssl = sslOf(args, settings, selection.server);
    if (!ssl)
        return kUsage;
    selection.sslMode = ssl->sslMode;
    selection.sslRootCert = ssl->sslRootCert;
    selection.database = args.value(QStringLiteral("database"));
    selection.login = args.value(QStringLiteral("admin-login"));
    const auto password = adminPassword(selection.login);
    if (!password)
        return kFailed;
    selection.password = *password;
    return creator.selectServer(selection) ? kOk : kFailed;
}

int upgrade(const QCommandLineParser& args, const SettingsStore& settings, ConsolePrompt& prompt,
            const Clock& clock, const ErrorLog& log)
{
    const auto target = targetOf(args, settings);
    if (!target)
        return kUsage;
    auto db = open(*target, prompt, log);
    if (!db)
        return kFailed;
    try {
        UpgradeLog upgradeLog;
        Upgrader upgrader(*db, prompt, upgradeLog, {AppPaths::programDir(), &clock});
        upgrader.load();
        return upgrader.run([](const QString& name) { out() << "applied " << name << Qt::endl; })
                   ? kOk
                   : kFailed;
    } catch (const DbError& e) {
        reportDatabaseError(e, prompt, log, false, target->database);
        return kFailed;
    }
}

int info(const QCommandLineParser& args, const SettingsStore& settings, ConsolePrompt& prompt,
         const ErrorLog& log)
{
    const auto target = targetOf(args, settings);
    if (!target)
        return kUsage;
    auto db = open(*target, prompt, log);
    if (!db)
        return kFailed;
    try {
        out() << "engine:          " << (target->server ? "server" : "embedded") << Qt::endl;
        out() << "location:        " << target->location
              << (target->server ? QStringLiteral(" / ") + target->database : QString())
              << Qt::endl;
        if (const auto* pg = dynamic_cast<const PgDatabase*>(db.get()))
            out() << "ssl mode:        " << pg->params().sslMode
                  << (pg->sslInUse() ? " (encrypted)" : " (not encrypted)") << Qt::endl;
        const int build = Vars::buildNumber(*db);
        out() << "database build:  " << build << Qt::endl;
        out() << "program build:   " << BuildInfo::buildNumber() << " (version "
              << BuildInfo::versionText() << ')' << Qt::endl;
        // Reading the pending steps must not change the database: Vars is only looked at.
        int pending = 0;
        for (const auto& step : allUpgradeSteps()) {
            if (step->check(*db)) {
                out() << "pending:         " << step->name() << "  " << step->friendlyName()
                      << Qt::endl;
                ++pending;
            }
        }
        if (pending == 0)
            out() << "pending:         none" << Qt::endl;
    } catch (const DbError& e) {
        reportDatabaseError(e, prompt, log, false, target->database);
        return kFailed;
    }
    return kOk;
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before the application starts, as the program's own --version is.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts(BuildInfo::versionLine().toLocal8Bit().constData());
            return kOk;
        }
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bxadmin"));

    QCommandLineParser args;
    args.addPositionalArgument(QStringLiteral("command"),
                               QStringLiteral("create, select, upgrade or info"));
    args.addOptions({
        {QStringLiteral("embedded"), QStringLiteral("embedded database file"),
         QStringLiteral("FILE")},
        {QStringLiteral("server"), QStringLiteral("server name"), QStringLiteral("HOST[:PORT]")},
        {QStringLiteral("database"), QStringLiteral("database on the server"),
         QStringLiteral("NAME")},
        {QStringLiteral("admin-login"), QStringLiteral("server login"), QStringLiteral("LOGIN"),
         CreationDefaults::kServerAdminLogin},
        {QStringLiteral("shared-login"), QStringLiteral("shared login"), QStringLiteral("LOGIN")},
        {QStringLiteral("prepare"), QStringLiteral("prepare an existing server database")},
        {QStringLiteral("sslmode"), QStringLiteral("prefer, require or verify-full"),
         QStringLiteral("MODE")},
        {QStringLiteral("sslrootcert"), QStringLiteral("CA file of verify-full"),
         QStringLiteral("FILE")},
        {QStringLiteral("no-remember"), QStringLiteral("do not remember the new database")},
        {QStringLiteral("yes"), QStringLiteral("answer yes to questions")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show help")},
    });
    if (!args.parse(QCoreApplication::arguments())) {
        err() << "error: " << args.errorText() << Qt::endl << kHelp;
        return kUsage;
    }
    if (args.isSet(QStringLiteral("help"))) {
        out() << kHelp;
        return kOk;
    }
    const QStringList positional = args.positionalArguments();
    if (positional.size() != 1) {
        err() << kHelp;
        return kUsage;
    }

    SettingsStore settings;
    SystemClock clock;
    ErrorLog log(clock);
    ConsolePrompt prompt(args.isSet(QStringLiteral("yes")));
    const QString command = positional.first();
    if (command == QLatin1String("create"))
        return create(args, settings, prompt, clock, log);
    if (command == QLatin1String("select"))
        return select(args, settings, prompt, clock, log);
    if (command == QLatin1String("upgrade"))
        return upgrade(args, settings, prompt, clock, log);
    if (command == QLatin1String("info"))
        return info(args, settings, prompt, log);
    err() << "error: unknown command '" << command << "'" << Qt::endl << kHelp;
    return kUsage;
}
