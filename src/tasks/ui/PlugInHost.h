#pragma once

#include "tasks/PlugInProtocol.h"
#include "tasks/TaskTypes.h"
#include "tasks/ui/PlugInApi.h"

#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class QLabel;
class QWidget;

namespace bx {

class Session;

namespace plugins {
class PlugInCatalog;
}

QString plugInNotInstalledMessage(const QString& progId);
QString plugInNotLoadedMessage(const QString& progId, const QString& reason);
QString plugInFailedMessage(const QString& progId, const QString& reason);

/**
 * One plug-in hosted by the task editor, adapted to the task object's TaskPlugIn. Creating it
 * loads the library of its ProgID from the plug-in folders (and keeps it loaded) and makes the
 * plug-in's widget inside `parent`. When the ProgID is not installed, the library does not load or
 * lacks the interface, or a call into the plug-in throws, a label with the message takes the
 * widget's place, the message is logged, and from then on the plug-in is left out: writes go
 * nowhere and its properties read back what it was last told ("ACTION" reads as nothing), so
 * the task saves without it and with the editor's own values.
 *
 * Before each call into the plug-in the editor's unsaved values are written to a call record in the
 * per-user data folder, removed when the call returns (see plugins::PlugInCallRecord).
 */
class HostedPlugIn final : public TaskPlugIn
{
public:
    using UnsavedValues = std::function<QVariantMap()>;

    HostedPlugIn(Session& session, const plugins::PlugInCatalog& catalog, QString progId,
                 const QString& objectName, QWidget* parent, qlonglong task,
                 UnsavedValues unsaved = {});
    ~HostedPlugIn() override;

    HostedPlugIn(const HostedPlugIn&) = delete;
    HostedPlugIn& operator=(const HostedPlugIn&) = delete;

    const QString& progId() const { return m_progId; }
    /** The plug-in's widget, or the label with the message once it failed. */
    QWidget* widget() const;
    /** True while a working plug-in is hosted. */
    bool isRunning() const { return !m_plugIn.isNull(); }
    /** The message shown in its place, "" while it runs. */
    const QString& failure() const { return m_failure; }

    QVariant property(const QString& name) const override;
    void setProperty(const QString& name, const QVariant& value) override;
    /** Sends "BXDB" (the fenced database) and "bODBC" (the server engine). */
    void sendDatabase();
    /**
     * Its first showing with the editor's values and `key` (plugins::showPlugIn).
     * @return false when it answered "CANCEL"
     */
    bool show(const plugins::EditorValues& values, const QString& key);
    /** Tells it "EXIT"; the host removes it afterwards. */
    void exit();

private:
    class Database;

    void create(const plugins::PlugInCatalog& catalog, QWidget* parent);
    void fail(const QString& message);
    template <typename Call> bool guarded(Call&& call) const;

    Session& m_session;
    QString m_progId;
    QString m_objectName;
    qlonglong m_task = 0;
    UnsavedValues m_unsaved;
    std::unique_ptr<Database> m_database;
    QPointer<QWidget> m_parent;
    QPointer<QWidget> m_plugIn;
    QPointer<QLabel> m_label;
    QString m_failure;
    QVariantMap m_told; ///< what it was last told, by property
};

} // namespace bx
