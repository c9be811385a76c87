#include "workflow/StageRule.h"

#include "core/Clock.h"
#include "core/db/Database.h"

#include <QJSEngine>
#include <QJSValue>
#include <QObject>

#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace bx {

namespace {

// File names the engine gives the two pieces of code, so that a stack frame of the rule can be
// told from a frame of the host's own glue.
const QString kRuleFile = QStringLiteral("bx-rule");

// The host's glue, evaluated once per engine and never made global. `caseless` lets scripts
// spell column names as they like: the server engine reports them in lower case, the embedded
// one as written, and rule authors write them either way. A column RS_SCR does not have is an
// error rather than a silently ignored property, because a misspelt column would otherwise
// leave the task unchanged without a word.
const QString kHostCode = QStringLiteral(R"js(
(function (host) {
    'use strict';
    function caseless(target, strict, label) {
        const names = {};
        for (const k of Object.keys(target))
            names[k.toLowerCase()] = k;
        const find = p => (typeof p === 'string' ? names[p.toLowerCase()] : undefined);
        return new Proxy(target, {
            get(t, p) { const k = find(p); return t[k !== undefined ? k : p]; },
            has(t, p) { return find(p) !== undefined || p in t; },
            set(t, p, v) {
                const k = find(p);
                if (k === undefined && strict)
                    throw new TypeError(label + ' has no column ' + String(p));
                t[k !== undefined ? k : p] = v;
                return true;
            }
        });
    }
    return {
        row: caseless,
        bxdb: Object.freeze({
            query(sql, ...params) {
                return host.query(String(sql), params).map(r => caseless(r, false, ''));
            },
            execute(sql, ...params) { return host.execute(String(sql), params); }
        }),
        call(fn, args) {
            try {
                return { value: fn.apply(undefined, args) };
            } catch (e) {
                return { thrown: true, error: e };
            }
        }
    };
})
)js");

QJSValue toJs(QJSEngine& engine, const QVariant& v)
{
    if (!v.isValid())
        return QJSValue(QJSValue::NullValue);
    switch (v.typeId()) {
    case QMetaType::Nullptr:
        return QJSValue(QJSValue::NullValue);
    case QMetaType::Bool:
        return QJSValue(v.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return QJSValue(v.toDouble());
    case QMetaType::QString:
        return QJSValue(v.toString());
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.isValid() ? QJSValue(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                            : QJSValue(QJSValue::NullValue);
    }
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        return d.isValid() ? QJSValue(d.toString(Qt::ISODate)) : QJSValue(QJSValue::NullValue);
    }
    default:
        return engine.toScriptValue(v);
    }
}

QVariant fromJs(const QJSValue& v)
{
    if (v.isUndefined() || v.isNull())
        return {};
    if (v.isBool())
        return v.toBool();
    if (v.isNumber()) {
        // Whole numbers go back as integers so that they bind as the integer columns they came
        // from; 2^53 is where doubles stop being exact.
        const double d = v.toNumber();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9007199254740992.0)
            return static_cast<qlonglong>(d);
        return d;
    }
    if (v.isString())
        return v.toString();
    if (v.isDate())
        return naive(v.toDateTime().toLocalTime());
    return v.toVariant();
}

/** A value the script wrote into a column, in the type the column had. */
QVariant writtenValue(const QJSValue& js, const QVariant& before)
{
    QVariant value = fromJs(js);
    const bool wasDate =
        before.typeId() == QMetaType::QDateTime || before.typeId() == QMetaType::QDate;
    if (wasDate && value.typeId() == QMetaType::QString) {
        if (value.toString().trimmed().isEmpty())
            return {};
        const QDateTime dt = RecordSet::toDateTime(value);
        if (dt.isValid())
            return dt;
    }
    return value;
}

// The script's Error already says "Error: ", so the engine's number goes last.
QString databaseMessage(const DbError& e)
{
    return QStringLiteral("%1 (error %2)").arg(e.description().trimmed(), e.number());
}

