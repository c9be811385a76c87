#include "tasks/PlugInCatalog.h"

#include "core/AppPaths.h"
#include "core/WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>

namespace bx::plugins {

namespace {

const QString kFolder = QStringLiteral("plugins");
const QString kRecordPrefix = QStringLiteral("PlugInCall-");

QString recordFolder()
{
    return AppPaths::dataDir();
}

} // namespace

QStringList searchFolders()
{
    QStringList folders;
    const QString listed = qEnvironmentVariable("BRINDLEPAX_PLUGINS");
    for (const QString& folder : listed.split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << QDir::cleanPath(folder);
    folders << AppPaths::dataDir() + QLatin1Char('/') + kFolder;
    if (QCoreApplication::instance() != nullptr)
        folders << QCoreApplication::applicationDirPath() + QLatin1Char('/') + kFolder;
    folders << QDir::cleanPath(QStringLiteral(BX_INSTALL_PLUGINDIR));
    folders.removeDuplicates();
    return folders;
}

PlugInCatalog::PlugInCatalog(const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        for (const QString& file : files) {
            const QString path = dir.absoluteFilePath(file);
            if (!QLibrary::isLibrary(path))
                continue;
            // Reads the metadata section of the file; the library is not loaded.
            const QJsonObject meta = QPluginLoader(path).metaData();
            if (meta.isEmpty())
                continue;
            PlugInLibrary library{path, meta.value(QStringLiteral("IID")).toString(), {}};
            const QJsonArray ids = meta.value(QStringLiteral("MetaData"))
                                       .toObject()
                                       .value(QStringLiteral("ProgIDs"))
                                       .toArray();
            for (const auto& id : ids)
                if (!id.toString().isEmpty())
                    library.progIds << id.toString();
            if (!library.progIds.isEmpty())
                m_libraries << library;
        }
    }
}

const PlugInLibrary* PlugInCatalog::find(const QString& progId) const
{
    for (const PlugInLibrary& library : m_libraries)
        if (library.progIds.contains(progId, Qt::CaseInsensitive))
            return &library;
    return nullptr;
}

QString callRecordPath(qlonglong task)
{
    return QStringLiteral("%1/%2%3-%4.json")
        .arg(recordFolder(), kRecordPrefix)
        .arg(QCoreApplication::applicationPid())
        .arg(task);
}

QString writeCallRecord(const PlugInCallRecord& record)
{
    const QJsonObject json{{QStringLiteral("progId"), record.progId},
                           {QStringLiteral("task"), record.task},
                           {QStringLiteral("values"), QJsonObject::fromVariantMap(record.values)}};
    return writeWholeFile(callRecordPath(record.task), QJsonDocument(json).toJson(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void removeCallRecord(qlonglong task)
{
    QFile::remove(callRecordPath(task));
}

QList<PlugInCallRecord> takeLeftOverCallRecords()
{
    QList<PlugInCallRecord> records;
    const QDir dir(recordFolder());
    const QStringList files =
        dir.entryList({kRecordPrefix + QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    const QString own =
        QStringLiteral("%1%2-").arg(kRecordPrefix).arg(QCoreApplication::applicationPid());
    for (const QString& file : files) {
        if (file.startsWith(own))
            continue; // a call of this process still under way
        const QString path = dir.absoluteFilePath(file);
        QFile in(path);
        const bool opened = in.open(QIODevice::ReadOnly);
        const QJsonObject json =
            opened ? QJsonDocument::fromJson(in.readAll()).object() : QJsonObject();
        in.close();
        QFile::remove(path);
        const QString progId = json.value(QStringLiteral("progId")).toString();
        if (progId.isEmpty())
            continue;
        records << PlugInCallRecord{progId, json.value(QStringLiteral("task")).toInteger(),
                                    json.value(QStringLiteral("values")).toObject().toVariantMap()};
    }
    return records;
}

} // namespace bx::plugins
