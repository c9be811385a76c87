#include "messaging/SmtpClient.h"

#include "core/settings/MailPlainLogin.h"

#include <QFile>
#include <QIODevice>

#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace bx {

namespace {

void initCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t readMessage(char* buffer, size_t size, size_t count, void* device)
{
    const qint64 got = static_cast<QIODevice*>(device)->read(buffer, qint64(size * count));
    return got < 0 ? CURL_READFUNC_ABORT : size_t(got);
}

int checkAbort(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* flag = static_cast<const std::atomic_bool*>(abort);
    return flag != nullptr && flag->load() ? 1 : 0;
}

QByteArray envelope(const QString& address)
{
    return QByteArrayLiteral("<") + address.toUtf8() + QByteArrayLiteral(">");
}

/** Appends the envelope addresses of `to` to `list`; false when out of memory. */
bool appendEnvelopes(std::unique_ptr<curl_slist, ListDeleter>& list, const QStringList& to)
{
    for (const QString& address : to) {
        curl_slist* longer = curl_slist_append(list.get(), envelope(address).constData());
        if (longer == nullptr)
            return false;
        (void)list.release();
        list.reset(longer);
    }
    return true;
}

/** What a transfer that ended with `code` tells of the server and the message. */
SmtpResult failureOf(CURL* h, CURLcode code, const char* errors)
{
    long reply = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply);
    SmtpResult result;
    result.replyCode = int(reply);
    result.error = QString::fromUtf8(errors[0] != '\0' ? errors : curl_easy_strerror(code));
    if (reply > 0 && !result.error.contains(QString::number(reply)))
        result.error += QStringLiteral(" (server reply %1)").arg(reply);
    if (code == CURLE_USE_SSL_FAILED)
        result.error =
            MailPlainLogin::kNoEncryption + QStringLiteral(" (") + result.error + QLatin1Char(')');
    // A 5xx reply to the message or its envelope refuses it for good. A refused login, a server
    // that wants a login or TLS first (530), or one that offers no TLS for a login, is the
    // settings' fault, not the message's: it is tried again once they are put right.
    const bool settingsFault =
        code == CURLE_LOGIN_DENIED || code == CURLE_USE_SSL_FAILED || reply == 530;
    const bool refused = reply >= 500 && reply < 600 && !settingsFault;
    result.status = refused ? SmtpResult::Status::Permanent : SmtpResult::Status::Temporary;
    result.serverFault = reply == 0 || settingsFault;
    return result;
}

} // namespace

QString smtpUrl(const QString& server)
{
    const QString s = server.trimmed();
    if (s.contains(QStringLiteral("://")))
        return s;
    // A port is given after the last colon, unless that colon is inside an IPv6 literal.
    const qsizetype colon = s.lastIndexOf(QLatin1Char(':'));
    const bool hasPort = colon >= 0 && colon > s.lastIndexOf(QLatin1Char(']'));
    return QStringLiteral("smtp://") + s + (hasPort ? QString() : QStringLiteral(":25"));
}

SmtpResult sendSmtp(const SmtpSettings& settings, const QString& from, const QStringList& to,
                    QIODevice& message, const std::atomic_bool* abort)
{
    initCurl();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl)
        return SmtpResult::failure(SmtpResult::Status::Temporary,
                                   QStringLiteral("The mail transport did not start"));
    CURL* h = curl.get();

    const QByteArray url = smtpUrl(settings.server).toUtf8();
    const bool implicitTls = url.startsWith("smtps://");
    const QByteArray sender = envelope(from);
    std::unique_ptr<curl_slist, ListDeleter> recipients;
    if (!appendEnvelopes(recipients, to))
        return SmtpResult::failure(SmtpResult::Status::Temporary, QStringLiteral("Out of memory"));
    const QByteArray user = settings.user.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    const QByteArray caFile = QFile::encodeName(settings.caFile);
    const long timeout = qMax(1, settings.timeoutSeconds);
    char errors[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errors);
    // STARTTLS whenever the server offers it on a plain connection; an smtps:// server must speak
    // TLS, and so must any server that is to get a password, unless the administrator allowed
    // otherwise. Either way the certificate and the host name are checked.
    const bool login = settings.auth && !settings.user.isEmpty();
    const bool tlsRequired = implicitTls || (login && !settings.allowPlainLogin);
    curl_easy_setopt(h, CURLOPT_USE_SSL, tlsRequired ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    if (login) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(h, CURLOPT_READDATA, &message);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkAbort);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(abort));

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK)
        return {};

    return failureOf(h, code, errors);
}

} // namespace bx
