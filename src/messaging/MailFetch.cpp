#include "messaging/MailFetch.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/settings/MailPlainLogin.h"
#include "messaging/IncomingMail.h"
#include "messaging/Outbox.h"
#include "messaging/Pop3Client.h"

#include <QDir>
#include <QSet>
#include <QTemporaryFile>

#include <optional>

namespace bx {

namespace {

// Beyond the listed size: a server that sends more than it listed is cut off here.
constexpr qint64 kRetrieveLimit = kMaxFetchedMessageBytes + 1024 * 1024;

struct Candidate
{
    QString uid;
    qint64 size = 0;
};

QSet<QString> storedPopIds(Database& db, const QString& userId)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT POPID FROM MAIL WHERE Owner_User_ID = ? AND POPID IS NOT "
                                "NULL AND POPID <> ''"),
                 {userId});
    QSet<QString> ids;
    ids.reserve(rs.rowCount());
    for (const QVariantList& row : rs.rows()) {
        ids.insert(row.value(0).toString());
    }
    return ids;
}

qlonglong store(Database& db, const FetchRequest& request, const QString& uid,
                const IncomingMail& mail)
{
    Transaction tx(db);
    const qlonglong number = db.insertNumbered(
        QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
        {QStringLiteral("Title"), QStringLiteral("Body"), QStringLiteral("Owner_User_ID"),
         QStringLiteral("Sender"), QStringLiteral("Date"), QStringLiteral("Viewed"),
         QStringLiteral("Sent"), QStringLiteral("Mail_Folder_Number"), QStringLiteral("SourceID"),
         QStringLiteral("POPID"), QStringLiteral("group_id")},
        {mail.title, mail.body, request.userId, mail.sender, mail.date, false, false, 0, 0, uid,
         request.workshopId != 0 ? QVariant(request.workshopId) : QVariant()});
    tx.commit();
    return number;
}

// The number each unique id has in the session now open.
QHash<QString, int> numbersByUid(const QHash<int, QString>& ids)
{
    QHash<QString, int> numbers;
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        numbers.insert(it.value(), it.key());
    }
    return numbers;
}

// Messages not stored before, in the order listed. Without a unique id a message cannot be told
// from one stored before: it stays.
QList<Candidate> newMessages(const QList<Pop3Listing>& listing, const QHash<int, QString>& ids,
                             const QSet<QString>& known)
{
    QList<Candidate> todo;
    for (const Pop3Listing& m : listing) {
        const QString uid = ids.value(m.number);
        if (!uid.isEmpty() && !known.contains(uid)) {
            todo.append({uid, m.size});
        }
    }
    return todo;
}

/** Retrieves, stores and (unless left on the server) deletes messages of one session. */
class Retrieval
{
public:
    Retrieval(Database& db, const FetchRequest& request, Pop3Client& pop)
        : m_db(db)
        , m_request(request)
        , m_pop(pop)
    {
    }

    /**
     * Takes message `number` (unique id `uid`). Nothing when that went well or was cut off
     * (cutOff() says which), else why it failed.
     */
    std::optional<QString> take(int number, const QString& uid);

    bool cutOff() const { return m_cutOff; }
    int stored() const { return m_stored; }
    /** Unique ids marked for deletion in this session. */
    const QStringList& deleted() const { return m_deleted; }

private:
    Database& m_db;
    const FetchRequest& m_request;
    Pop3Client& m_pop;
    int m_stored = 0;
    QStringList m_deleted;
    bool m_cutOff = false;
};

