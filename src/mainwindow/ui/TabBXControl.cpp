#include "mainwindow/ui/TabBXControl.h"

#include "core/Session.h"
#include "mainwindow/PlugInToolbox.h"
#include "tasks/PlugInCatalog.h"
#include "tasks/ui/PlugInHost.h"

#include <QVBoxLayout>

namespace bx {

TabBXControl::TabBXControl(Session& session, const plugins::PlugInDefinition& plugIn,
                           QWidget* parent)
    : QWidget(parent)
{
    setObjectName(keyOf(plugIn.id));
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    const QString name = plugIn.plugInName.isEmpty() ? plugIn.progId : plugIn.plugInName;
    m_host = std::make_unique<HostedPlugIn>(session, plugins::PlugInCatalog(), plugIn.progId, name,
                                            this, 0);
    box->addWidget(m_host->widget());
    if (!m_host->isRunning())
        return;
    m_host->setProperty(QStringLiteral("User_ID"), session.user.userId);
    m_host->sendDatabase();
}

TabBXControl::~TabBXControl() = default;

QString TabBXControl::keyOf(qlonglong id)
{
    return QString::number(id) + QStringLiteral("BXTabArray");
}

bool TabBXControl::isRunning() const
{
    return m_host->isRunning();
}

QString TabBXControl::failure() const
{
    return m_host->failure();
}

void TabBXControl::exitPlugIn()
{
    m_host->exit();
}

} // namespace bx
