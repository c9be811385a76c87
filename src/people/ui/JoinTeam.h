#pragma once

#include "core/ui/SessionDialog.h"

class QLineEdit;
class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Lets the signed-in user join a workshop found by the beginning of its name or picked from the
 * recent list. Join (or a double click) joins through WorkshopService::join and closes the window.
 */
class JoinTeam : public SessionDialog
{
    Q_OBJECT
public:
    JoinTeam(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Fills the recent list with the recently used workshops, newest first. */
    void AddRecentWorkshops();

    /** The joined workshop's GROUP_ID after Join; 0 before. */
    qlonglong joinedGroupId() const { return m_joined; }

private:
    void onSearch();
    void joinFrom(QListWidget* list);

    qlonglong m_joined = 0;
    QLineEdit* m_txtSearch;
    QListWidget* m_lstGroups;
    QListWidget* m_lstRecent;
};

} // namespace bx
