// The main window's part in e-mail: the outbox's sender runs while a user is signed in.

#include "core/Session.h"
#include "core/db/Database.h"
#include "mainwindow/ui/Access_Form.h"
#include "messaging/Outbox.h"
#include "messaging/OutboxSender.h"
#include "messaging/ui/dlgMailError.h"

namespace bx {

namespace {

/** The mail settings the session uses: the user's own when he set them, else the database's. */
SmtpSettings sessionSmtpSettings(const SystemSettings& system)
{
    SmtpSettings s;
    s.server = system.smtpServer.trimmed();
    s.auth = system.smtpAuth;
    s.user = system.smtpUser;
    s.password = system.smtpPwd;
    return s;
}

} // namespace

void Access_Form::startMailSender()
{
    if (m_mailSender) {
        m_mailSender->setOwnSettings(sessionSmtpSettings(m_session.system));
        return;
    }
    std::optional<Connector> opener = workerConnector();
    if (!opener)
        return;
    m_mailSender =
        new outbox::OutboxSender(std::move(*opener), m_session.user.userId,
                                 sessionSmtpSettings(m_session.system), m_session.errorLog(), this);
    connect(m_mailSender, &outbox::OutboxSender::mailError, this,
            [this](const QString& error) { dlgMailError::showError(this, error); });
    m_mailSender->start();
    watchOutboxCommits();
}

void Access_Form::watchOutboxCommits()
{
    // Mail this window's commands queue leaves at once, not at the sender's next pass.
    if (m_mailSender && m_session.isOpen())
        m_session.db().watchCommits(outbox::kOutboxTable,
                                    [sender = m_mailSender] { sender->wake(); });
}

void Access_Form::stopMailSender()
{
    // Cuts off a transfer under way (its rows wait for the next sender) and waits for the
    // thread, which takes a moment at most; the database may close afterwards.
    if (m_mailSender && m_session.isOpen())
        m_session.db().watchCommits(outbox::kOutboxTable, {});
    delete std::exchange(m_mailSender, nullptr);
}

} // namespace bx
