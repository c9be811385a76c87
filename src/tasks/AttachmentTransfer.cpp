#include "tasks/AttachmentTransfer.h"

#include "tasks/AttachmentType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace bx::attachments {

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFile =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;

/**
 * The fingerprint of a viewer copy: it tells a file the user changed from one a viewer only
 * touched, within this session. It runs over every byte of files of any size, so it is a fast
 * non-cryptographic hash (two independent 64-bit chains over blocks of fixed size, then the
 * length) rather than a cryptographic one, which would take as long as the transfer itself. The
 * blocks make it independent of how the bytes are cut into pieces on their way.
 */
class Fingerprint
{
public:
    void add(const char* data, qint64 size)
    {
        m_length += size;
        while (size > 0) {
            if (m_filled == 0 && size >= kBlock) {
                hashBlock(data);
                data += kBlock;
                size -= kBlock;
                continue;
            }
            const qint64 n = std::min(size, kBlock - m_filled);
            std::memcpy(m_block.data() + m_filled, data, size_t(n));
            m_filled += n;
            data += n;
            size -= n;
            if (m_filled == kBlock) {
                hashBlock(m_block.data());
                m_filled = 0;
            }
        }
    }

    QByteArray result() const
    {
        const size_t parts[] = {qHash(m_length, qHashBits(m_block.data(), size_t(m_filled), m_a)),
                                qHash(m_length, qHashBits(m_block.data(), size_t(m_filled), m_b))};
        return QByteArray(reinterpret_cast<const char*>(parts), sizeof parts);
    }

private:
    static constexpr qint64 kBlock = 64 * 1024;

    void hashBlock(const char* block)
    {
        m_a = qHashBits(block, size_t(kBlock), m_a);
        m_b = qHashBits(block, size_t(kBlock), m_b);
    }

    std::vector<char> m_block = std::vector<char>(size_t(kBlock));
    qint64 m_filled = 0;
    qint64 m_length = 0;
    size_t m_a = 0x243F6A8885A308D3ull;
    size_t m_b = 0x13198A2E03707344ull;
};

/**
 * Hands the bytes of a source on to the database layer and remembers why the source stopped
 * giving them, so that a failed import can name its cause instead of the layer's short read.
 */
class CheckedSource final : public QIODevice
{
public:
    explicit CheckedSource(QIODevice& source)
        : m_source(source)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    const QString& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 got = m_source.read(data, maxSize);
        if (got > 0) {
            m_read += got;
        } else if (m_failure.isEmpty()) {
            m_failure = got < 0 ? m_source.errorString()
                                : QStringLiteral("it ended after %1 bytes").arg(m_read);
            if (m_failure.isEmpty())
                m_failure = QStringLiteral("it could not be read after %1 bytes").arg(m_read);
        }
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_source;
    QString m_failure;
    qint64 m_read = 0;
};

/**
 * Passes bytes through to another device, one way, and adds every byte that passes to a digest,
 * so that a file is fingerprinted in the same pass that reads or writes it.
 */
