// BxTest.Throwing throws when told "SAVE"; BxTest.Aborting ends the process when told the action
// named by BX_TEST_PLUGIN_ABORT_ON ("SAVE" when unset).

#include "tasks/ui/PlugInApi.h"

#include <QDynamicPropertyChangeEvent>
#include <QObject>
#include <QWidget>

#include <cstdlib>
#include <stdexcept>

namespace {

class BadPlugIn final : public QWidget
{
public:
    BadPlugIn(bool aborts, QWidget* parent)
        : QWidget(parent)
        , m_aborts(aborts)
    {
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName() == "ACTION") {
            const QString action = property("ACTION").toString();
            if (m_aborts &&
                action == qEnvironmentVariable("BX_TEST_PLUGIN_ABORT_ON", QStringLiteral("SAVE")))
                std::abort();
            if (!m_aborts && action == QLatin1String("SAVE"))
                throw std::runtime_error("the reference list is unreachable");
        }
        return QWidget::event(e);
    }

private:
    bool m_aborts;
};

class BadFactory final : public QObject, public bx::TaskPlugInFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID BX_TASK_PLUGIN_IID FILE "BadPlugIns.json")
    Q_INTERFACES(bx::TaskPlugInFactory)

public:
    QWidget* create(const QString& progId, QWidget* parent) override
    {
        return new BadPlugIn(progId.endsWith(QLatin1String("Aborting"), Qt::CaseInsensitive),
                             parent);
    }
};

} // namespace

#include "BadPlugIns.moc"
