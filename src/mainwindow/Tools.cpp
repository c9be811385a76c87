#include "mainwindow/Tools.h"

#include "core/BuildInfo.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace bx {

namespace {

/** The environment variable that hands the password to the suite's own programs. */
const QString kToolPasswordVariable = QStringLiteral("BRINDLEPAX_PASSWORD");

const QString kSelectTool = QStringLiteral(
    "SELECT Tool_Name, Tool_EXE, Tool_Description, Tool_Param_User_ID, Tool_Param_SCR_Number, "
    "Tool_Access_Screen, Tool_SCR_Screen FROM TOOL ");

ToolDefinition toolOf(const RecordSet& rs)
{
    ToolDefinition tool;
    tool.name = rs.text(QStringLiteral("Tool_Name"));
    tool.exe = rs.text(QStringLiteral("Tool_EXE"));
    tool.description = rs.text(QStringLiteral("Tool_Description"));
    tool.passUserId = rs.flag(QStringLiteral("Tool_Param_User_ID"));
    tool.passTaskNumber = rs.flag(QStringLiteral("Tool_Param_SCR_Number"));
    tool.onMainWindow = rs.flag(QStringLiteral("Tool_Access_Screen"));
    tool.onTaskEditor = rs.flag(QStringLiteral("Tool_SCR_Screen"));
    return tool;
}

QString placeColumn(ToolPlace place)
{
    return place == ToolPlace::MainWindow ? QStringLiteral("Tool_Access_Screen")
                                          : QStringLiteral("Tool_SCR_Screen");
}

/** The name without a trailing ".exe" (any case). */
QString withoutExe(const QString& name)
{
    if (name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive))
        return name.chopped(4);
    return name;
}

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString toolNotFound(const QString& command)
{
    return QStringLiteral("Tool not found.\n") + command +
           QStringLiteral("\nPlease change settings for this tool using QV Administrator Utility.");
}

} // namespace

QStringList toolNames(Database& db, ToolPlace place)
{
    const RecordSet rs = db.query(QStringLiteral("SELECT Tool_Name FROM TOOL WHERE ") +
                                  placeColumn(place) + QStringLiteral(" <> 0 ORDER BY Tool_Name"));
    QStringList names;
    for (const QVariantList& row : rs.rows())
        names << row.value(0).toString();
    return names;
}

std::optional<ToolDefinition> readTool(Database& db, const QString& name)
{
    const RecordSet rs = db.query(kSelectTool + QStringLiteral("WHERE Tool_Name = ?"), {name});
    if (rs.isEmpty())
        return std::nullopt;
    return toolOf(rs);
}

bool isSuiteProgram(const QString& baseName)
{
    static const QStringList kSuite{
        QStringLiteral("bx_formdesigner"), QStringLiteral("bx_checklist"),
        QStringLiteral("bx_addressbook"),  QStringLiteral("bx_poll"),
        QStringLiteral("bx_sync"),         QStringLiteral("bx_problemreport"),
    };
    return kSuite.contains(withoutExe(baseName), Qt::CaseInsensitive);
}

bool wantsVersion(const QString& baseName)
{
    const QString base = withoutExe(baseName);
    return base.compare(QStringLiteral("bx_sync"), Qt::CaseInsensitive) == 0 ||
           base.compare(QStringLiteral("bx_problemreport"), Qt::CaseInsensitive) == 0;
}

QString ToolCommand::displayed() const
{
    QString text = QLatin1Char('"') + program + QLatin1Char('"');
    for (const QString& argument : arguments)
        text += QLatin1Char(' ') + argument;
    return text;
}

ToolCommand toolCommand(const ToolDefinition& tool, const ToolContext& context)
{
    ToolCommand command;
    const QString exe = withoutExe(tool.exe.trimmed());
    const QString base = QFileInfo(exe).fileName();
    const bool hasFolder = exe.contains(QLatin1Char('/'));
    bool inProgramFolder = false;

    command.program = exe;
    if (hasFolder) {
        command.found = isExecutableFile(exe);
    } else if (!exe.isEmpty()) {
        const QString beside = QDir(context.programDir).filePath(exe);
        if (!context.programDir.isEmpty() && isExecutableFile(beside)) {
            command.program = beside;
            command.found = inProgramFolder = true;
        } else {
            const QString onPath = QStandardPaths::findExecutable(exe);
            if (!onPath.isEmpty()) {
                command.program = onPath;
                command.found = isExecutableFile(onPath);
            }
        }
    }

    if (tool.passUserId)
        command.arguments << context.userId;
    if (tool.passTaskNumber)
        command.arguments << QString::number(context.taskNumber);
    if (isSuiteProgram(base)) {
        command.arguments << (context.server ? QStringLiteral("1") : QStringLiteral("0"))
                          << context.userId;
        if (wantsVersion(base))
            command.arguments << QStringLiteral("_Ver:") + BuildInfo::versionText();
        if (inProgramFolder) {
            command.passesPassword = true;
            command.password = context.password;
        }
    }
    return command;
}