/**
 * Lets the watchdog stop the statement the script is running, and only such a statement: the
 * statements of the save around the script never see an interrupt.
 */
class StatementGate
{
public:
    explicit StatementGate(Database& db)
        : m_db(db)
    {
    }

    /** Marks a statement of the script as running; false once the time is up. */
    bool enter()
    {
        const std::lock_guard lock(m_mutex);
        if (m_expired)
            return false;
        m_running = true;
        return true;
    }

    void leave()
    {
        const std::lock_guard lock(m_mutex);
        m_running = false;
    }

    /** From the watchdog's thread: no statement may start any more; the running one stops. */
    void expire()
    {
        const std::lock_guard lock(m_mutex);
        m_expired = true;
        if (m_running)
            m_db.interrupt();
    }

    /**
     * From the watchdog's thread, again and again after expire(): an interrupt that reached the
     * engine a moment before its statement started has no effect there.
     */
    void repeat()
    {
        const std::lock_guard lock(m_mutex);
        if (m_running)
            m_db.interrupt();
    }

private:
    Database& m_db;
    std::mutex m_mutex;
    bool m_running = false;
    bool m_expired = false;
};

/** The BXDB object the script calls, through the host glue's variadic wrappers. */
class ScriptDatabase : public QObject
{
    Q_OBJECT
public:
    ScriptDatabase(Database& db, StatementGate& gate)
        : m_db(db)
        , m_gate(gate)
    {
    }

    Q_INVOKABLE QJSValue query(const QString& sql, const QJSValue& params)
    {
        QJSEngine& engine = *qjsEngine(this);
        try {
            const RecordSet rs = gated([&] { return m_db.queryScripted(sql, bound(params)); });
            QJSValue rows = engine.newArray(static_cast<uint>(rs.rowCount()));
            for (int r = 0; r < rs.rowCount(); ++r) {
                QJSValue row = engine.newObject();
                const QVariantList& values = rs.rows().at(r);
                for (int c = 0; c < rs.columnCount(); ++c)
                    row.setProperty(rs.columns().at(c), toJs(engine, values.value(c)));
                rows.setProperty(static_cast<quint32>(r), row);
            }
            return rows;
        } catch (const DbError& e) {
            engine.throwError(QJSValue::GenericError, databaseMessage(e));
        } catch (const std::exception& e) {
            engine.throwError(QJSValue::GenericError, QString::fromLocal8Bit(e.what()));
        }
        return {};
    }

    Q_INVOKABLE QJSValue execute(const QString& sql, const QJSValue& params)
    {
        QJSEngine& engine = *qjsEngine(this);
        try {
            return QJSValue(static_cast<double>(
                gated([&] { return m_db.executeScripted(sql, bound(params)); })));
        } catch (const DbError& e) {
            engine.throwError(QJSValue::GenericError, databaseMessage(e));
        } catch (const std::exception& e) {
            engine.throwError(QJSValue::GenericError, QString::fromLocal8Bit(e.what()));
        }
        return {};
    }

private:
    template <typename Run> auto gated(Run run) -> decltype(run())
    {
        if (!m_gate.enter())
            throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                          QStringLiteral("The rule ran out of time"));
        struct Leave
        {
            StatementGate& gate;
            ~Leave() { gate.leave(); }
        } leave{m_gate};
        return run();
    }

    static QVariantList bound(const QJSValue& params)
    {
        QVariantList values;
        const int n = params.property(QStringLiteral("length")).toInt();
        values.reserve(n);
        for (int i = 0; i < n; ++i)
            values.append(fromJs(params.property(static_cast<quint32>(i))));
        return values;
    }

    Database& m_db;
    StatementGate& m_gate;
};

/**
 * Once the time limit has passed, unless stopped first, raises the script engine's interrupt
 * flag (the one thing QJSEngine lets another thread touch) and stops the statement the script
 * is running, so that a runaway query does not hold its locks either.
 */
