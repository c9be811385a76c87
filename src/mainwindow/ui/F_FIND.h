#pragma once

#include "core/ui/SessionDialog.h"
#include "mainwindow/TaskSearch.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace bx {

class Prompt;
class Session;

/**
 * The period controls both search dialogs share: the last N months, the last N days, between two
 * days (both starting at today) or any date. Made and named by the dialog that holds them.
 */
struct SearchPeriodControls
{
    explicit SearchPeriodControls(const QDate& today);
    /** A group box laying out the controls. */
    QGroupBox* box() const { return m_box; }
    SearchPeriodInput input() const;

    QRadioButton* optMonths;
    QRadioButton* optDays;
    QRadioButton* optBetween;
    QRadioButton* optAnyDate;
    QLineEdit* txtMonths;
    QLineEdit* txtDays;
    QDateEdit* dtStart;
    QDateEdit* dtEnd;

private:
    QGroupBox* m_box;
};

/**
 * The task search dialog: a title pattern and a custom-field pattern, where else to look (comments,
 * attachments, the extra tables), the statuses, a date field and a period. It starts with the
 * options of the last search. OK checks the input through checkFindInput() and shows its message,
 * staying open; accepted, the options (search mode set) are left in the session.
 */
class F_FIND : public SessionDialog
{
    Q_OBJECT
public:
    F_FIND(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~F_FIND() override;

    /** OK: checks the input; accepts the dialog when it holds. @return true when accepted */
    bool confirm();

private:
    QLineEdit* m_txtTitle;
    QLineEdit* m_txtCustom;
    QCheckBox* m_chkComments;
    QCheckBox* m_chkAttachments;
    QCheckBox* m_chkTables;
    QCheckBox* m_chkAllStatus;
    QCheckBox* m_chkStatus[4];
    QComboBox* m_cboField;
    SearchPeriodControls m_period;
};

} // namespace bx
