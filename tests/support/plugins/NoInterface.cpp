// A plug-in library whose instance offers no interface at all.

#include "tasks/ui/PlugInApi.h"

#include <QObject>

namespace {

class Nothing final : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID BX_TASK_PLUGIN_IID FILE "NoInterface.json")
};

} // namespace

#include "NoInterface.moc"
