#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <optional>

class QIODevice;

namespace bx {

/** Where and as whom to reach a POP3 mailbox. */
struct Pop3Account
{
    /**
     * "host", "host:port", "pop3://host[:port]" or "pop3s://host[:port]". A plain host or pop3://
     * upgrades to TLS with STARTTLS; pop3s:// speaks TLS from the start.
     */
    QString server;
    QString user; ///< with a user, the session logs on over TLS only (but see allowPlainLogin)
    QString password;
    /** Certificates to trust instead of the system's (a test server's own); empty: the system's. */
    QString caFile;
    /**
     * The administrator allows logging on without TLS (MailPlainLogin): a server that offers no
     * STARTTLS then gets the password in clear.
     */
    bool allowPlainLogin = false;
};

/** One message of the mailbox as LIST gives it. */
struct Pop3Listing
{
    int number = 0;
    qint64 size = 0; ///< octets, as the server counts them
    bool operator==(const Pop3Listing&) const = default;
};

/** How an operation ended. */
enum class Pop3Status
{
    Ok,
    Failed,  ///< errorString() says why
    Stopped, ///< the stop flag was raised while it ran
};

/**
 * One session with a POP3 mailbox over libcurl. The first operation connects and logs on; later
 * ones reuse the connection. Certificates are always checked; connecting and any pause of the
 * transfer give up after 30 seconds.
 *
 * Deletions take effect only when the session ends normally: the destructor sends QUIT. When an
 * operation was cut off (stopped or failed during a transfer) the connection is dropped without
 * QUIT, the server forgets the deletions made so far, and the next operation starts a new session.
 *
 * A client belongs to one thread. Only the stop flag, which the caller owns, is read from other
 * threads: raising it ends the running operation within about a second, with Stopped.
 */
class Pop3Client
{
public:
    /** @param stop may be null: nothing stops the operations then */
    explicit Pop3Client(Pop3Account account, const std::atomic_bool* stop = nullptr);
    ~Pop3Client();
    Pop3Client(const Pop3Client&) = delete;
    Pop3Client& operator=(const Pop3Client&) = delete;

    /**
     * The base URL of a server as Pop3Account::server gives it ("pop3://host:port/"), and whether
     * TLS is required; nothing when the text names no server or holds more than one.
     */
    static std::optional<std::pair<QString, bool>> serverUrl(const QString& server);

    /** Message numbers and sizes (LIST). */
    Pop3Status list(QList<Pop3Listing>& messages);
    /** Message numbers and their unique ids (UIDL). */
    Pop3Status uniqueIds(QHash<int, QString>& ids);
    /**
     * Writes message `number` (RETR) to `sink` piece by piece as it arrives. A message that grows
     * beyond `maxBytes` is cut off and Failed.
     */
    Pop3Status retrieve(int number, QIODevice& sink, qint64 maxBytes);
    /** Marks message `number` for deletion (DELE); it goes when the session ends normally. */
    Pop3Status remove(int number);

    /** Why the last operation failed, as the server or the connection said it. */
    QString errorString() const { return m_error; }

private:
    struct Transfer;
    Pop3Status perform(const QString& path, const char* command, bool expectBody,
                       Transfer& transfer);

    Pop3Account m_account;
    const std::atomic_bool* m_stop;
    void* m_curl = nullptr;
    QString m_error;
};

} // namespace bx
