#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace bx {

class HostedPlugIn;
class Session;

namespace plugins {
struct PlugInDefinition;
}

/**
 * The main window's page of one plug-in: its widget, named `Plugin_Name`, made by the plug-in host
 * and told the user ("User_ID") and the database ("BXDB", "bODBC"). The page is named by its key,
 * the plug-in's id followed by "BXTabArray".
 */
class TabBXControl final : public QWidget
{
public:
    TabBXControl(Session& session, const plugins::PlugInDefinition& plugIn, QWidget* parent);
    ~TabBXControl() override;

    /** The key of plug-in `id`'s page. */
    static QString keyOf(qlonglong id);

    /** True while the plug-in runs; false when it could not be made or failed. */
    bool isRunning() const;
    /** What the host says when it is not running. */
    QString failure() const;
    /** Tells the plug-in "EXIT", before its page goes. */
    void exitPlugIn();

private:
    std::unique_ptr<HostedPlugIn> m_host;
};

} // namespace bx
