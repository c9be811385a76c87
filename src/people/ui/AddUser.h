#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * Picker of the users who are not disabled, as one list ordered by user ID. Already present users
 * (for example the members a workshop has) can be left out. OK closes the window; chosenUsers()
 * gives the ticked IDs.
 */
class AddUser : public QDialog
{
    Q_OBJECT
public:
    AddUser(Session& session, Prompt& prompt, const QStringList& leaveOut = {},
            QWidget* parent = nullptr);
    ~AddUser() override;

    QStringList chosenUsers() const;

private:
    QListWidget* m_list;
};

} // namespace bx
