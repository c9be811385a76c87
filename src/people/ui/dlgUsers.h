#pragma once

#include <QDialog>
#include <QStringList>

class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Picker of users in the tree of supervisors (users who are not disabled). The user ticks users;
 * OK closes the window and chosenUsers() gives their IDs in tree order.
 */
class dlgUsers : public QDialog
{
    Q_OBJECT
public:
    dlgUsers(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~dlgUsers() override;

    /** The ticked users' IDs, in the order of the tree. */
    QStringList chosenUsers() const;
    /** Ticks the users of these IDs (trimmed, any case). */
    void setChosenUsers(const QStringList& userIds);

private:
    QTreeWidget* m_tree;
};

} // namespace bx
