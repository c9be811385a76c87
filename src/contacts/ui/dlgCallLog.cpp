#include "contacts/ui/dlgCallLog.h"

#include "contacts/Contacts.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace bx {

dlgCallLog::dlgCallLog(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "dlgCallLog", QStringLiteral("Call Log"), parent)
    , m_date(named(new QDateEdit, "T_StartDate"))
    , m_time(named(new QTimeEdit, "T_StartTime"))
    , m_content(named(new QPlainTextEdit, "T_Content"))
{
    m_date->setCalendarPopup(true);
    m_time->setDisplayFormat(QStringLiteral("HH:mm"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Date:"), m_date);
    form->addRow(QStringLiteral("Time:"), m_time);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(m_content, 1);
    box->addWidget(okCancelButtons(this, &dlgCallLog::accept));
    resize(420, 300);
}

void dlgCallLog::addCall(qlonglong contactKey)
{
    m_id = 0;
    m_contact = contactKey;
    const QDateTime now = m_session.clock().nowLocal();
    m_date->setDate(now.date());
    m_time->setTime(QTime(now.time().hour(), now.time().minute()));
    m_content->clear();
}

bool dlgCallLog::openCall(qlonglong callId)
{
    std::optional<contacts::Call> call;
    if (!runCommand(
            m_session, m_prompt,
            [&] { call = contacts::loadCall(m_session.db(), m_session.clock(), callId); }) ||
        !call)
        return false;
    m_id = call->id;
    m_contact = call->contactKey;
    m_date->setDate(call->date.date());
    m_time->setTime(call->date.time());
    m_content->setPlainText(call->content);
    return true;
}

void dlgCallLog::accept()
{
    const contacts::Call call{m_id, m_contact, QDateTime(m_date->date(), m_time->time()),
                              m_content->toPlainText()};
    Outcome<qlonglong, contacts::ContactField> saved =
        Outcome<qlonglong, contacts::ContactField>::declined();
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = contacts::saveCall(m_session.db(), m_session.clock(), call); }))
        return;
    if (showRefusal(m_prompt, saved.refusal(), [this](auto) { return m_content; }))
        return;
    m_id = *saved;
    QDialog::accept();
}

} // namespace bx
