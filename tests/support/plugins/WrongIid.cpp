// A plug-in built against an older interface: its IID names another version.

#include <QObject>
#include <QWidget>
#include <QtPlugin>

namespace old {
class TaskPlugInFactory
{
public:
    virtual ~TaskPlugInFactory() = default;
    virtual QWidget* create(const QString& progId, QWidget* parent) = 0;
};
} // namespace old

Q_DECLARE_INTERFACE(old::TaskPlugInFactory, "org.brindlepax.TaskPlugInFactory/0.9")

namespace {

class OldFactory final : public QObject, public old::TaskPlugInFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.brindlepax.TaskPlugInFactory/0.9" FILE "WrongIid.json")
    Q_INTERFACES(old::TaskPlugInFactory)

public:
    QWidget* create(const QString&, QWidget* parent) override { return new QWidget(parent); }
};

} // namespace

#include "WrongIid.moc"