class Watchdog
{
public:
    Watchdog(QJSEngine& engine, StatementGate& gate, std::chrono::milliseconds limit)
        : m_thread([this, &engine, &gate, limit] {
            const auto stopped = [this] { return m_stopped; };
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, limit, stopped))
                return;
            m_fired = true;
            engine.setInterrupted(true);
            gate.expire();
            while (!m_wake.wait_for(lock, kRepeat, stopped))
                gate.repeat();
        })
    {
    }
    ~Watchdog() { stop(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    /** Stops watching; returns true when the limit had already been reached. */
    bool stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_fired;
    }

private:
    static constexpr std::chrono::milliseconds kRepeat{100};

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    bool m_fired = false;
    std::thread m_thread;
};

/** The line of the rule where an error arose, 0 when it is not known. */
int ruleLine(const QJSValue& error)
{
    // The innermost frame may be the host's glue (a misspelt RS_SCR column); the frame the
    // author needs is the first one inside the rule.
    const QStringList frames = error.property(QStringLiteral("stack")).toString().split(u'\n');
    for (const QString& frame : frames) {
        if (!frame.contains(kRuleFile))
            continue;
        bool ok = false;
        const int line = frame.mid(frame.lastIndexOf(u':') + 1).toInt(&ok);
        if (ok && line > 0)
            return line;
    }
    const QString file = error.property(QStringLiteral("fileName")).toString();
    if (file.isEmpty() || file.contains(kRuleFile))
        return error.property(QStringLiteral("lineNumber")).toInt();
    return 0;
}

QString ruleLabel(const QString& ruleName)
{
    return ruleName.isEmpty() ? QStringLiteral("Rule script")
                              : QStringLiteral("Rule '%1'").arg(ruleName);
}

QString errorText(const QString& ruleName, int line, const QString& message)
{
    if (line > 0)
        return QStringLiteral("%1, line %2: %3").arg(ruleLabel(ruleName)).arg(line).arg(message);
    return QStringLiteral("%1: %2").arg(ruleLabel(ruleName), message);
}

QString interruptedText(const QString& ruleName, std::chrono::milliseconds limit)
{
    return QStringLiteral("%1 was interrupted: it ran longer than %2 seconds.")
        .arg(ruleLabel(ruleName), QString::number(static_cast<double>(limit.count()) / 1000.0));
}

QJSValue byReference(QJSEngine& engine, const QJSValue& value)
{
    QJSValue ref = engine.newObject();
    ref.setProperty(QStringLiteral("value"), value);
    return ref;
}

QString textOf(const QJSValue& v)
{
    return v.isUndefined() || v.isNull() ? QString() : v.toString();
}

qlonglong groupOf(const QJSValue& v)
{
    const double d = v.toNumber();
    return std::isfinite(d) ? static_cast<qlonglong>(d) : 0;
}

/** The outcome before the script has a say: the current owner and group, the row as given. */
RuleOutcome unchangedOutcome(const RuleInput& in)
{
    RuleOutcome out;
    out.newOwner = in.currentOwner;
    out.newGroup = in.currentGroup;
    out.row = in.row;
    return out;
}

/** Lets the proposed owner and group of the move stand. */
void keepProposedOwner(RuleOutcome& out, const RuleInput& in)
{
    out.newOwner = in.proposedOwner;
    out.newGroup = in.proposedGroup;
}

/** Loads the host's glue into the engine and makes BXDB of it; returns the glue. */
QJSValue installHost(QJSEngine& engine, ScriptDatabase& bxdb)
{
    QJSEngine::setObjectOwnership(&bxdb, QJSEngine::CppOwnership);
    engine.installExtensions(QJSEngine::ConsoleExtension);
    const QJSValue host =
        engine.evaluate(kHostCode, QStringLiteral("bx-host")).call({engine.newQObject(&bxdb)});
    Q_ASSERT(!host.isError());
    engine.globalObject().setProperty(QStringLiteral("BXDB"),
                                      host.property(QStringLiteral("bxdb")));
    return host;
}

