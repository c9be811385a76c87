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

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kUser = u"o'brien x"_s;
const QString kPassword = u"pass word"_s;
const QString kPasswordVariable = u"BRINDLEPAX_PASSWORD"_s;

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
    void arrange() override
    {
        session.user.userId = kUser;
        session.user.password = kPassword;
        session.connection.serverFlag = isServer();
        QDir(tempDir()).mkpath(u"bin"_s);
        QDir(tempDir()).mkpath(u"path"_s);
    }

    QString programDir() const { return tempDir() + u"/bin"_s; }
    QString pathDir() const { return tempDir() + u"/path"_s; }

    /** Puts the stand-in program into `dir` under `name`. */
    static void place(const QString& dir, const QString& name)
    {
        ASSERT_TRUE(QFile::link(QStringLiteral(BX_TOOL_DUMP_PROGRAM), dir + u'/' + name));
    }

    void addTool(const QString& name, const QString& exe, bool userId, bool taskNumber,
                 bool mainWindow = true, bool editor = false)
    {
        db().execute(u"INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Param_User_ID, "
                     "Tool_Param_SCR_Number, Tool_Access_Screen, "
                     "Tool_SCR_Screen) VALUES (?, ?, ?, ?, ?, ?)"_s,
                     {name, exe, userId, taskNumber, mainWindow, editor});
    }

    /**
     * Starts tool `name` with the client's own environment holding a password and PATH leading
     * to pathDir() only, and reads what the program wrote down.
     */
    Started start(const QString& name, qlonglong taskNumber,
                  ToolPlace place = ToolPlace::MainWindow)
    {
        const QString dump = tempDir() + u"/dump-"_s + QString::number(++m_runs);
        const EnvironmentGuard target("BX_TOOL_DUMP", dump);
        const EnvironmentGuard path("PATH", pathDir());
        const EnvironmentGuard password("BRINDLEPAX_PASSWORD", u"inherited"_s);
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
            if (line.startsWith(u"arg="_s))
                started.arguments << line.mid(4);
            else if (line.startsWith(u"env="_s))
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
    place(programDir(), u"viewer"_s);
    const struct
    {
        bool userId;
        bool taskNumber;
        qlonglong selected;
        QStringList expected;
    } cases[] = {
        {true, true, 42, {kUser, u"42"_s}},
        {true, true, 0, {kUser, u"0"_s}},
        {false, true, 42, {u"42"_s}},
        {true, false, 42, {kUser}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = u"Viewer "_s + QString::number(++n);
        addTool(name, u"viewer.exe"_s, c.userId, c.taskNumber);
        const Started started = start(name, c.selected);
        EXPECT_EQ(started.arguments, c.expected) << name.toStdString();
        // Not one of the suite's programs: no password, not even the one the client inherited.
        EXPECT_FALSE(started.hasVariable(kPasswordVariable)) << name.toStdString();
    }
}

// A suite program beside the client gets the password in its environment, never among its
// arguments; one found on the path gets none.
TEST_P(ToolsTest, ASuiteProgramBesideTheClientAloneGetsThePasswordInItsEnvironment)
{
    place(programDir(), u"BX_Sync"_s);
    place(pathDir(), u"bx_poll"_s);
    addTool(u"Sync"_s, u"BX_Sync.EXE"_s, true, true);
    addTool(u"Poll"_s, u"bx_poll"_s, false, false);
    const QString type = isServer() ? u"1"_s : u"0"_s;
    const Started sync = start(u"Sync"_s, 5);
    EXPECT_EQ(sync.arguments,
              (QStringList{kUser, u"5"_s, type, kUser, u"_Ver:"_s + BuildInfo::versionText()}));
    EXPECT_TRUE(sync.environment.contains(kPasswordVariable + u'=' + kPassword));
    EXPECT_FALSE(sync.arguments.join(u' ').contains(u"pass"_s));
    const Started poll = start(u"Poll"_s, 5);
    EXPECT_EQ(poll.arguments, (QStringList{type, kUser}));
    EXPECT_FALSE(poll.hasVariable(kPasswordVariable));
}

TEST_P(ToolsTest, AnEditorOnlyToolStartsFromTheEditorAndNotFromTheMainWindow)
{
    place(programDir(), u"viewer"_s);
    addTool(u"Editor tool"_s, u"viewer"_s, false, true, false, true);
    EXPECT_EQ(start(u"Editor tool"_s, 9, ToolPlace::TaskEditor).arguments, QStringList{u"9"_s});
    EXPECT_EQ(refusalFor(u"Editor tool"_s), RefusalOf<>{u"Tool record not found"_s});
    EXPECT_EQ(toolNames(db(), ToolPlace::TaskEditor), QStringList{u"Editor tool"_s});
    EXPECT_TRUE(toolNames(db(), ToolPlace::MainWindow).isEmpty());
}

TEST_P(ToolsTest, AnythingButAnExecutableFileGivesTheToolNotFoundMessage)
{
    QFile plain(programDir() + u"/notes"_s);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QDir(programDir()).mkdir(u"folder"_s);
    const QString bin = programDir();
    const struct
    {
        QString exe;
        QString command;
    } cases[] = {
        {u"missing"_s, u"\"missing\" o'brien x 7"_s},
        {u"notes.exe"_s, u"\"notes\" o'brien x 7"_s},
        {bin + u"/notes"_s, u'"' + bin + u"/notes\" o'brien x 7"_s},
        {bin + u"/folder"_s, u'"' + bin + u"/folder\" o'brien x 7"_s},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString name = u"Tool "_s + QString::number(++n);
        addTool(name, c.exe, true, true);
        const auto refusal = refusalFor(name);
        ASSERT_TRUE(refusal) << c.exe.toStdString();
        EXPECT_EQ(refusal->message, u"Tool not found.\n"_s + c.command +
                                        u"\nPlease change settings for this tool using QV "
                                        "Administrator Utility."_s)
            << c.exe.toStdString();
    }
}

TEST_P(ToolsTest, TheStoreRequiresANameAndAProgramAndRefusesATakenName)
{
    session.user.record.administrator = true;
    ToolStore store(session, prompt);
    ToolDefinition draft{u" Viewer "_s, u"viewer"_s, {}, true, false, true, false};
    ASSERT_TRUE(store.save(draft, {}));
    EXPECT_EQ(readTool(db(), u"viewer"_s)->name, u"Viewer"_s);

    const struct
    {
        QString name;
        QString exe;
        QString original;
        RefusalOf<ToolField> refusal;
    } cases[] = {
        {u" "_s, u"x"_s, {}, {u"Please Specify Tool Name"_s, ToolField::Name}},
        {u"Other"_s, u" "_s, {}, {u"Please Specify the Executable Name"_s, ToolField::Exe}},
        {u"VIEWER"_s, u"x"_s, {}, {u"Tool with such Name already exists"_s, ToolField::Name}},
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
    draft.name = u"VIEWER"_s;
    draft.onTaskEditor = true;
    ASSERT_TRUE(store.save(draft, u"Viewer"_s));
    draft.name = u"Reader"_s;
    ASSERT_TRUE(store.save(draft, u"viewer"_s));
    EXPECT_EQ(store.names(), QStringList{u"Reader"_s});
    EXPECT_EQ(readTool(db(), u"Reader"_s), draft);

    ToolDefinition second = draft;
    second.name = u"Second"_s;
    ASSERT_TRUE(store.save(second, {}));
    second.name = u"reader"_s;
    EXPECT_TRUE(store.save(second, u"Second"_s).refusal());

    prompt.answer(PromptAnswer::No).answer(PromptAnswer::Yes);
    EXPECT_FALSE(store.remove(u"Reader"_s));
    EXPECT_TRUE(store.remove(u"Reader"_s));
    EXPECT_EQ(store.names(), QStringList{u"Second"_s});
    EXPECT_EQ(*store.remove({}).refusal(), RefusalOf<>{u"No item selected"_s});

    session.user.record.administrator = false;
    EXPECT_TRUE(store.save(draft, {}).refusal());
    EXPECT_TRUE(store.remove(u"Second"_s).refusal());
    EXPECT_EQ(store.names(), QStringList{u"Second"_s});
}

BX_INSTANTIATE_ENGINES(ToolsTest);

/** What other users' clients start is the administrators' to decide, on the server too. */
class ToolLoginsTest : public test::ServerLoginsTest
{
};

TEST_P(ToolLoginsTest, OnlyAnAdministratorsLoginWritesTheTools)
{
    addLogins({u"ann"_s, u"bob"_s}, {u"ann"_s});
    db().execute(u"INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Access_Screen) VALUES "
                 "('Viewer', 'viewer', 1)"_s);
    const auto rows = [this] {
        return db()
            .scalar(u"SELECT string_agg(Tool_Name || '=' || Tool_EXE, ',') FROM TOOL"_s)
            .toString();
    };
    // Refused, or hidden from the change: either way the rows stay as they were.
    for (const char* sql : {"INSERT INTO TOOL (Tool_Name, Tool_EXE) VALUES ('Evil', 'evil')",
                            "UPDATE TOOL SET Tool_EXE = '/tmp/evil'", "DELETE FROM TOOL"}) {
        tryRun(u"bob"_s, QLatin1String(sql));
        EXPECT_EQ(rows(), u"Viewer=viewer"_s) << sql;
    }
    EXPECT_EQ(toolNames(as(u"bob"_s), ToolPlace::MainWindow), QStringList{u"Viewer"_s});
    EXPECT_TRUE(tryRun(u"ann"_s, u"UPDATE TOOL SET Tool_EXE = 'new'"_s));
    EXPECT_EQ(rows(), u"Viewer=new"_s);
}

BX_INSTANTIATE_ENGINES(ToolLoginsTest);

} // namespace
