#include "tasks/ui/PlugInHost.h"

#include "core/ErrorLog.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "tasks/PlugInCatalog.h"

#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QPluginLoader>
#include <QWidget>

#include <exception>
#include <stdexcept>

namespace bx {

namespace {

const QString kLogTitle = QStringLiteral("Plug-in");

// Loaded libraries stay loaded for the life of the process: a plug-in's widgets, and the code of
// their classes, may outlive the editor that created them.
QObject* loadedInstance(const QString& path, QString& reason)
{
    static QHash<QString, QObject*> loaded;
    if (const auto it = loaded.constFind(path); it != loaded.constEnd())
        return it.value();
    QPluginLoader loader(path);
    QObject* instance = loader.instance();
    if (instance == nullptr) {
        reason = loader.errorString();
        return nullptr;
    }
    loaded.insert(path, instance);
    return instance;
}

} // namespace

QString plugInNotInstalledMessage(const QString& progId)
{
    return QStringLiteral("The plug-in \"%1\" is not installed on this computer.").arg(progId);
}

QString plugInNotLoadedMessage(const QString& progId, const QString& reason)
{
    return QStringLiteral("The plug-in \"%1\" could not be loaded: ").arg(progId) + reason;
}

QString plugInFailedMessage(const QString& progId, const QString& reason)
{
    return QStringLiteral("The plug-in \"%1\" failed and was closed: ").arg(progId) + reason;
}

// The plug-in's database: the rule scripts' fence, and only std::runtime_error crosses into the
// plug-in.
class HostedPlugIn::Database final : public BXDB
{
public:
    explicit Database(bx::Database& db)
        : m_db(db)
    {
    }

    QList<QVariantMap> query(const QString& sql, const QVariantList& params) override
    {
        try {
            const RecordSet rs = m_db.queryScripted(sql, params);
            QList<QVariantMap> rows;
            for (const QVariantList& row : rs.rows()) {
                QVariantMap named;
                for (int c = 0; c < rs.columnCount(); ++c)
                    named.insert(rs.columns().at(c), row.value(c));
                rows << named;
            }
            return rows;
        } catch (const DbError& e) {
            throw std::runtime_error(e.what());
        }
    }

    qlonglong execute(const QString& sql, const QVariantList& params) override
    {
        try {
            return m_db.executeScripted(sql, params);
        } catch (const DbError& e) {
            throw std::runtime_error(e.what());
        }
    }

private:
    bx::Database& m_db;
};

HostedPlugIn::HostedPlugIn(Session& session, const plugins::PlugInCatalog& catalog, QString progId,
                           const QString& objectName, QWidget* parent, qlonglong task,
                           UnsavedValues unsaved)
    : m_session(session)
    , m_progId(std::move(progId))
    , m_objectName(objectName)
    , m_task(task)
    , m_unsaved(std::move(unsaved))
{
    create(catalog, parent);
}

HostedPlugIn::~HostedPlugIn()
{
    delete m_plugIn.data();
    delete m_label.data();
}

QWidget* HostedPlugIn::widget() const
{
    if (m_plugIn)
        return m_plugIn.data();
    return m_label.data();
}

void HostedPlugIn::create(const plugins::PlugInCatalog& catalog, QWidget* parent)
{
    m_parent = parent;
    const plugins::PlugInLibrary* library = catalog.find(m_progId);
    if (library == nullptr) {
        fail(plugInNotInstalledMessage(m_progId));
        return;
    }
    QString reason;
    QObject* instance = loadedInstance(library->path, reason);
    auto* factory = qobject_cast<TaskPlugInFactory*>(instance);
    if (factory == nullptr) {
        if (instance != nullptr)
            reason = QStringLiteral("the library does not offer the interface %1")
                         .arg(QStringLiteral(BX_TASK_PLUGIN_IID));
        fail(plugInNotLoadedMessage(m_progId, reason));
        return;
    }
    QWidget* made = nullptr;
    if (!guarded([&] { made = factory->create(m_progId, parent); }))
        return;
    if (made == nullptr) {
        fail(plugInNotLoadedMessage(m_progId,
                                    QStringLiteral("the library made no control for this name")));
        return;
    }
    made->setObjectName(m_objectName);
    m_plugIn = made;
}

void HostedPlugIn::fail(const QString& message)
{
    m_failure = message;
    ErrorLog(m_session.clock()).write(kLogTitle, message);
    QWidget* gone = m_plugIn.data();
    m_plugIn.clear();
    m_label = new QLabel(message, gone ? gone->parentWidget() : m_parent.data());
    m_label->setObjectName(m_objectName);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignCenter);
    if (gone) {
        gone->setObjectName(QString());
        m_label->setGeometry(gone->geometry());
        if (QWidget* parent = gone->parentWidget(); parent && parent->layout())
            delete parent->layout()->replaceWidget(gone, m_label);
        gone->hide();
        gone->deleteLater();
    }
    m_label->show();
}

template <typename Call> bool HostedPlugIn::guarded(Call&& call) const
{
    QVariantMap values;
    if (m_unsaved)
        values = m_unsaved();
    const QString notWritten = plugins::writeCallRecord({m_progId, m_task, values});
    if (!notWritten.isEmpty())
        ErrorLog(m_session.clock()).write(kLogTitle, notWritten);
    QString reason;
    try {
        call();
    } catch (const std::exception& e) {
        reason = QString::fromLocal8Bit(e.what());
    } catch (...) {
        reason = QStringLiteral("an unknown exception");
    }
    plugins::removeCallRecord(m_task);
    if (reason.isNull())
        return true;
    const_cast<HostedPlugIn*>(this)->fail(plugInFailedMessage(m_progId, reason));
    return false;
}

QVariant HostedPlugIn::property(const QString& name) const
{
    if (!m_plugIn)
        return name == QLatin1String("ACTION") ? QVariant() : m_told.value(name);
    QVariant value;
    guarded([&] { value = m_plugIn->property(name.toUtf8().constData()); });
    return value;
}

void HostedPlugIn::setProperty(const QString& name, const QVariant& value)
{
    m_told.insert(name, value);
    if (!m_plugIn)
        return;
    const QByteArray key = name.toUtf8();
    guarded([&] {
        // A property set to the value it holds is not announced; an action is a command, so the
        // same one told twice is heard twice.
        if (name == QLatin1String("ACTION") && m_plugIn->property(key.constData()) == value)
            m_plugIn->setProperty(key.constData(), QVariant());
        if (m_plugIn)
            m_plugIn->setProperty(key.constData(), value);
    });
}

void HostedPlugIn::sendDatabase()
{
    if (!m_database)
        m_database = std::make_unique<Database>(m_session.db());
    setProperty(QStringLiteral("BXDB"), QVariant::fromValue<BXDB*>(m_database.get()));
    setProperty(QStringLiteral("bODBC"), m_session.connection.serverFlag);
}

bool HostedPlugIn::show(const plugins::EditorValues& values, const QString& key)
{
    return plugins::showPlugIn(*this, values, key, [this] { sendDatabase(); });
}

void HostedPlugIn::exit()
{
    setProperty(QStringLiteral("ACTION"), QStringLiteral("EXIT"));
}

} // namespace bx