class DigestingDevice final : public QIODevice
{
public:
    DigestingDevice(QIODevice& inner, OpenMode direction)
        : m_inner(inner)
    {
        open(direction | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }
    QByteArray result() const { return m_digest.result(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 got = m_inner.read(data, maxSize);
        if (got > 0)
            m_digest.add(data, got);
        else if (got < 0)
            setErrorString(m_inner.errorString());
        return got;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 put = m_inner.write(data, size);
        if (put > 0)
            m_digest.add(data, put);
        else if (put < 0)
            setErrorString(m_inner.errorString());
        return put;
    }

private:
    QIODevice& m_inner;
    Fingerprint m_digest;
};

bool rowExists(Database& db, qlonglong attachNumber, bool locked)
{
    const QString sql = QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Number = ?");
    return !(locked ? db.queryLocked(sql, {attachNumber}) : db.query(sql, {attachNumber}))
                .isEmpty();
}

RefusalOf<> notWritten(const QString& path, const QString& reason)
{
    return {QStringLiteral("The file %1 could not be written: %2").arg(path, reason)};
}

/**
 * Writes the content to `path` through a temporary file that replaces it only when complete, and
 * sets `digest` (when given) to the fingerprint of what was written. Refused when the file cannot
 * be written; declined when cancelled.
 */
Outcome<Done> writeContent(Database& db, qlonglong attachNumber, const QString& path,
                           QFileDevice::Permissions permissions, const BlobProgress& progress,
                           QByteArray* digest = nullptr)
{
    QSaveFile file(path);
    // Unbuffered: each piece's write is checked as it happens; a buffered write that the disk cut
    // short would go unreported and the short file replace the old one (see core/WholeFile.h).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return notWritten(path, file.errorString());
    if (permissions && !file.setPermissions(permissions))
        return notWritten(path, file.errorString());
    DigestingDevice digesting(file, QIODevice::WriteOnly);
    QIODevice& sink = digest ? static_cast<QIODevice&>(digesting) : file;
    try {
        db.readBlob(dataOf(attachNumber), sink, progress);
    } catch (const TransferCancelled&) {
        file.cancelWriting();
        return Outcome<Done>::declined();
    } catch (const DbError&) {
        // A sink that refuses a piece is the file's failure, not the database's.
        if (file.error() == QFileDevice::NoError)
            throw;
        return notWritten(path, file.errorString());
    }
    if (!file.commit())
        return notWritten(path, file.errorString());
    if (digest)
        *digest = digesting.result();
    return Done{};
}

QByteArray digestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Fingerprint digest;
    std::vector<char> piece(1024 * 1024);
    for (;;) {
        const qint64 got = file.read(piece.data(), qint64(piece.size()));
        if (got < 0)
            return {};
        if (got == 0)
            return digest.result();
        digest.add(piece.data(), got);
    }
}

/** Records what the file looks like now; `digest` is that of the bytes just written or read. */
void takeState(ViewerCopy& copy, const QByteArray& digest)
{
    const QFileInfo info(copy.path);
    copy.size = info.size();
    copy.modified = info.lastModified();
    copy.digest = digest;
}

bool makeOwnerOnlyFolder(const QString& path)
{
    return QDir().mkpath(path) && QFile::setPermissions(path, kOwnerOnlyFolder);
}

/** A name for a file in the viewer folder: the last part only, never "." or "..". */
QString viewerName(const QString& stored)
{
    QString name = withoutFolder(stored).trimmed();
    name.remove(QChar(0));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("attachment");
    return name;
}

} // namespace

BlobRef dataOf(qlonglong attachNumber)
{
    return {QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"), attachNumber,
            QStringLiteral("OLE_Data")};
}

QString withoutFolder(const QString& name)
{
    const qsizetype cut =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return name.mid(cut + 1);
}

std::optional<RefusalOf<>> checkStorable(Database& db, const QString& name, qint64 size)
{
    const qint64 limit = db.maxBlobSize();
    if (size <= limit)
        return std::nullopt;
    return RefusalOf<>{QStringLiteral("The file %1 is too large to store: it has %2 bytes, the "
                                      "database takes at most %3.")
                           .arg(name)
                           .arg(size)
                           .arg(limit)};
}

std::optional<RefusalOf<>> importContent(Database& db, qlonglong attachNumber, QIODevice& source,
                                         qint64 size, const QString& name,
                                         const BlobProgress& progress)
{
    CheckedSource checked(source);
    try {
        db.writeBlob(dataOf(attachNumber), checked, size, progress);
    } catch (const DbError&) {
        if (checked.failure().isEmpty())
            throw;
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be imported: %2").arg(name, checked.failure())};
    }
    return std::nullopt;
}

Outcome<Done> saveAs(Database& db, qlonglong attachNumber, const QString& target,
                     const BlobProgress& progress)
{
    if (!rowExists(db, attachNumber, false))
        return RefusalOf<>{kAttachmentNotFound};
    return writeContent(db, attachNumber, target, {}, progress);
}

