#include "mainwindow/Tools.h"

#include "core/BuildInfo.h"
#include "core/db/Database.h"
#include "support/ServerLogins.h"
#include "support/SessionTest.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kUser = QStringLiteral("o'brien x");
const QString kPassword = QStringLiteral("pass word");

/** Sets an environment variable for the life of the guard, then puts the old value back. */
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char* name, const QString& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value.toLocal8Bit());
    }
    ~EnvironmentGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

/** What the stand-in program wrote down about how it was started. */
struct Started
{
    QStringList arguments;
    QStringList environment;

    bool hasVariable(const QString& name) const
    {
        for (const QString& variable : environment)
            if (variable.startsWith(name + u'='))
                return true;
        return false;
    }
};

class ToolsTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.user.userId = kUser;
        session.user.password = kPassword;
        session.connection.serverFlag = isServer();
        QDir(tempDir()).mkpath(QStringLiteral("bin"));
        QDir(tempDir()).mkpath(QStringLiteral("path"));
    }

    QString programDir() const { return tempDir() + QStringLiteral("/bin"); }
    QString pathDir() const { return tempDir() + QStringLiteral("/path"); }

    /** Puts the stand-in program into `dir` under `name`. */
    static void place(const QString& dir, const QString& name)
    {
        ASSERT_TRUE(QFile::link(QStringLiteral(BX_TOOL_DUMP_PROGRAM), dir + u'/' + name));
    }

    void addTool(const QString& name, const QString& exe, bool userId, bool taskNumber,
                 bool mainWindow = true, bool editor = false)
    {
        db().execute(QStringLiteral("INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Param_User_ID, "
                                    "Tool_Param_SCR_Number, Tool_Access_Screen, "
                                    "Tool_SCR_Screen) VALUES (?, ?, ?, ?, ?, ?)"),
                     {name, exe, userId, taskNumber, mainWindow, editor});
    }

    /**
     * Starts tool `name` with the client's own environment holding a password and PATH leading
     * to pathDir() only, and reads what the program wrote down.
     */
    Started start(const QString& name, qlonglong taskNumber,
                  ToolPlace place = ToolPlace::MainWindow)
    {
        const QString dump = tempDir() + QStringLiteral("/dump-") + QString::number(++m_runs);
        const EnvironmentGuard target("BX_TOOL_DUMP", dump);
        const EnvironmentGuard path("PATH", pathDir());
        const EnvironmentGuard password("BRINDLEPAX_PASSWORD", QStringLiteral("inherited"));
        const auto refused = startTool(session, place, name, taskNumber, programDir());
        EXPECT_FALSE(refused) << (refused ? refused->message.toStdString() : std::string());
        Started started;
        QDeadlineTimer deadline(20000);
        while (!QFileInfo::exists(dump) && !deadline.hasExpired())
            QThread::msleep(20);
        QFile file(dump);
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "the tool wrote nothing";
            return started;
        }
        for (const QString& line : QString::fromLocal8Bit(file.readAll()).split(u'\n')) {
            if (line.startsWith(QStringLiteral("arg=")))
                started.arguments << line.mid(4);
            else if (line.startsWith(QStringLiteral("env=")))
                started.environment << line.mid(4);
        }
        return started;
    }

    std::optional<RefusalOf<>> refusalFor(const QString& name)
    {
        const EnvironmentGuard path("PATH", pathDir());
        return startTool(session, ToolPlace::MainWindow, name, 7, programDir());
    }

private:
    int m_runs = 0;
};