bool startDetached(const ToolCommand& command)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(kToolPasswordVariable);
    if (command.passesPassword)
        environment.insert(kToolPasswordVariable, command.password);
    QProcess process;
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

std::optional<RefusalOf<>> startTool(Session& session, ToolPlace place, const QString& name,
                                     qlonglong taskNumber, const QString& programDir)
{
    const ToolContext context{session.user.userId, session.user.password,
                              session.connection.serverFlag, taskNumber, programDir};
    const RecordSet rs =
        session.db().query(kSelectTool + QStringLiteral("WHERE Tool_Name = ? AND ") +
                               placeColumn(place) + QStringLiteral(" <> 0"),
                           {name});
    if (rs.isEmpty())
        return RefusalOf<>{QStringLiteral("Tool record not found")};
    const ToolCommand command = toolCommand(toolOf(rs), context);
    if (!command.found || !startDetached(command))
        return RefusalOf<>{toolNotFound(command.displayed())};
    return std::nullopt;
}

ToolStore::ToolStore(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

QStringList ToolStore::names()
{
    const RecordSet rs =
        m_session.db().query(QStringLiteral("SELECT Tool_Name FROM TOOL ORDER BY Tool_Name"));
    QStringList names;
    for (const QVariantList& row : rs.rows())
        names << row.value(0).toString();
    return names;
}

Outcome<Done, ToolField> ToolStore::save(ToolDefinition draft, const QString& originalName)
{
    if (auto refusal =
            UserRights::refuseUnlessAdministrator(m_session.user.record, ToolField::None))
        return *refusal;
    draft.name = draft.name.trimmed();
    draft.exe = draft.exe.trimmed();
    if (draft.name.isEmpty())
        return RefusalOf<ToolField>{QStringLiteral("Please Specify Tool Name"), ToolField::Name};
    if (draft.exe.isEmpty())
        return RefusalOf<ToolField>{QStringLiteral("Please Specify the Executable Name"),
                                    ToolField::Exe};

    Database& db = m_session.db();
    Transaction tx(db);
    // Names compare without case, so renaming a tool to another spelling of its own name is no
    // duplicate.
    const bool isNew = originalName.isEmpty();
    const qlonglong others =
        isNew ? db.scalar(QStringLiteral("SELECT COUNT(*) FROM TOOL WHERE Tool_Name = ?"),
                          {draft.name})
                    .toLongLong()
              : db.scalar(QStringLiteral("SELECT COUNT(*) FROM TOOL WHERE Tool_Name = ? AND "
                                         "NOT (Tool_Name = ?)"),
                          {draft.name, originalName})
                    .toLongLong();
    if (others > 0)
        return RefusalOf<ToolField>{QStringLiteral("Tool with such Name already exists"),
                                    ToolField::Name};

    const QVariantList values{
        draft.name,           draft.exe,          draft.description, draft.passUserId,
        draft.passTaskNumber, draft.onMainWindow, draft.onTaskEditor};
    if (isNew) {
        db.execute(QStringLiteral("INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Description, "
                                  "Tool_Param_User_ID, Tool_Param_SCR_Number, Tool_Access_Screen, "
                                  "Tool_SCR_Screen) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   values);
    } else {
        const qlonglong changed = db.execute(
            QStringLiteral("UPDATE TOOL SET Tool_Name = ?, Tool_EXE = ?, Tool_Description = ?, "
                           "Tool_Param_User_ID = ?, Tool_Param_SCR_Number = ?, "
                           "Tool_Access_Screen = ?, Tool_SCR_Screen = ? WHERE Tool_Name = ?"),
            QVariantList(values) << originalName);
        if (changed == 0)
            return RefusalOf<ToolField>{QStringLiteral("Tool record not found"), ToolField::None};
    }
    tx.commit();
    return Done{};
}

Outcome<> ToolStore::remove(const QString& name)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_session.user.record))
        return *refusal;
    if (name.isEmpty())
        return RefusalOf<>{QStringLiteral("No item selected")};
    if (m_prompt.ask(QStringLiteral("Are you sure?")) != PromptAnswer::Yes)
        return Outcome<>::declined();
    m_session.db().execute(QStringLiteral("DELETE FROM TOOL WHERE Tool_Name = ?"), {name});
    return Done{};
}

} // namespace bx
