// The main window's plug-ins: their toolbar, the page each opens in, and their administration.

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/PlugInToolbox.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/FindPage.h"
#include "mainwindow/ui/TabBXControl.h"
#include "mainwindow/ui/dlgActiveX.h"
#include "mainwindow/ui/dlgModifyActiveX.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace bx {

namespace {

const QString kButtonKey = QStringLiteral("BXCustomControl");

QString menuText(const QString& label)
{
    return QString(label).replace(u'&', QStringLiteral("&&"));
}

} // namespace

void Access_Form::buildPlugInToolbar()
{
    // Beside Toolbar3, on its row.
    m_plugInBar = addToolBar(QStringLiteral("Plug-ins"));
    m_plugInBar->setObjectName(QStringLiteral("ToolbarPlugIns"));
    m_plugInBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_plugInMenu = new QMenu(this);
    m_plugInMenu->setObjectName(QStringLiteral("mnuPlugIns"));
    QAction* button = command("PLUGINS", QStringLiteral("Plug-ins"), nullptr);
    button->setIcon(QPixmap::fromImage(plugins::defaultPlugInIcon()));
    button->setMenu(m_plugInMenu);
    m_plugInBar->addAction(button);
    if (auto* tool = qobject_cast<QToolButton*>(m_plugInBar->widgetForAction(button)))
        tool->setPopupMode(QToolButton::InstantPopup);
    m_plugInBar->setVisible(false);
}

void Access_Form::Update_PLUGINS()
{
    QList<plugins::ToolboxEntry> entries;
    if (m_session.isOpen() && !runCommand(m_session, m_prompt, [&] {
            entries = plugins::toolboxEntries(m_session.db());
        }))
        return;
    const QList<QAction*> old = m_plugInBar->actions();
    for (QAction* action : old)
        if (action->objectName() == kButtonKey) {
            m_plugInBar->removeAction(action);
            delete action;
        }
    m_plugInMenu->clear();
    for (const plugins::ToolboxEntry& entry : std::as_const(entries)) {
        const QIcon icon(QPixmap::fromImage(entry.icon));
        QAction* action = nullptr;
        if (entry.separate) {
            action = new QAction(icon, menuText(entry.label), m_plugInBar);
            action->setObjectName(kButtonKey);
            m_plugInBar->addAction(action);
        } else {
            action = m_plugInMenu->addAction(icon, menuText(entry.label));
            action->setObjectName(QString::number(entry.id));
        }
        action->setData(entry.id);
        const qlonglong id = entry.id;
        const QString label = entry.label;
        connect(action, &QAction::triggered, this, [this, id, label] { openPlugIn(id, label); });
    }
    m_commands.value(QStringLiteral("PLUGINS"))->setVisible(!m_plugInMenu->isEmpty());
    m_plugInBar->setVisible(!entries.isEmpty());
}

void Access_Form::openPlugIn(qlonglong id, const QString& label)
{
    if (showTab(TabBXControl::keyOf(id)))
        return;
    std::optional<plugins::PlugInDefinition> plugIn;
    if (!runCommand(m_session, m_prompt, [&] { plugIn = plugins::readPlugIn(m_session.db(), id); }))
        return;
    if (!plugIn) {
        showRefusal(m_prompt, plugins::plugInNotRegisteredMessage(label));
        return;
    }
    auto* page = new TabBXControl(m_session, *plugIn, m_tabs);
    if (!page->isRunning()) {
        const QString failure = page->failure();
        delete page;
        showRefusal(m_prompt, failure);
        return;
    }
    m_tabs->setCurrentIndex(m_tabs->addTab(page, menuText(plugIn->label)));
    showCloseButtons();
}

void Access_Form::closePage(int index)
{
    QWidget* page = m_tabs->widget(index);
    auto* plugIn = dynamic_cast<TabBXControl*>(page);
    if (!page || (!plugIn && !kClosableTabs.contains(page->objectName())))
        return;
    if (plugIn)
        plugIn->exitPlugIn();
    m_tabs->removeTab(index);
    if (m_find && page == static_cast<QWidget*>(m_find))
        m_find = nullptr;
    page->deleteLater();
}

void Access_Form::showCloseButtons()
{
    m_tabs->setTabsClosable(true);
    for (int i = 0; i < m_tabs->count(); ++i) {
        QWidget* page = m_tabs->widget(i);
        if (!kClosableTabs.contains(page->objectName()) && !dynamic_cast<TabBXControl*>(page))
            m_tabs->tabBar()->setTabButton(i, QTabBar::RightSide, nullptr);
    }
}

void Access_Form::closePlugInPages()
{
    for (int i = m_tabs->count() - 1; i >= 0; --i)
        if (dynamic_cast<TabBXControl*>(m_tabs->widget(i)))
            closePage(i);
}

void Access_Form::openPlugIns()
{
    dlgActiveX plugIns(m_session, m_prompt, this);
    if (plugIns.refresh())
        plugIns.exec();
    if (plugIns.changed())
        Update_PLUGINS();
}

void Access_Form::newPlugIn()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return;
    dlgModifyActiveX plugIn(m_session, m_prompt, QStringLiteral("ADD"), 0, this);
    if (plugIn.exec() == QDialog::Accepted)
        Update_PLUGINS();
}

} // namespace bx
