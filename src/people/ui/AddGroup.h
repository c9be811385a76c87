#pragma once

#include <QDialog>

class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Picks one workshop for the user editor's "Member of" tab: every workshop, or (given a user ID)
 * only those the user is not in yet. OK hands back the chosen ID and name.
 */
class AddGroup : public QDialog
{
    Q_OBJECT
public:
    AddGroup(Session& session, Prompt& prompt, const QString& userId = {},
             QWidget* parent = nullptr);

    qlonglong selectedId() const { return m_id; }
    const QString& selectedName() const { return m_name; }

private:
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    QListWidget* m_lstGroups;
    qlonglong m_id = 0;
    QString m_name;
};

} // namespace bx
