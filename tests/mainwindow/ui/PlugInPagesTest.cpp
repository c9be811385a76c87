#include "core/db/Database.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/TeamView.h"
#include "support/WindowTest.h"
#include "tasks/ui/PlugInHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

class PlugInPagesTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        qputenv("BRINDLEPAX_PLUGINS", BX_TEST_PLUGIN_DIR ":" BX_SAMPLE_PLUGIN_DIR);
    }
    void TearDown() override { qunsetenv("BRINDLEPAX_PLUGINS"); }

    void addPlugIn(qlonglong id, const QString& label, const QString& progId, bool separate,
                   bool offered = true)
    {
        db().execute(u"INSERT INTO LU_ACTIVEX (ID, label, ActiveX_Control_Name, "
                     "Plugin_Name, ShowToolBox, Separate) VALUES (?, ?, ?, ?, ?, ?)"_s,
                     {id, label, progId, u"panel%1"_s.arg(id), offered, separate});
    }

    /** The toolbar's plug-ins: "button" or "menu", caption and id, in order. */
    static QStringList toolbox(Access_Form& form)
    {
        QStringList out;
        for (QAction* a : child<QToolBar>(form, "ToolbarPlugIns")->actions())
            if (a->objectName() == QLatin1String("BXCustomControl"))
                out << u"button %1 %2"_s.arg(a->text(), a->data().toString());
        for (QAction* a : child<QMenu>(form, "mnuPlugIns")->actions())
            out << u"menu %1 %2"_s.arg(a->text(), a->objectName());
        return out;
    }

    /** The toolbar's action opening plug-in `id`. */
    static QAction* opener(Access_Form& form, qlonglong id)
    {
        QList<QAction*> actions = child<QToolBar>(form, "ToolbarPlugIns")->actions();
        actions += child<QMenu>(form, "mnuPlugIns")->actions();
        for (QAction* a : actions)
            if (a->data().toLongLong() == id)
                return a;
        ADD_FAILURE() << "no action opens plug-in " << id;
        return nullptr;
    }

    static QTabWidget* tabs(Access_Form& form) { return child<QTabWidget>(form, "TabStrip2"); }
};

// The toolbar offers the plug-ins, each once however often it is built, and follows a plug-in
// added through the Administration menu.
TEST_F(PlugInPagesTest, ToolbarFollowsEveryChangeWithoutDuplicates)
{
    addPlugIn(1, u"Stock"_s, u"BxSample.TaskPanel"_s, true);
    addPlugIn(2, u"Chairs & tables"_s, u"BxSample.TaskPanel"_s, false);
    addPlugIn(3, u"Hidden"_s, u"BxSample.TaskPanel"_s, true, false);
    Access_Form form(session, prompt);
    const QStringList offered{u"button Stock 1"_s, u"menu Chairs && tables 2"_s};
    EXPECT_EQ(toolbox(form), offered);
    form.Update_PLUGINS();
    form.Update_PLUGINS();
    EXPECT_EQ(toolbox(form), offered);

    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        child<QPushButton>(*dialog, "cmdOK")->click(); // no control name yet
        child<QLineEdit>(*dialog, "txtLabel")->setText(u"Desk"_s);
        child<QComboBox>(*dialog, "cboControlName")->setEditText(u"BxSample.TaskPanel"_s);
        child<QCheckBox>(*dialog, "chkToolBox")->setChecked(true);
        child<QPushButton>(*dialog, "cmdOK")->click();
    });
    child<QAction>(form, "mnuNewActiveX")->trigger();
    EXPECT_EQ(prompt.texts(), QStringList{u"Control Name field can't be empty."_s});
    const qlonglong desk =
        db().scalar(u"SELECT ID FROM LU_ACTIVEX WHERE label = 'Desk'"_s).toLongLong();
    EXPECT_EQ(toolbox(form), QStringList(offered) << u"menu Desk %1"_s.arg(desk));
}

// A plug-in opens one page, told the user and the database, which Close Tab closes after telling
// it "EXIT"; a plug-in that fails says so and opens none.
TEST_F(PlugInPagesTest, APlugInOpensOnePageAndFailuresOpenNone)
{
    addPlugIn(1, u"Stock"_s, u"BxSample.TaskPanel"_s, true);
    addPlugIn(2, u"Missing"_s, u"BxTest.Missing"_s, false);
    Access_Form form(session, prompt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.teamView()->reading(); }, 20000));
    QAction* stock = opener(form, 1);
    ASSERT_NE(stock, nullptr);
    stock->trigger();
    form.showTab(u"TEAMWORK"_s);
    stock->trigger();
    EXPECT_EQ(form.tabKeys().count(u"1BXTabArray"_s), 1);
    EXPECT_EQ(form.currentTabKey(), u"1BXTabArray"_s);
    QTabWidget* strip = tabs(form);
    EXPECT_EQ(strip->tabText(strip->currentIndex()), u"Stock"_s);
    EXPECT_NE(strip->tabBar()->tabButton(strip->currentIndex(), QTabBar::RightSide), nullptr);
    QWidget* panel = strip->currentWidget()->findChild<QWidget*>(u"panel1"_s);
    ASSERT_NE(panel, nullptr);
    const QPointer<QPlainTextEdit> log = panel->findChild<QPlainTextEdit*>(u"Log"_s);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->toPlainText(), u"User_ID=admin\nBXDB=(database)\nbODBC=false"_s);

    child<QAction>(form, "mnuCloseTab")->trigger();
    EXPECT_FALSE(form.tabKeys().contains(u"1BXTabArray"_s));
    ASSERT_FALSE(log.isNull()); // the page goes once control is back in the event loop
    EXPECT_TRUE(log->toPlainText().endsWith(u"\nACTION=EXIT"_s));

    const QStringList keys = form.tabKeys();
    QAction* missing = opener(form, 2);
    ASSERT_NE(missing, nullptr);
    missing->trigger();
    EXPECT_EQ(prompt.texts(), QStringList{plugInNotInstalledMessage(u"BxTest.Missing"_s)});
    EXPECT_EQ(form.tabKeys(), keys);
}

} // namespace
