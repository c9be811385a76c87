#include "reports/ui/dlgTimeSheet.h"

#include "core/Clock.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace bx {

dlgTimeSheet::dlgTimeSheet(Session& session, Prompt& prompt, qint64 task,
                           std::optional<Booking> booking, QWidget* parent)
    : SessionDialog(session, prompt, "dlgTimeSheet", QStringLiteral("Time Sheet"), parent)
    , m_task(task)
    , m_booking(std::move(booking))
{
    m_date = named(new QDateEdit, "DTPicker1");
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_start = named(new QTimeEdit, "DTPicker2");
    m_start->setDisplayFormat(QStringLiteral("HH:mm"));
    m_hours = named(new QLineEdit, "Text1");
    m_minutes = named(new QLineEdit, "txtMinute");
    m_comment = named(new QLineEdit, "Text2");
    m_comment->setMaxLength(255);

    if (m_booking) {
        m_date->setDate(m_booking->date);
        m_start->setTime(m_booking->start);
        m_hours->setText(QString::number(m_booking->hours));
        m_minutes->setText(QString::number(m_booking->minutes));
        m_comment->setText(m_booking->comment);
    } else {
        const QDateTime now = session.clock().nowLocal();
        m_date->setDate(now.date());
        m_start->setTime(QTime(now.time().hour(), now.time().minute()));
        m_hours->setText(QStringLiteral("0"));
        m_minutes->setText(QStringLiteral("0"));
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Date:"), m_date);
    form->addRow(QStringLiteral("Start time:"), m_start);
    form->addRow(QStringLiteral("Hours:"), m_hours);
    form->addRow(QStringLiteral("Minutes:"), m_minutes);
    form->addRow(QStringLiteral("Comment:"), m_comment);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(okCancelButtons(this, &dlgTimeSheet::onOk));
}

QWidget* dlgTimeSheet::controlOf(TimeSheetField field) const
{
    return controlFor(field,
                      {{TimeSheetField::Hours, m_hours}, {TimeSheetField::Minutes, m_minutes}});
}

void dlgTimeSheet::onOk()
{
    const BookingInput input{m_date->date(), m_start->time(), m_hours->text(), m_minutes->text(),
                             m_comment->text()};
    const auto focus = [this](TimeSheetField f) {
        QWidget* control = controlOf(f);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->selectAll();
        return control;
    };
    bool done = false;
    runTaskCommand(m_session, m_prompt, QStringLiteral("dlgTimeSheet"), [&] {
        if (m_booking) {
            const auto outcome = timesheet::editBooking(m_session, m_prompt, m_booking->id, input);
            done = bool(outcome);
            showRefusal(m_prompt, outcome.refusal(), focus);
        } else {
            const auto outcome = timesheet::addBooking(m_session, m_task, input);
            done = bool(outcome);
            showRefusal(m_prompt, outcome.refusal(), focus);
        }
    });
    if (done)
        accept();
}

} // namespace bx
