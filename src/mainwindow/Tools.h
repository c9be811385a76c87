#pragma once

#include "core/Refusal.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

/** One row of TOOL: an outside program the client starts for the user. */
struct ToolDefinition
{
    QString name;                ///< Tool_Name: the menu caption and the key
    QString exe;                 ///< Tool_EXE: the program's file, with or without a folder
    QString description;         ///< Tool_Description
    bool passUserId = false;     ///< Tool_Param_User_ID
    bool passTaskNumber = false; ///< Tool_Param_SCR_Number
    bool onMainWindow = false;   ///< Tool_Access_Screen: listed on the main window's Tools menu
    bool onTaskEditor = false;   ///< Tool_SCR_Screen: listed on the task editor's add-ons menu

    bool operator==(const ToolDefinition&) const = default;
};

/** Where a tool is listed and started from. */
enum class ToolPlace
{
    MainWindow,
    TaskEditor
};

/** The names of the tools listed at `place`, in name order. */
QStringList toolNames(Database& db, ToolPlace place);

/** The row of tool `name` (compared without case); std::nullopt when there is none. */
std::optional<ToolDefinition> readTool(Database& db, const QString& name);

/** What a tool is started with besides its row. */
struct ToolContext
{
    QString userId;
    QString password;         ///< as typed at log-on; handed to the suite's own programs only
    bool server = false;      ///< the database engine: false embedded, true server
    qlonglong taskNumber = 0; ///< the selected task; 0 when none is
    QString programDir;       ///< the folder of the running executable
};

/** How a tool is to be started. */
struct ToolCommand
{
    QString program;       ///< the executable file found, or the name looked for when none was
    QStringList arguments; ///< one argument each, never split at blanks
    bool found = false;    ///< `program` is an executable file
    bool passesPassword = false; ///< BRINDLEPAX_PASSWORD goes into the program's environment
    QString password;

    /** The command as the user reads it: the program quoted, then the arguments. */
    QString displayed() const;
};

/**
 * The base names (without ".exe", compared without case) of the suite's own programs, which are
 * also given the database type and the user: the form designer, the checklist tool, the address
 * book, the poller, the synchronisation tool and the problem reporter. The last two also get the
 * program's version.
 */
bool isSuiteProgram(const QString& baseName);
bool wantsVersion(const QString& baseName);

/**
 * Finds the program of `exe` and builds its arguments: the user id when the row asks for it, then
 * the task number; for the suite's programs then the database type (0 embedded, 1 server) and the
 * user id, and "_Ver:" + the version for those that want it. A name with a folder is that file;
 * a bare one is looked for in the program's folder, then on PATH. A trailing ".exe" is ignored.
 * The password is passed only to a suite program found in the program's folder: one found on PATH
 * could be anybody's.
 */
ToolCommand toolCommand(const ToolDefinition& tool, const ToolContext& context);

/**
 * Starts `command` detached, without a shell, in the client's environment less any password, plus
 * the password when the command passes it. @return false when the program could not be started
 */
bool startDetached(const ToolCommand& command);

/**
 * Starts tool `name` from `place` for the session's user and task `taskNumber` (0: none), looking
 * for bare program names in `programDir` first: "Tool record not found" when no row lists it
 * there, the three-line "Tool not found." message when its program is no executable file or does
 * not start.
 */
std::optional<RefusalOf<>> startTool(Session& session, ToolPlace place, const QString& name,
                                     qlonglong taskNumber, const QString& programDir);

/** The controls of the tool editor a refusal puts the focus on. */
enum class ToolField
{
    None,
    Name,
    Exe
};

/** Administration of TOOL: administrators only. */
class ToolStore
{
public:
    ToolStore(Session& session, Prompt& prompt);

    /** Every tool's name, in name order. */
    QStringList names();

    /**
     * Saves `draft`: as a new row when `originalName` is empty, else over the row of that name
     * (renaming it when the name changed). Name and executable are required, and no other row may
     * hold the name.
     */
    Outcome<Done, ToolField> save(ToolDefinition draft, const QString& originalName);

    /** Deletes tool `name` after "Are you sure?"; "No item selected" when `name` is empty. */
    Outcome<> remove(const QString& name);

private:
    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
