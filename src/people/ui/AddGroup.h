#pragma once

#include "core/ui/SessionDialog.h"

class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Picks one workshop for the user editor's "Member of" tab: every workshop, or (given a user ID)
 * only those the user is not in yet. OK hands back the chosen ID and name.
 */
class AddGroup : public SessionDialog
{
    Q_OBJECT
public:
    AddGroup(Session& session, Prompt& prompt, const QString& userId = {},
             QWidget* parent = nullptr);

    qlonglong selectedId() const { return m_id; }
    const QString& selectedName() const { return m_name; }

private:
    void onOk();

    QListWidget* m_lstGroups;
    qlonglong m_id = 0;
    QString m_name;
};

} // namespace bx