std::optional<QString> Retrieval::take(int number, const QString& uid)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/bxpop3-XXXXXX"));
    if (!file.open()) {
        return QStringLiteral("no temporary file: ") + file.errorString();
    }
    const Pop3Status got = m_pop.retrieve(number, file, kRetrieveLimit);
    if (got == Pop3Status::Stopped) {
        m_cutOff = true;
        return std::nullopt;
    }
    if (got == Pop3Status::Failed || !file.flush()) {
        return got == Pop3Status::Failed ? m_pop.errorString() : file.errorString();
    }
    const IncomingMail mail = readIncomingMail(file.fileName(), *m_request.clock);
    if (mail.title.startsWith(outbox::kNoticeMarker)) {
        return std::nullopt;
    }
    store(m_db, m_request, uid, mail);
    ++m_stored;
    if (!m_request.leaveOnServer && mail.attachments.isEmpty()) {
        m_deleted << uid;
        const Pop3Status removed = m_pop.remove(number);
        if (removed == Pop3Status::Stopped) {
            m_cutOff = true;
            return std::nullopt;
        }
        if (removed == Pop3Status::Failed) {
            return m_pop.errorString();
        }
    }
    return std::nullopt;
}

// A session cut off mid-transfer ends without QUIT, and the server forgets the deletions made in
// it; they are made again in a session of their own, which nothing stops.
void deleteAgain(const Pop3Account& account, const QStringList& uids)
{
    Pop3Client pop(account);
    QHash<int, QString> ids;
    if (pop.uniqueIds(ids) != Pop3Status::Ok) {
        return;
    }
    const QHash<QString, int> numbers = numbersByUid(ids);
    for (const QString& uid : uids) {
        const int number = numbers.value(uid);
        if (number > 0 && pop.remove(number) != Pop3Status::Ok) {
            return;
        }
    }
}

} // namespace

FetchRequest fetchRequestFor(const Session& session)
{
    FetchRequest r;
    r.userId = session.user.userId;
    r.workshopId = session.currentWorkshopId;
    r.popServer = session.system.popServer;
    r.popUser = session.system.smtpUser;
    r.popPassword = session.system.smtpPwd;
    r.leaveOnServer = session.system.smtpLeave;
    r.clock = &session.clock();
    return r;
}

Outcome<int> fetchMail(Database& db, const FetchRequest& request, const std::atomic_bool& stop,
                       const std::function<void(int done, int total)>& progress)
{
    const QString server = request.popServer.trimmed();
    if (server.isEmpty()) {
        return RefusalOf<>{
            QStringLiteral("No POP Server is configured.  Please contact your Administrator")};
    }
    if (request.popUser.trimmed().isEmpty()) {
        return RefusalOf<>{
            QStringLiteral("No POP Email User is configured.  Please contact your Administrator")};
    }
    Q_ASSERT(request.clock != nullptr);

    // The password goes out over TLS only, unless an administrator allowed this server otherwise.
    const Pop3Account account{
        server, request.popUser.trimmed(), request.popPassword, request.caFile,
        MailPlainLogin::allowed(db, MailPlainLogin::Service::Pop3, request.popServer)};
    Pop3Client pop(account, &stop);
    auto failed = [&](const QString& why) -> Outcome<int> {
        return RefusalOf<>{QStringLiteral("Mail could not be fetched from ") + server +
                           QStringLiteral(": ") + why};
    };

    QList<Pop3Listing> listing;
    QHash<int, QString> ids;
    Pop3Status status = pop.list(listing);
    if (status == Pop3Status::Ok) {
        status = pop.uniqueIds(ids);
    }
    if (status == Pop3Status::Stopped) {
        return 0;
    }
    if (status == Pop3Status::Failed) {
        return failed(pop.errorString());
    }
    const QList<Candidate> todo = newMessages(listing, ids, storedPopIds(db, request.userId));
    const QHash<QString, int> numbers = numbersByUid(ids);

    const int total = static_cast<int>(todo.size());
    Retrieval retrieval(db, request, pop);
    for (int done = 0; done < total; ++done) {
        if (stop.load()) {
            break;
        }
        const Candidate& c = todo.at(done);
        const int number = numbers.value(c.uid);
        if (number > 0 && c.size <= kMaxFetchedMessageBytes) {
            if (const std::optional<QString> why = retrieval.take(number, c.uid)) {
                return failed(*why);
            }
            if (retrieval.cutOff()) {
                break;
            }
        }
        if (progress) {
            progress(done + 1, total);
        }
    }
    if (retrieval.cutOff() && !retrieval.deleted().isEmpty()) {
        deleteAgain(account, retrieval.deleted());
    }
    return retrieval.stored();
}

} // namespace bx
