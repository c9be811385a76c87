#pragma once

#include "core/ui/SessionDialog.h"

class QDateEdit;
class QPlainTextEdit;
class QTimeEdit;

namespace bx {

/**
 * One call with a contact: the day (T_StartDate), the time (T_StartTime) and what was said
 * (T_Content). OK saves it (contacts::saveCall) and closes; a refusal keeps the dialog open.
 */
class dlgCallLog : public SessionDialog
{
    Q_OBJECT
public:
    dlgCallLog(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** "ADD": a new call with the contact, now. */
    void addCall(qlonglong contactKey);
    /** An existing call; false (nothing shown) when it cannot be read. */
    bool openCall(qlonglong callId);
    /** The saved call's id; 0 until OK saved it. */
    qlonglong callId() const { return m_id; }

    void accept() override;

private:
    QDateEdit* m_date;
    QTimeEdit* m_time;
    QPlainTextEdit* m_content;
    qlonglong m_id = 0;
    qlonglong m_contact = 0;
};

} // namespace bx
