// BxSample.TaskPanel: a reference kept in the task's custom field and a stage due date. It refuses
// the task's save while the reference is empty and lists every property it was given.

#include "tasks/ui/PlugInApi.h"

#include <QDate>
#include <QDateEdit>
#include <QDynamicPropertyChangeEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QWidget>

namespace {

const QDate kNoDate(1900, 1, 1);

class TaskPanel final : public QWidget
{
public:
    explicit TaskPanel(QWidget* parent)
        : QWidget(parent)
    {
        m_reference->setObjectName(QStringLiteral("Reference"));
        m_stageDate->setObjectName(QStringLiteral("StageDate"));
        m_stageDate->setMinimumDate(kNoDate);
        m_stageDate->setSpecialValueText(QStringLiteral(" "));
        m_stageDate->setDate(kNoDate);
        m_stageDate->setCalendarPopup(true);
        m_log->setObjectName(QStringLiteral("Log"));
        m_log->setReadOnly(true);
        auto* form = new QFormLayout(this);
        form->addRow(QStringLiteral("Reference:"), m_reference);
        form->addRow(QStringLiteral("Stage due:"), m_stageDate);
        form->addRow(QStringLiteral("Received:"), m_log);
    }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::DynamicPropertyChange && !m_answering) {
            const QByteArray name = static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName();
            const QVariant value = property(name.constData());
            if (value.isValid()) // not a property taken away
                received(name, value);
        }
        return QWidget::event(e);
    }

private:
    void received(const QByteArray& name, const QVariant& value)
    {
        const QString shown = name == "BXDB" ? QStringLiteral("(database)") : value.toString();
        m_log->appendPlainText(QString::fromLatin1(name) + QLatin1Char('=') + shown);
        if (name == "SCR_Custom_Field")
            m_reference->setText(value.toString());
        else if (name == "SCR_Lifecycle_End_Date")
            m_stageDate->setDate(value.toDate().isValid() ? value.toDate() : kNoDate);
        else if (name == "ACTION")
            act(value.toString());
    }

    void act(const QString& action)
    {
        if (action == QLatin1String("EDIT") || action == QLatin1String("VIEW")) {
            const bool readOnly = action == QLatin1String("VIEW");
            m_reference->setReadOnly(readOnly);
            m_stageDate->setReadOnly(readOnly);
        } else if (action == QLatin1String("SAVE")) {
            answer("SCR_Custom_Field", m_reference->text().trimmed());
            const QDate date = m_stageDate->date();
            answer("SCR_Lifecycle_End_Date", date == kNoDate ? QVariant() : QVariant(date));
            if (m_reference->text().trimmed().isEmpty())
                answer("ACTION", QStringLiteral("CANCEL"));
        }
    }

    void answer(const char* name, const QVariant& value)
    {
        m_answering = true;
        setProperty(name, value);
        m_answering = false;
    }

    QLineEdit* m_reference = new QLineEdit(this);
    QDateEdit* m_stageDate = new QDateEdit(this);
    QPlainTextEdit* m_log = new QPlainTextEdit(this);
    bool m_answering = false;
};

class SampleFactory final : public QObject, public bx::TaskPlugInFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID BX_TASK_PLUGIN_IID FILE "SamplePlugIn.json")
    Q_INTERFACES(bx::TaskPlugInFactory)

public:
    QWidget* create(const QString& progId, QWidget* parent) override
    {
        if (progId.compare(QStringLiteral("BxSample.TaskPanel"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new TaskPanel(parent);
    }
};

} // namespace

#include "SamplePlugIn.moc"