TEST_P(ToolsTest, TheFlagsGiveTheUserThenTheTaskOneArgumentEach)
{
    place(programDir(), QStringLiteral("viewer"));
    const struct
    {
        bool userId;
        bool taskNumber;
        qlonglong selected;
        QStringList expected;
    } cases[] = {
        {true, true, 42, {kUser, QStringLiteral("42")}},
        {true, true, 0, {kUser, QStringLiteral("0")}},
        {false, true, 42, {QStringLiteral("42")}},
        {true, false, 42, {kUser}},
        {false, false, 42, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("Viewer ") + QString::number(++n);
        addTool(name, QStringLiteral("viewer.exe"), c.userId, c.taskNumber);
        const Started started = start(name, c.selected);
        EXPECT_EQ(started.arguments, c.expected) << name.toStdString();
        // Not one of the suite's programs: no password, not even the one the client inherited.
        EXPECT_FALSE(started.hasVariable(kToolPasswordVariable)) << name.toStdString();
    }
}

// A suite program beside the client gets the password in its environment, never among its
// arguments; one found on the path gets none.
TEST_P(ToolsTest, ASuiteProgramBesideTheClientAloneGetsThePasswordInItsEnvironment)
{
    place(programDir(), QStringLiteral("BX_Sync"));
    place(pathDir(), QStringLiteral("bx_poll"));
    addTool(QStringLiteral("Sync"), QStringLiteral("BX_Sync.EXE"), true, true);
    addTool(QStringLiteral("Poll"), QStringLiteral("bx_poll"), false, false);
    const QString type = isServer() ? QStringLiteral("1") : QStringLiteral("0");
    const Started sync = start(QStringLiteral("Sync"), 5);
    EXPECT_EQ(sync.arguments, (QStringList{kUser, QStringLiteral("5"), type, kUser,
                                           QStringLiteral("_Ver:") + BuildInfo::versionText()}));
    EXPECT_TRUE(sync.environment.contains(kToolPasswordVariable + u'=' + kPassword));
    EXPECT_FALSE(sync.arguments.join(u' ').contains(QStringLiteral("pass")));
    const Started poll = start(QStringLiteral("Poll"), 5);
    EXPECT_EQ(poll.arguments, (QStringList{type, kUser}));
    EXPECT_FALSE(poll.hasVariable(kToolPasswordVariable));
}

TEST_P(ToolsTest, AnEditorOnlyToolStartsFromTheEditorAndNotFromTheMainWindow)
{
    place(programDir(), QStringLiteral("viewer"));
    addTool(QStringLiteral("Editor tool"), QStringLiteral("viewer"), false, true, false, true);
    EXPECT_EQ(start(QStringLiteral("Editor tool"), 9, ToolPlace::TaskEditor).arguments,
              QStringList{QStringLiteral("9")});
    EXPECT_EQ(refusalFor(QStringLiteral("Editor tool")),
              RefusalOf<>{QStringLiteral("Tool record not found")});
    EXPECT_EQ(toolNames(db(), ToolPlace::TaskEditor), QStringList{QStringLiteral("Editor tool")});
    EXPECT_TRUE(toolNames(db(), ToolPlace::MainWindow).isEmpty());
}

TEST_P(ToolsTest, AnythingButAnExecutableFileGivesTheToolNotFoundMessage)
{
    QFile plain(programDir() + QStringLiteral("/notes"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QDir(programDir()).mkdir(QStringLiteral("folder"));
    const QString bin = programDir();
    const struct
    {
        QString exe;
        QString command;
    } cases[] = {
        {QStringLiteral("missing"), QStringLiteral("\"missing\" o'brien x 7")},
        {QStringLiteral("notes.exe"), QStringLiteral("\"notes\" o'brien x 7")},
        {bin + QStringLiteral("/notes"), u'"' + bin + QStringLiteral("/notes\" o'brien x 7")},
        {bin + QStringLiteral("/folder"), u'"' + bin + QStringLiteral("/folder\" o'brien x 7")},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = QStringLiteral("Tool ") + QString::number(++n);
        addTool(name, c.exe, true, true);
        const auto refusal = refusalFor(name);
        ASSERT_TRUE(refusal) << c.exe.toStdString();
        EXPECT_EQ(refusal->message,
                  QStringLiteral("Tool not found.\n") + c.command +
                      QStringLiteral("\nPlease change settings for this tool using QV "
                                     "Administrator Utility."))
            << c.exe.toStdString();
    }
}

TEST_P(ToolsTest, TheStoreRequiresANameAndAProgramAndRefusesATakenName)
{
    session.user.record.administrator = true;
    ToolStore store(session, prompt);
    ToolDefinition draft{
        QStringLiteral(" Viewer "), QStringLiteral("viewer"), {}, true, false, true, false};
    ASSERT_TRUE(store.save(draft, {}));
    EXPECT_EQ(readTool(db(), QStringLiteral("viewer"))->name, QStringLiteral("Viewer"));

    const struct
    {
        QString name;
        QString exe;
        QString original;
        RefusalOf<ToolField> refusal;
    } cases[] = {
        {QStringLiteral(" "),
         QStringLiteral("x"),
         {},
         {QStringLiteral("Please Specify Tool Name"), ToolField::Name}},
        {QStringLiteral("Other"),
         QStringLiteral(" "),
         {},
         {QStringLiteral("Please Specify the Executable Name"), ToolField::Exe}},
        {QStringLiteral("VIEWER"),
         QStringLiteral("x"),
         {},
         {QStringLiteral("Tool with such Name already exists"), ToolField::Name}},
    };
    for (const auto& c : cases) {
        ToolDefinition bad = draft;
        bad.name = c.name;
        bad.exe = c.exe;
        const auto outcome = store.save(bad, c.original);
        ASSERT_TRUE(outcome.refusal()) << c.name.toStdString();
        EXPECT_EQ(*outcome.refusal(), c.refusal);
    }

    // Another spelling of its own name, and another name altogether, rename the row.
    draft.name = QStringLiteral("VIEWER");
    draft.onTaskEditor = true;
    ASSERT_TRUE(store.save(draft, QStringLiteral("Viewer")));
    draft.name = QStringLiteral("Reader");
    ASSERT_TRUE(store.save(draft, QStringLiteral("viewer")));
    EXPECT_EQ(store.names(), QStringList{QStringLiteral("Reader")});
    EXPECT_EQ(readTool(db(), QStringLiteral("Reader")), draft);

    ToolDefinition second = draft;
    second.name = QStringLiteral("Second");
    ASSERT_TRUE(store.save(second, {}));
    second.name = QStringLiteral("reader");
    EXPECT_TRUE(store.save(second, QStringLiteral("Second")).refusal());

    prompt.answer(PromptAnswer::No).answer(PromptAnswer::Yes);
    EXPECT_FALSE(store.remove(QStringLiteral("Reader")));
    EXPECT_TRUE(store.remove(QStringLiteral("Reader")));
    EXPECT_EQ(store.names(), QStringList{QStringLiteral("Second")});
    EXPECT_EQ(*store.remove({}).refusal(), RefusalOf<>{QStringLiteral("No item selected")});

    session.user.record.administrator = false;
    EXPECT_TRUE(store.save(draft, {}).refusal());
    EXPECT_TRUE(store.remove(QStringLiteral("Second")).refusal());
    EXPECT_EQ(store.names(), QStringList{QStringLiteral("Second")});
}

BX_INSTANTIATE_ENGINES(ToolsTest);

/** What other users' clients start is the administrators' to decide, on the server too. */
class ToolLoginsTest : public test::ServerLoginsTest
{
};

TEST_P(ToolLoginsTest, OnlyAnAdministratorsLoginWritesTheTools)
{
    addLogins({QStringLiteral("ann"), QStringLiteral("bob")}, {QStringLiteral("ann")});
    db().execute(QStringLiteral("INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Access_Screen) VALUES "
                                "('Viewer', 'viewer', 1)"));
    const auto rows = [this] {
        return db()
            .scalar(
                QStringLiteral("SELECT string_agg(Tool_Name || '=' || Tool_EXE, ',') FROM TOOL"))
            .toString();
    };
    // Refused, or hidden from the change: either way the rows stay as they were.
    for (const char* sql : {"INSERT INTO TOOL (Tool_Name, Tool_EXE) VALUES ('Evil', 'evil')",
                            "UPDATE TOOL SET Tool_EXE = '/tmp/evil'", "DELETE FROM TOOL"}) {
        tryRun(QStringLiteral("bob"), QLatin1String(sql));
        EXPECT_EQ(rows(), QStringLiteral("Viewer=viewer")) << sql;
    }
    EXPECT_EQ(toolNames(as(QStringLiteral("bob")), ToolPlace::MainWindow),
              QStringList{QStringLiteral("Viewer")});
    EXPECT_TRUE(tryRun(QStringLiteral("ann"), QStringLiteral("UPDATE TOOL SET Tool_EXE = 'new'")));
    EXPECT_EQ(rows(), QStringLiteral("Viewer=new"));
}

BX_INSTANTIATE_ENGINES(ToolLoginsTest);

} // namespace
