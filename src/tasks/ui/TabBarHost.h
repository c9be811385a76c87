#pragma once

#include "tasks/AttachmentView.h"

#include <QList>
#include <QObject>

class QTabWidget;
class QWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The task editor's tabs for its tab-bar attachments: after the editor's fixed tabs, one tab for
 * each checklist ("K") attachment shown in the tab bar, captioned with the checklist's name and
 * showing it to fill in. The editor builds them again whenever it reads its attachments, removes
 * one before its row is deleted and all of them before it shows another task.
 */
class TabBarHost final : public QObject
{
    Q_OBJECT
public:
    TabBarHost(Session& session, Prompt& prompt, QTabWidget& tabs);

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
    };

    void removeAt(qsizetype index);

    Session& m_session;
    Prompt& m_prompt;
    QTabWidget& m_tabs;
    QList<Tab> m_hosted;
};

} // namespace bx
