#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

class QIODevice;

namespace bx {

/** How to reach the mail server that takes outgoing mail. */
struct SmtpSettings
{
    /**
     * "host", "host:port" (port 25 by default), or a URL: "smtp://host[:port]" upgrades to TLS
     * with STARTTLS, "smtps://host[:port]" (port 465) speaks TLS from the start.
     */
    QString server;
    bool auth = false; ///< log in, when a user is set as well
    QString user;
    QString password;
    /**
     * The administrator allows logging in without TLS (MailPlainLogin): a server that offers no
     * STARTTLS then gets the password in clear. Without it a login is sent over TLS only.
     */
    bool allowPlainLogin = false;
    QString caFile;          ///< certificates to trust instead of the system's (tests); optional
    int timeoutSeconds = 30; ///< to connect, and for the server to answer or take data

    bool configured() const { return !server.trimmed().isEmpty(); }
    bool operator==(const SmtpSettings&) const = default;
};

/** How a delivery ended. */
struct SmtpResult
{
    enum class Status
    {
        Sent,
        Temporary, ///< worth trying again later: no connection, time-out, 4xx, login refused or
                   ///< wanted (530)
        Permanent  ///< the server refused the message for good (a 5xx reply to it)
    };
    Status status = Status::Sent;
    QString error;     ///< empty when sent
    int replyCode = 0; ///< the server's last reply code, 0 when it gave none
    /** The server could not be reached, or refused the login: any other e-mail would fail too. */
    bool serverFault = false;

    bool sent() const { return status == Status::Sent; }
    static SmtpResult failure(Status status, QString error)
    {
        SmtpResult r;
        r.status = status;
        r.error = std::move(error);
        return r;
    }
};

/** The URL libcurl is given for the server setting: "smtp://host:25" for "host". */
QString smtpUrl(const QString& server);

/**
 * Sends one message to the server: the envelope from `from` to each of `to` (bare addresses), the
 * content read from `message` to its end in pieces (never whole in memory), dot-stuffed by the
 * transport. TLS is used whenever the server offers it, and required when a login is to be sent
 * (unless allowPlainLogin); certificates are always checked. Blocks the calling thread; never call
 * it from the user-interface thread. Thread-safe (each call has its own handle).
 *
 * @param abort when given and set (from any thread), the transfer stops soon with a temporary
 *              failure
 */
SmtpResult sendSmtp(const SmtpSettings& settings, const QString& from, const QStringList& to,
                    QIODevice& message, const std::atomic_bool* abort = nullptr);

} // namespace bx
