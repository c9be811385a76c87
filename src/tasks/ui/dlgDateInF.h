#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/DateRange.h"

#include <functional>
#include <optional>

class QComboBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;

namespace bx {

class Prompt;
class Session;

/**
 * The date-range picker: a date field and a range (the last N months, between two dates, or the
 * last N days), both dates starting at today. OK checks through checkDateRange() and shows its
 * message, staying open, when the range is refused.
 */
class dlgDateInF : public SessionDialog
{
    Q_OBJECT
public:
    dlgDateInF(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Shows the picker modally. @return the range; nullopt when closed without OK */
    static std::optional<DateRangeChoice> choose(Session& session, Prompt& prompt, QWidget* parent);
    /** Test hook: when set, choose() calls it instead of showing the dialog; empty to reset. */
    static void setChoiceForTests(std::function<std::optional<DateRangeChoice>()> choice);

    /** The range after OK; nullopt before. */
    const std::optional<DateRangeChoice>& chosen() const { return m_chosen; }

    /** OK: checks the input; accepts the dialog when the range holds. @return true when accepted */
    bool confirm();

private:
    void onKind();

    QComboBox* m_cboField;
    QRadioButton* m_optMonths;
    QRadioButton* m_optBetween;
    QRadioButton* m_optDays;
    QLineEdit* m_txtMonths;
    QDateEdit* m_dtStart;
    QDateEdit* m_dtEnd;
    QLineEdit* m_txtDays;
    std::optional<DateRangeChoice> m_chosen;
};

} // namespace bx
