#pragma once

#include <QWidget>

#include <functional>

class QPushButton;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;
class Stopwatch;

/**
 * The task editor's time tab: the task's bookings the user may see (ListView2, keys "TSH" + ID),
 * the commands to add, edit and delete them, the user's stopwatch (BXTIMER1) and the task's
 * report. Everything is off until the task is saved.
 */
class TimeSheetPane : public QWidget
{
    Q_OBJECT

public:
    TimeSheetPane(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Shows the bookings of task `number`; `saved` false turns every command off. */
    void setTask(qint64 number, bool saved);
    /** Opens the report of this task; given by the editor, which may open reports. */
    std::function<void(qint64 task)> openReport;

private:
    void reload();
    void addRecord();
    void editRecord();
    void deleteRecord();
    void startStopwatch();
    void stopStopwatch();
    void applyEnabling();
    qint64 selectedId() const;

    Session& m_session;
    Prompt& m_prompt;
    qint64 m_task = 0;
    bool m_saved = false;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QPushButton* m_start;
    QPushButton* m_stop;
    QPushButton* m_report;
    Stopwatch* m_stopwatch;
};

} // namespace bx
