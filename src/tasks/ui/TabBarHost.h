#pragma once

#include "tasks/AttachmentView.h"
#include "tasks/PlugInProtocol.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QTabWidget;
class QWidget;

namespace bx {

class HostedPlugIn;
class Prompt;
class Session;

/**
 * The task editor's tabs for its tab-bar attachments: after the editor's fixed tabs, one tab for
 * each checklist ("K") attachment shown in the tab bar, captioned with the checklist's name and
 * showing it to fill in, and one for the plug-in ("A") attachment shown there, captioned with its
 * label and hosting the plug-in as "BX_Custom" (its key the attachment number). The editor builds
 * them again whenever it reads its attachments (a plug-in still shown keeps running), removes one
 * before its row is deleted and all of them before it shows another task; a plug-in is told
 * "EXIT" before its tab goes.
 */
class TabBarHost final : public QObject
{
    Q_OBJECT
public:
    using PlugInValues = std::function<plugins::EditorValues()>;

    TabBarHost(Session& session, Prompt& prompt, QTabWidget& tabs);
    ~TabBarHost() override;

    /** What a plug-in of the tab bar is told of the editor (nothing is told without it). */
    void setPlugInValues(PlugInValues values) { m_values = std::move(values); }

    /** Builds the tabs for `attachments` (the task's list); the tab in front stays when it can. */
    void rebuild(const QList<attachments::ListedAttachment>& attachments);
    /** Removes the tab of attachment `attachNumber`, if it has one. */
    void remove(qlonglong attachNumber);
    /** Removes every tab of the host. */
    void clear();

    /** The attachments that have a tab, in tab order. */
    QList<qlonglong> shown() const;
    /** The page of attachment `attachNumber`'s tab, or null. */
    QWidget* pageOf(qlonglong attachNumber) const;

private:
    struct Tab
    {
        qlonglong attachNumber = 0;
        QWidget* page = nullptr;
        std::shared_ptr<HostedPlugIn> plugIn;
    };

    Tab plugInTab(const attachments::ListedAttachment& item);
    void removeAt(qsizetype index);
    void dispose(Tab& tab);

    Session& m_session;
    Prompt& m_prompt;
    QTabWidget& m_tabs;
    QList<Tab> m_hosted;
    PlugInValues m_values;
};

} // namespace bx
