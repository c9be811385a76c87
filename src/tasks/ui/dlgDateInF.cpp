#include "tasks/ui/dlgDateInF.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace bx {

namespace {

std::function<std::optional<DateRangeChoice>()>& choiceForTests()
{
    static std::function<std::optional<DateRangeChoice>()> choice;
    return choice;
}

QDateEdit* dateEdit(const char* name, const QDate& today)
{
    auto* edit = named(new QDateEdit(today), name);
    edit->setCalendarPopup(true);
    return edit;
}

} // namespace

dlgDateInF::dlgDateInF(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "dlgDateInF", QStringLiteral("Select Date Range"), parent)
    , m_cboField(named(new QComboBox, "cboField"))
    , m_optMonths(named(new QRadioButton(QStringLiteral("Last")), "optMonths"))
    , m_optBetween(named(new QRadioButton(QStringLiteral("Between")), "optBetween"))
    , m_optDays(named(new QRadioButton(QStringLiteral("Last")), "optDays"))
    , m_txtMonths(named(new QLineEdit, "txtMonths"))
    , m_dtStart(dateEdit("dtStart", session.clock().nowLocal().date()))
    , m_dtEnd(dateEdit("dtEnd", session.clock().nowLocal().date()))
    , m_txtDays(named(new QLineEdit, "txtDays"))
{
    for (const DateRangeField& field : dateRangeFields())
        m_cboField->addItem(field.caption, field.column);
    m_optMonths->setChecked(true);

    auto* buttons = okCancelButtons(this, &dlgDateInF::confirm);

    auto* field = new QFormLayout;
    field->addRow(QStringLiteral("Date field:"), m_cboField);
    auto* ranges = new QGridLayout;
    ranges->addWidget(m_optMonths, 0, 0);
    ranges->addWidget(m_txtMonths, 0, 1);
    ranges->addWidget(new QLabel(QStringLiteral("months")), 0, 2);
    ranges->addWidget(m_optBetween, 1, 0);
    ranges->addWidget(m_dtStart, 1, 1);
    ranges->addWidget(new QLabel(QStringLiteral("and")), 1, 2);
    ranges->addWidget(m_dtEnd, 1, 3);
    ranges->addWidget(m_optDays, 2, 0);
    ranges->addWidget(m_txtDays, 2, 1);
    ranges->addWidget(new QLabel(QStringLiteral("days")), 2, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addLayout(ranges);
    layout->addWidget(buttons);

    connect(m_optMonths, &QRadioButton::toggled, this, &dlgDateInF::onKind);
    connect(m_optBetween, &QRadioButton::toggled, this, &dlgDateInF::onKind);
    connect(m_optDays, &QRadioButton::toggled, this, &dlgDateInF::onKind);
    onKind();
}

std::optional<DateRangeChoice> dlgDateInF::choose(Session& session, Prompt& prompt, QWidget* parent)
{
    if (choiceForTests())
        return choiceForTests()();
    dlgDateInF dialog(session, prompt, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

void dlgDateInF::setChoiceForTests(std::function<std::optional<DateRangeChoice>()> choice)
{
    choiceForTests() = std::move(choice);
}

void dlgDateInF::onKind()
{
    m_txtMonths->setEnabled(m_optMonths->isChecked());
    m_dtStart->setEnabled(m_optBetween->isChecked());
    m_dtEnd->setEnabled(m_optBetween->isChecked());
    m_txtDays->setEnabled(m_optDays->isChecked());
}

bool dlgDateInF::confirm()
{
    DateRangeInput input;
    input.field = m_cboField->currentData().toString();
    input.kind = m_optBetween->isChecked() ? DateRangeKind::Between
                 : m_optDays->isChecked()  ? DateRangeKind::LastDays
                                           : DateRangeKind::LastMonths;
    input.months = m_txtMonths->text();
    input.days = m_txtDays->text();
    input.start = m_dtStart->date();
    input.end = m_dtEnd->date();
    const DateRangeCheck check = checkDateRange(input, m_session.clock().nowLocal().date());
    if (!check.choice) {
        m_prompt.inform(check.message);
        return false;
    }
    m_chosen = check.choice;
    accept();
    return true;
}

} // namespace bx