/** The task row as the script sees it, and each column's value before the script ran. */
struct ScriptRow
{
    QJSValue target;
    QHash<QString, QJSValue> before;
};

/** Installs the task row as RS_SCR. */
ScriptRow installRow(QJSEngine& engine, const QJSValue& host, const QVariantMap& row)
{
    // The row as the script first sees it is kept to tell which columns the script assigned: an
    // untouched column goes back exactly as it came, whatever its type.
    ScriptRow out{engine.newObject(), {}};
    for (auto it = row.cbegin(); it != row.cend(); ++it) {
        const QJSValue value = toJs(engine, it.value());
        out.target.setProperty(it.key(), value);
        out.before.insert(it.key(), value);
    }
    engine.globalObject().setProperty(
        QStringLiteral("RS_SCR"),
        host.property(QStringLiteral("row"))
            .call({out.target, QJSValue(true), QJSValue(QStringLiteral("RS_SCR"))}));
    return out;
}

/** The by-reference arguments of SCRMain the script sets: stage, new owner, new group. */
struct MainOutputs
{
    QJSValue targetStage;
    QJSValue newOwner;
    QJSValue newGroup;
};

/** How a run ended: failed or not, the error or thrown value, the stack the engine gave. */
struct ScriptResult
{
    bool failed = false;
    QJSValue value;
    QStringList stack;
};

/** Runs the script's top level. */
ScriptResult evaluateScript(QJSEngine& engine, const QString& script)
{
    ScriptResult r;
    r.value = engine.evaluate(script, kRuleFile, 1, &r.stack);
    r.failed = r.value.isError() || !r.stack.isEmpty();
    return r;
}

/** Calls SCRMain with its eight arguments; a missing SCRMain or a throw fails the run. */
void callScriptMain(QJSEngine& engine, const QJSValue& host, const RuleInput& in,
                    const MainOutputs& outputs, ScriptResult& result, RuleOutcome& out)
{
    const QJSValue main = engine.globalObject().property(QStringLiteral("SCRMain"));
    if (!main.isCallable()) {
        result.failed = true;
        result.value = QJSValue(QStringLiteral("SCRMain is not a function"));
        return;
    }
    out.ran = true;
    QJSValue args = engine.newArray(8);
    const QJSValue values[] = {
        QJSValue(in.currentOwner),  QJSValue(static_cast<double>(in.currentGroup)),
        QJSValue(in.proposedOwner), QJSValue(static_cast<double>(in.proposedGroup)),
        QJSValue(in.serverFlag),    outputs.targetStage,
        outputs.newOwner,           outputs.newGroup};
    for (quint32 i = 0; i < 8; ++i)
        args.setProperty(i, values[i]);
    const QJSValue call = host.property(QStringLiteral("call")).call({main, args});
    if (call.isError()) {
        result.failed = true;
        result.value = call;
    } else if (call.property(QStringLiteral("thrown")).toBool()) {
        result.failed = true;
        result.value = call.property(QStringLiteral("error"));
    }
}

/** Copies the columns the script assigned into `written`, in the types the columns had. */
void takeRowWrites(const ScriptRow& row, const QVariantMap& given, QVariantMap& written)
{
    for (auto it = row.before.cbegin(); it != row.before.cend(); ++it) {
        const QJSValue now = row.target.property(it.key());
        if (!now.strictlyEquals(it.value()))
            written.insert(it.key(), writtenValue(now, given.value(it.key())));
    }
}

/** Takes the stage, owner and group the script left in SCRMain's by-reference arguments. */
void takeOutputs(const MainOutputs& outputs, RuleOutcome& out)
{
    out.targetStage = textOf(outputs.targetStage.property(QStringLiteral("value"))).trimmed();
    out.newOwner = textOf(outputs.newOwner.property(QStringLiteral("value"))).trimmed();
    out.newGroup = groupOf(outputs.newGroup.property(QStringLiteral("value")));
}

