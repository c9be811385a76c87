#pragma once

#include "reports/TimeSheets.h"

#include <QDialog>

#include <optional>

class QDateEdit;
class QLineEdit;
class QTimeEdit;

namespace bx {

class Prompt;
class Session;

/**
 * One booking of working time on a task: a new one of the signed-in user (mode "NEW"), or a
 * change to `booking` (mode "OPEN"), whose reason it asks for. Accepted once written.
 */
class dlgTimeSheet : public QDialog
{
    Q_OBJECT

public:
    dlgTimeSheet(Session& session, Prompt& prompt, qint64 task,
                 std::optional<Booking> booking = std::nullopt, QWidget* parent = nullptr);

private:
    void onOk();
    QWidget* controlOf(TimeSheetField field) const;

    Session& m_session;
    Prompt& m_prompt;
    qint64 m_task;
    std::optional<Booking> m_booking;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_start = nullptr;
    QLineEdit* m_hours = nullptr;
    QLineEdit* m_minutes = nullptr;
    QLineEdit* m_comment = nullptr;
};

} // namespace bx
