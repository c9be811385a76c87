#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/TimeSheetReport.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;
class QTextBrowser;

namespace bx {

class Prompt;
class Session;

/**
 * The time-sheet report: the time booked in the current workshop (or on one task) over a period,
 * by user and task, priced with the users' rates. The page is written as "RepTmp.html" in the
 * per-user data folder and shown; toolbar keys "Save", "Print" and "Refresh".
 */
class dlgTSHReport : public SessionDialog
{
    Q_OBJECT

public:
    /** `task` non-zero: the report of that task alone. */
    dlgTSHReport(Session& session, Prompt& prompt, qint64 task = 0, QWidget* parent = nullptr);

    /** Reads the report again and shows it. @return whether it was written */
    bool refresh();

private:
    void save();
    void print();

    qint64 m_task;
    QComboBox* m_users;
    QRadioButton* m_byMonths;
    QRadioButton* m_byDays;
    QRadioButton* m_byDates;
    QLineEdit* m_months;
    QLineEdit* m_days;
    QDateEdit* m_from;
    QDateEdit* m_to;
    QTextBrowser* m_page;
    QString m_html;
};

} // namespace bx