/** The text of a run that failed without being interrupted, with the line where it is known. */
QString failureText(const QString& ruleName, const ScriptResult& result)
{
    if (result.value.isError())
        return errorText(ruleName, ruleLine(result.value), result.value.toString());
    // A thrown value that is not an Error carries no position; a top-level one still has its
    // frame in the stack the engine handed back.
    int line = 0;
    if (!result.stack.isEmpty())
        line = result.stack.first().section(u':', 1, 1).toInt();
    return errorText(ruleName, line, result.value.toString());
}

} // namespace

QString StageRule::loadScript(Database& db, const QString& ruleName)
{
    const RecordSet rs = db.query(QStringLiteral("SELECT SCRIPT FROM LU_RULES WHERE ") +
                                      db.dialect().textEquals(QStringLiteral("RULE_NAME")),
                                  {ruleName});
    return rs.text(QStringLiteral("SCRIPT"));
}

RuleOutcome StageRule::run(Database& db, const QString& ruleName, const RuleInput& in,
                           std::chrono::milliseconds limit)
{
    QString script;
    try {
        script = loadScript(db, ruleName);
    } catch (const DbError& e) {
        RuleOutcome out = unchangedOutcome(in);
        out.error = QStringLiteral("%1 could not be read: %2").arg(ruleLabel(ruleName), e.text());
        return out;
    }
    return runScript(db, script, in, ruleName, limit);
}

RuleOutcome StageRule::runScript(Database& db, const QString& script, const RuleInput& in,
                                 const QString& ruleName, std::chrono::milliseconds limit)
{
    RuleOutcome out = unchangedOutcome(in);
    const QString trimmed = script.trimmed();
    if (trimmed.isEmpty()) {
        keepProposedOwner(out, in);
        return out;
    }

    // The script's writes stand or fall together: a script that fails leaves none of them.
    // Inside the caller's transaction this is a savepoint; the caller's rollback undoes them too.
    std::optional<Transaction> scriptTx;
    try {
        scriptTx.emplace(db);
    } catch (const DbError& e) {
        out.error = errorText(ruleName, 0, e.text());
        return out;
    }

    // Declared first so that they outlive the engine that wraps them.
    StatementGate gate(db);
    ScriptDatabase bxdb(db, gate);
    QJSEngine engine;
    const QJSValue host = installHost(engine, bxdb);
    const ScriptRow row = installRow(engine, host, in.row);
    const MainOutputs outputs{byReference(engine, QJSValue(QString())),
                              byReference(engine, QJSValue(in.currentOwner)),
                              byReference(engine, QJSValue(static_cast<double>(in.currentGroup)))};

    // A script that merely mentions SCRMain at its very start (or not at all) is loaded but not
    // called; the proposed owner then stands.
    const bool callMain = trimmed.indexOf(QStringLiteral("SCRMain")) > 0;

    Watchdog watchdog(engine, gate, limit);
    ScriptResult result = evaluateScript(engine, script);
    if (!result.failed && callMain)
        callScriptMain(engine, host, in, outputs, result, out);
    const bool timedOut = watchdog.stop();

    takeRowWrites(row, in.row, out.row);
    if (result.failed) {
        scriptTx.reset();
        // As far as the script got: the caller sees what it had set before it stopped.
        takeOutputs(outputs, out);
        out.interrupted = timedOut;
        out.error = timedOut ? interruptedText(ruleName, limit) : failureText(ruleName, result);
        return out;
    }
    try {
        scriptTx->commit();
    } catch (const DbError& e) {
        takeOutputs(outputs, out);
        out.error = errorText(ruleName, 0, e.text());
        return out;
    }
    if (!callMain) {
        keepProposedOwner(out, in);
        return out;
    }
    takeOutputs(outputs, out);
    if (out.newOwner.isEmpty())
        keepProposedOwner(out, in);
    return out;
}

} // namespace bx

#include "StageRule.moc"
