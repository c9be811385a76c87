#include "messaging/Pop3Client.h"

#include "core/settings/MailPlainLogin.h"
#include "messaging/Pop3Answers.h"

#include <QIODevice>
#include <QUrl>

#include <curl/curl.h>
#include <mutex>

namespace bx {

namespace {

constexpr long kTimeoutSeconds = 30;
// A listing holds a short line per message; this is far beyond any real mailbox.
constexpr qint64 kMaxListingBytes = 64 * 1024 * 1024;

CURL* handle(void* curl)
{
    return static_cast<CURL*>(curl);
}

int checkStop(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* flag = static_cast<const std::atomic_bool*>(stop);
    return flag != nullptr && flag->load() ? 1 : 0;
}

} // namespace

struct Pop3Client::Transfer
{
    QByteArray* answer = nullptr; ///< LIST and UIDL
    QIODevice* sink = nullptr;    ///< RETR
    qint64 maxBytes = kMaxListingBytes;
    qint64 received = 0;
    bool tooLarge = false;
    bool sinkFailed = false;

    static size_t write(char* data, size_t size, size_t count, void* self)
    {
        auto* t = static_cast<Transfer*>(self);
        const auto length = static_cast<qint64>(size * count);
        t->received += length;
        if (t->received > t->maxBytes) {
            t->tooLarge = true;
            return 0;
        }
        if (t->answer != nullptr) {
            t->answer->append(data, length);
        } else if (t->sink != nullptr && t->sink->write(data, length) != length) {
            t->sinkFailed = true;
            return 0;
        }
        return size * count;
    }
};

Pop3Client::Pop3Client(Pop3Account account, const std::atomic_bool* stop)
    : m_account(std::move(account))
    , m_stop(stop)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    CURL* curl = handle(m_curl);
    if (curl == nullptr) {
        return;
    }
    const auto url = serverUrl(m_account.server);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl, CURLOPT_USERNAME, m_account.user.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, m_account.password.toUtf8().constData());
    // STARTTLS whenever the server offers it, and required before a password goes out unless the
    // administrator allowed otherwise; pop3s:// is TLS from the first byte.
    const bool tlsRequired =
        (url && url->second) || (!m_account.user.isEmpty() && !m_account.allowPlainLogin);
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     tlsRequired ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_account.caFile.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_account.caFile.toLocal8Bit().constData());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkStop);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(m_stop));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::write);
}

Pop3Client::~Pop3Client()
{
    if (m_curl != nullptr) {
        curl_easy_cleanup(handle(m_curl)); // QUIT on a live connection
    }
}

std::optional<std::pair<QString, bool>> Pop3Client::serverUrl(const QString& server)
{
    QString rest = server.trimmed();
    bool tls = false;
    if (rest.startsWith(QLatin1String("pop3s://"), Qt::CaseInsensitive)) {
        tls = true;
        rest = rest.mid(8);
    } else if (rest.startsWith(QLatin1String("pop3://"), Qt::CaseInsensitive)) {
        rest = rest.mid(7);
    }
    if (rest.endsWith(QLatin1Char('/'))) {
        rest.chop(1);
    }
    static const QString notInHost = QStringLiteral("/?#@\\");
    for (const QChar c : rest) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || notInHost.contains(c)) {
            return std::nullopt;
        }
    }
    QUrl url(QStringLiteral("pop3://") + rest + QLatin1Char('/'), QUrl::StrictMode);
    if (rest.isEmpty() || !url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    if (tls) {
        url.setScheme(QStringLiteral("pop3s"));
    }
    return std::pair{url.toString(QUrl::FullyEncoded), tls};
}

Pop3Status Pop3Client::perform(const QString& path, const char* command, bool expectBody,
                               Transfer& transfer)
{
    m_error.clear();
    CURL* curl = handle(m_curl);
    const auto base = serverUrl(m_account.server);
    if (curl == nullptr) {
        m_error = QStringLiteral("the mail transfer library could not be started");
        return Pop3Status::Failed;
    }
    if (!base) {
        m_error = QStringLiteral("\"%1\" is not a server name").arg(m_account.server.trimmed());
        return Pop3Status::Failed;
    }
    const QByteArray url = (base->first + path).toUtf8();
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command);
    curl_easy_setopt(curl, CURLOPT_NOBODY, expectBody ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

    if (rc == CURLE_OK) {
        return Pop3Status::Ok;
    }
    if (rc == CURLE_ABORTED_BY_CALLBACK && m_stop != nullptr && m_stop->load()) {
        return Pop3Status::Stopped;
    }
    if (transfer.tooLarge) {
        m_error = QStringLiteral("the answer is larger than %1 bytes").arg(transfer.maxBytes);
    } else if (transfer.sinkFailed) {
        m_error = QStringLiteral("the message could not be written: %1")
                      .arg(transfer.sink->errorString());
    } else {
        m_error = QString::fromUtf8(detail[0] != '\0' ? detail : curl_easy_strerror(rc));
        if (rc == CURLE_USE_SSL_FAILED) {
            m_error =
                MailPlainLogin::kNoEncryption + QStringLiteral(" (") + m_error + QLatin1Char(')');
        }
    }
    return Pop3Status::Failed;
}

Pop3Status Pop3Client::list(QList<Pop3Listing>& messages)
{
    QByteArray answer;
    Transfer transfer;
    transfer.answer = &answer;
    const Pop3Status status = perform(QString(), nullptr, true, transfer);
    messages.clear();
    if (status == Pop3Status::Ok) {
        messages = pop3::readListing(answer);
    }
    return status;
}

Pop3Status Pop3Client::uniqueIds(QHash<int, QString>& ids)
{
    QByteArray answer;
    Transfer transfer;
    transfer.answer = &answer;
    const Pop3Status status = perform(QString(), "UIDL", true, transfer);
    ids.clear();
    if (status == Pop3Status::Ok) {
        ids = pop3::readUniqueIds(answer);
    }
    return status;
}

Pop3Status Pop3Client::retrieve(int number, QIODevice& sink, qint64 maxBytes)
{
    Transfer transfer;
    transfer.sink = &sink;
    transfer.maxBytes = maxBytes;
    return perform(QString::number(number), nullptr, true, transfer);
}

Pop3Status Pop3Client::remove(int number)
{
    Transfer transfer;
    return perform(QString::number(number), "DELE", false, transfer);
}

} // namespace bx
