#pragma once

#include <QDate>
#include <QWidget>

class QCalendarWidget;
class QTableView;

namespace bx {

class CalendarDayModel;
class Prompt;
class Session;

/**
 * The "CALENDAR" page of the main window: a month calendar of the current workshop whose days
 * with due tasks are bold and whose days with meetings are bold and blue, and below it the tasks
 * and meetings of the chosen day. Double-clicking a row asks for the task to be opened.
 */
class CalendarPage : public QWidget
{
    Q_OBJECT
public:
    CalendarPage(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~CalendarPage() override;

    /**
     * Reads the marks of the month shown and the list of the chosen day again, for the current
     * workshop; without one, says "Please specify Workshop" and shows nothing.
     */
    void refresh();

    /** Chooses a day (and shows its month). */
    void showDate(const QDate& date);

signals:
    /** The user asked to open the task or meeting `number`. */
    void openTask(qlonglong number);

private:
    void loadMarks();
    void loadDay();
    void onActivated(const QModelIndex& index);

    Session& m_session;
    Prompt& m_prompt;
    QCalendarWidget* m_calendar;
    QTableView* m_list;
    CalendarDayModel* m_model;
    bool m_loading = false;
};

} // namespace bx