Outcome<ViewerCopy> exportForViewer(Database& db, qlonglong attachNumber,
                                    const BlobProgress& progress, bool readOnly)
{
    const RecordSet row = db.query(
        QStringLiteral("SELECT Attach_Type, Attach_Filename FROM ATTACH WHERE Attach_Number = ?"),
        {attachNumber});
    if (row.isEmpty())
        return RefusalOf<>{kAttachmentNotFound};
    const QString type = row.text(QStringLiteral("Attach_Type"));
    if (!isAttachmentType(type, AttachmentType::File) &&
        !isAttachmentType(type, AttachmentType::Object))
        return RefusalOf<>{QStringLiteral("This attachment holds no file to open.")};

    removeViewerCopy(attachNumber);
    const QString folder = QDir(viewerRoot()).filePath(QString::number(attachNumber));
    if (!makeOwnerOnlyFolder(viewerRoot()) || !makeOwnerOnlyFolder(folder))
        return RefusalOf<>{QStringLiteral("Could not create the folder ") + folder};
    ViewerCopy copy;
    copy.attachNumber = attachNumber;
    copy.path = QDir(folder).filePath(viewerName(row.text(QStringLiteral("Attach_Filename"))));
    QByteArray digest;
    const Outcome<Done> written =
        writeContent(db, attachNumber, copy.path,
                     readOnly ? QFileDevice::ReadOwner : kOwnerOnlyFile, progress, &digest);
    if (!written) {
        if (written.refusal())
            return *written.refusal();
        return Outcome<ViewerCopy>::declined();
    }
    takeState(copy, digest);
    if (isSharedDocument(db, attachNumber))
        if (const auto current = currentVersion(db, attachNumber))
            copy.newest = current->number;
    return copy;
}

bool changedSinceExport(const ViewerCopy& copy)
{
    const QFileInfo info(copy.path);
    if (!info.exists() || info.size() != copy.size)
        return true;
    if (info.lastModified() == copy.modified)
        return false;
    return digestOf(copy.path) != copy.digest;
}

void keepCurrentState(ViewerCopy& copy)
{
    takeState(copy, digestOf(copy.path));
}

std::optional<PublishedVersion> newerVersion(Database& db, const ViewerCopy& copy)
{
    if (copy.newest == 0)
        return std::nullopt;
    const auto current = currentVersion(db, copy.attachNumber);
    if (!current || current->number <= copy.newest)
        return std::nullopt;
    return current;
}

Outcome<Done> saveBack(Database& db, ViewerCopy& copy, const VersionAuthor& author,
                       const BlobProgress& progress)
{
    QFile file(copy.path);
    if (!file.open(QIODevice::ReadOnly))
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be read: %2").arg(copy.path, file.errorString())};
    const qint64 size = file.size();
    if (auto refused = checkStorable(db, copy.path, size))
        return *refused;
    DigestingDevice reading(file, QIODevice::ReadOnly);
    try {
        Transaction tx(db);
        // Held until the end, so that the row cannot go while its content is written.
        if (!rowExists(db, copy.attachNumber, true))
            return RefusalOf<>{kAttachmentNotFound};
        if (isSharedDocument(db, copy.attachNumber)) {
            // Never rewritten: the copy becomes the newest version, whatever was published since.
            const Outcome<qlonglong> published = publishVersion(
                db, copy.attachNumber, {}, author, &reading, size, copy.path, progress);
            if (!published)
                return *published.refusal();
            tx.commit();
            copy.newest = *published;
        } else {
            if (auto refused =
                    importContent(db, copy.attachNumber, reading, size, copy.path, progress))
                return *refused;
            tx.commit();
        }
    } catch (const TransferCancelled&) {
        return Outcome<Done>::declined();
    }
    file.close();
    takeState(copy, reading.result());
    return Done{};
}

void removeViewerCopy(qlonglong attachNumber)
{
    QDir(QDir(viewerRoot()).filePath(QString::number(attachNumber))).removeRecursively();
}

} // namespace bx::attachments
