#include "tasks/ui/TabBarHost.h"

#include "tasks/AttachmentType.h"
#include "tasks/PlugInCatalog.h"
#include "tasks/ui/PlugInHost.h"
#include "workflow/ui/ChecklistView.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace bx {

TabBarHost::TabBarHost(Session& session, Prompt& prompt, QTabWidget& tabs)
    : QObject(&tabs)
    , m_session(session)
    , m_prompt(prompt)
    , m_tabs(tabs)
{
}

TabBarHost::~TabBarHost()
{
    // The pages go with the tab widget; the plug-ins are told first.
    for (Tab& tab : m_hosted)
        if (tab.plugIn)
            tab.plugIn->exit();
}

void TabBarHost::rebuild(const QList<attachments::ListedAttachment>& attachments)
{
    qlonglong inFront = 0;
    for (const Tab& tab : m_hosted)
        if (m_tabs.currentWidget() == tab.page)
            inFront = tab.attachNumber;
    QList<Tab> old = std::move(m_hosted);
    m_hosted.clear();
    {
        const QSignalBlocker quiet(&m_tabs);
        for (const Tab& tab : old)
            m_tabs.removeTab(m_tabs.indexOf(tab.page));
    }
    for (const attachments::ListedAttachment& item : attachments) {
        if (!item.showInTabBar)
            continue;
        Tab tab;
        if (isAttachmentType(item.type, AttachmentType::Checklist)) {
            auto* view = new ChecklistView(m_session, m_prompt, item.number);
            view->setObjectName(QStringLiteral("ChecklistTab%1").arg(item.number));
            view->reload();
            m_tabs.addTab(view, item.fileName.toString());
            tab = {item.number, view, nullptr};
        } else if (isAttachmentType(item.type, AttachmentType::PlugIn)) {
            const auto running = std::find_if(old.begin(), old.end(), [&](const Tab& t) {
                return t.plugIn && t.attachNumber == item.number;
            });
            if (running != old.end()) {
                tab = *running;
                old.erase(running);
            } else {
                tab = plugInTab(item);
            }
            m_tabs.addTab(tab.page, item.title);
        } else {
            continue;
        }
        m_hosted.append(tab);
        if (item.number == inFront)
            m_tabs.setCurrentWidget(tab.page);
    }
    for (Tab& tab : old)
        dispose(tab);
}

TabBarHost::Tab TabBarHost::plugInTab(const attachments::ListedAttachment& item)
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("PlugInTab%1").arg(item.number));
    auto* box = new QVBoxLayout(page);
    box->setContentsMargins(0, 0, 0, 0);
    const PlugInValues values = m_values;
    auto plugIn = std::make_shared<HostedPlugIn>(
        m_session, plugins::PlugInCatalog(), item.fileName.toString().trimmed(),
        QStringLiteral("BX_Custom"), page, values ? values().task : 0,
        [values] { return values ? plugins::recordValues(values()) : QVariantMap(); });
    box->addWidget(plugIn->widget());
    if (values)
        plugIn->show(values(), QString::number(item.number));
    return {item.number, page, plugIn};
}

void TabBarHost::remove(qlonglong attachNumber)
{
    for (qsizetype i = m_hosted.size() - 1; i >= 0; --i)
        if (m_hosted.at(i).attachNumber == attachNumber)
            removeAt(i);
}

void TabBarHost::clear()
{
    for (qsizetype i = m_hosted.size() - 1; i >= 0; --i)
        removeAt(i);
}

void TabBarHost::removeAt(qsizetype index)
{
    Tab tab = m_hosted.takeAt(index);
    m_tabs.removeTab(m_tabs.indexOf(tab.page));
    dispose(tab);
}

void TabBarHost::dispose(Tab& tab)
{
    if (tab.plugIn) {
        tab.plugIn->exit();
        tab.plugIn.reset();
    }
    tab.page->deleteLater();
}

QList<qlonglong> TabBarHost::shown() const
{
    QList<qlonglong> numbers;
    for (const Tab& tab : m_hosted)
        numbers << tab.attachNumber;
    return numbers;
}

QWidget* TabBarHost::pageOf(qlonglong attachNumber) const
{
    for (const Tab& tab : m_hosted)
        if (tab.attachNumber == attachNumber)
            return tab.page;
    return nullptr;
}

} // namespace bx
