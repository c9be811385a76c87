#pragma once

#include "TaskEditorWindowFixture.h"

#include <QDynamicPropertyChangeEvent>
#include <QPlainTextEdit>
#include <QPointer>

namespace bx::test {

inline const QString kSample = QStringLiteral("BxSample.TaskPanel");
inline const QString kPanelLabel = QStringLiteral("O'Neil's reference panel");

/** Records the values of "ACTION" a plug-in's widget is told, while the widget lives. */
class ActionRecorder final : public QObject
{
public:
    explicit ActionRecorder(QWidget& plugIn)
        : m_plugIn(&plugIn)
    {
        plugIn.installEventFilter(this);
    }
    ~ActionRecorder() override
    {
        if (m_plugIn)
            m_plugIn->removeEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "ACTION") {
            const QVariant value = watched->property("ACTION");
            if (value.isValid())
                actions << value.toString();
        }
        return false;
    }
    QStringList actions;

private:
    QPointer<QWidget> m_plugIn;
};

/**
 * The task editor with the sample plug-in and the misbehaving test plug-ins installed, the sample
 * registered in LU_ACTIVEX, and one open task of the session's workshop.
 */
class PlugInWindowTest : public TaskEditorWindowTest
{
protected:
    void SetUp() override
    {
        qputenv("BRINDLEPAX_PLUGINS", BX_TEST_PLUGIN_DIR ":" BX_SAMPLE_PLUGIN_DIR);
        TaskEditorWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        db().execute(QStringLiteral("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label, "
                                    "Plugin_Name) VALUES (?, ?, ?, ?)"),
                     {1, kSample, kPanelLabel, QStringLiteral("Panel")});
        task = addTask({{scr::Title, QStringLiteral("Chairs")}});
    }
    void TearDown() override
    {
        TaskEditorWindowTest::TearDown();
        qunsetenv("BRINDLEPAX_PLUGINS");
    }

    qlonglong attachPlugIn(const QString& progId, bool tabBar)
    {
        return db().insertNumbered(
            QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
            {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Title"),
             QStringLiteral("Attach_Filename"), QStringLiteral("Show_In_TabBar")},
            {task, QStringLiteral("A"), progId + QStringLiteral(" tab"), progId,
             db().dialect().flag(tabBar)});
    }
    /** What the sample plug-in `plugIn` lists as received, one "name=value" a line. */
    static QString sampleLog(QWidget& plugIn)
    {
        auto* log = plugIn.findChild<QPlainTextEdit*>(QStringLiteral("Log"));
        EXPECT_NE(log, nullptr);
        return log ? log->toPlainText() : QString();
    }

    qlonglong task = 0;
};

} // namespace bx::test
