#pragma once

#include "core/ui/SessionDialog.h"
#include "reports/TimeSheets.h"

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
class dlgTimeSheet : public SessionDialog
{
    Q_OBJECT

public:
    dlgTimeSheet(Session& session, Prompt& prompt, qint64 task,
                 std::optional<Booking> booking = std::nullopt, QWidget* parent = nullptr);

private:
    void onOk();
    QWidget* controlOf(TimeSheetField field) const;

    qint64 m_task;
    std::optional<Booking> m_booking;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_start = nullptr;
    QLineEdit* m_hours = nullptr;
    QLineEdit* m_minutes = nullptr;
    QLineEdit* m_comment = nullptr;
};

} // namespace bx
