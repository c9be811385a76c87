#include "tasks/ui/TabBarHost.h"

#include "tasks/AttachmentType.h"
#include "workflow/ui/ChecklistView.h"

#include <QTabWidget>

namespace bx {

TabBarHost::TabBarHost(Session& session, Prompt& prompt, QTabWidget& tabs)
    : QObject(&tabs)
    , m_session(session)
    , m_prompt(prompt)
    , m_tabs(tabs)
{
}

void TabBarHost::rebuild(const QList<attachments::ListedAttachment>& attachments)
{
    qlonglong inFront = 0;
    for (const Tab& tab : m_hosted)
        if (m_tabs.currentWidget() == tab.page)
            inFront = tab.attachNumber;
    clear();
    for (const attachments::ListedAttachment& item : attachments) {
        if (!item.showInTabBar || !isAttachmentType(item.type, AttachmentType::Checklist))
            continue;
        auto* view = new ChecklistView(m_session, m_prompt, item.number);
        view->setObjectName(QStringLiteral("ChecklistTab%1").arg(item.number));
        view->reload();
        m_tabs.addTab(view, item.fileName.toString());
        m_hosted.append({item.number, view});
        if (item.number == inFront)
            m_tabs.setCurrentWidget(view);
    }
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
    QWidget* page = m_hosted.takeAt(index).page;
    m_tabs.removeTab(m_tabs.indexOf(page));
    page->deleteLater();
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
