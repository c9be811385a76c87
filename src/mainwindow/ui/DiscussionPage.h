#pragma once

#include <QWidget>

class QCheckBox;
class QTableView;

namespace bx {

class Prompt;
class Session;
class TaskGridModel;

/**
 * The "DISCUSSION" page of the main window: the tasks of the current workshop in the grid's
 * columns, optionally only those with a discussion entry (check box "chkOnlyDiscussion").
 * Double-clicking a row asks for the task to be opened.
 */
class DiscussionPage : public QWidget
{
    Q_OBJECT
public:
    DiscussionPage(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Reads the list again (REFRESHDISCUSSION); a database error is reported and empties it. */
    void refresh();

    TaskGridModel* model() const { return m_model; }

signals:
    void openTask(qlonglong number);

private:
    Session& m_session;
    Prompt& m_prompt;
    QCheckBox* m_onlyDiscussion;
    QTableView* m_list;
    TaskGridModel* m_model;
};

} // namespace bx
