#include "mainwindow/ui/F_FIND.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "tasks/DateRange.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace bx {

namespace {

QDateEdit* dateEdit(const char* name, const QDate& today)
{
    auto* edit = named(new QDateEdit(today), name);
    edit->setCalendarPopup(true);
    return edit;
}

const char* const kStatusCodes = "ACIX";

} // namespace

SearchPeriodControls::SearchPeriodControls(const QDate& today)
    : optMonths(named(new QRadioButton(QStringLiteral("Last")), "optMonths"))
    , optDays(named(new QRadioButton(QStringLiteral("Last")), "optDays"))
    , optBetween(named(new QRadioButton(QStringLiteral("Between")), "optBetween"))
    , optAnyDate(named(new QRadioButton(QStringLiteral("Any date")), "optAnyDate"))
    , txtMonths(named(new QLineEdit, "txtMonths"))
    , txtDays(named(new QLineEdit, "txtDays"))
    , dtStart(dateEdit("dtStart", today))
    , dtEnd(dateEdit("dtEnd", today))
    , m_box(new QGroupBox(QStringLiteral("Period")))
{
    auto* grid = new QGridLayout(m_box);
    grid->addWidget(optMonths, 0, 0);
    grid->addWidget(txtMonths, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("months")), 0, 2);
    grid->addWidget(optDays, 1, 0);
    grid->addWidget(txtDays, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("days")), 1, 2);
    grid->addWidget(optBetween, 2, 0);
    grid->addWidget(dtStart, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("and")), 2, 2);
    grid->addWidget(dtEnd, 2, 3);
    grid->addWidget(optAnyDate, 3, 0);
    optAnyDate->setChecked(true);
}

SearchPeriodInput SearchPeriodControls::input() const
{
    SearchPeriodInput in;
    in.kind = optMonths->isChecked()    ? SearchPeriodKind::LastMonths
              : optDays->isChecked()    ? SearchPeriodKind::LastDays
              : optBetween->isChecked() ? SearchPeriodKind::Range
                                        : SearchPeriodKind::AnyDate;
    in.months = txtMonths->text();
    in.days = txtDays->text();
    in.from = dtStart->date();
    in.to = dtEnd->date();
    return in;
}

F_FIND::F_FIND(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_FIND", QStringLiteral("Find Tasks"), parent)
    , m_txtTitle(named(new QLineEdit, "txtTitle"))
    , m_txtCustom(named(new QLineEdit, "txtCustom"))
    , m_chkComments(named(new QCheckBox(QStringLiteral("Search in comments")), "chkComments"))
    , m_chkAttachments(
          named(new QCheckBox(QStringLiteral("Search in attachments")), "chkAttachments"))
    , m_chkTables(named(new QCheckBox(QStringLiteral("Search in plug-in tables")), "chkTables"))
    , m_chkAllStatus(named(new QCheckBox(QStringLiteral("All")), "chkAllStatus"))
    , m_chkStatus{named(new QCheckBox(QStringLiteral("Active")), "chkActive"),
                  named(new QCheckBox(QStringLiteral("Complete")), "chkComplete"),
                  named(new QCheckBox(QStringLiteral("Incomplete")), "chkIncomplete"),
                  named(new QCheckBox(QStringLiteral("Canceled")), "chkCanceled")}
    , m_cboField(named(new QComboBox, "cboField"))
    , m_period(session.clock().nowLocal().date())
{
    const SearchOptions& last = session.search;
    m_txtTitle->setText(last.titlePattern);
    m_txtCustom->setText(last.customPattern);
    m_chkComments->setChecked(last.comments);
    m_chkAttachments->setChecked(last.attachments);
    m_chkTables->setChecked(last.extraTables);
    m_chkAllStatus->setChecked(last.statuses.isEmpty());
    for (int i = 0; i < 4; ++i) {
        m_chkStatus[i]->setChecked(last.statuses.contains(QLatin1Char(kStatusCodes[i])));
        m_chkStatus[i]->setEnabled(!m_chkAllStatus->isChecked());
    }
    for (const DateRangeField& field : dateRangeFields())
        m_cboField->addItem(field.caption, field.column);
    const int field = m_cboField->findData(last.dateField, Qt::UserRole, Qt::MatchFixedString);
    m_cboField->setCurrentIndex(field < 0 ? 0 : field);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Task Title:"), m_txtTitle);
    form->addRow(session.system.labelCustom.isEmpty()
                     ? QStringLiteral("Custom Field:")
                     : session.system.labelCustom + QLatin1Char(':'),
                 m_txtCustom);
    auto* where = new QHBoxLayout;
    for (QCheckBox* c : {m_chkComments, m_chkAttachments, m_chkTables})
        where->addWidget(c);
    auto* statusBox = new QGroupBox(QStringLiteral("Status"));
    auto* statuses = new QHBoxLayout(statusBox);
    statuses->addWidget(m_chkAllStatus);
    for (QCheckBox* c : m_chkStatus)
        statuses->addWidget(c);
    auto* dateField = new QFormLayout;
    dateField->addRow(QStringLiteral("Date field:"), m_cboField);

    auto* buttons = okCancelButtons(this, &F_FIND::confirm);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(where);
    layout->addWidget(statusBox);
    layout->addLayout(dateField);
    layout->addWidget(m_period.box());
    layout->addWidget(buttons);

    connect(m_chkAllStatus, &QCheckBox::toggled, this, [this](bool all) {
        for (QCheckBox* c : m_chkStatus)
            c->setEnabled(!all);
    });
}

F_FIND::~F_FIND() = default;

bool F_FIND::confirm()
{
    FindInput input;
    input.title = m_txtTitle->text();
    input.custom = m_txtCustom->text();
    input.comments = m_chkComments->isChecked();
    input.attachments = m_chkAttachments->isChecked();
    input.extraTables = m_chkTables->isChecked();
    if (!m_chkAllStatus->isChecked()) {
        for (int i = 0; i < 4; ++i) {
            if (m_chkStatus[i]->isChecked())
                input.statuses += QLatin1Char(kStatusCodes[i]);
        }
    }
    input.dateField = m_cboField->currentData().toString();
    input.period = m_period.input();
    const FindCheck check = checkFindInput(input, m_session.clock().nowLocal().date());
    if (!check.options) {
        m_prompt.inform(check.message);
        return false;
    }
    m_session.search = *check.options;
    accept();
    return true;
}

} // namespace bx
