#include "core/DesktopFile.h"

#include "core/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <algorithm>

namespace bx::desktop {

namespace {

/**
 * Types the desktop would run, install or hand to an interpreter rather than show. A type counts
 * when it is one of these or inherits one (a shell script inherits application/x-executable).
 */
const QStringList& programTypes()
{
    static const QStringList types = {
        // executables and shared libraries
        QStringLiteral("application/x-executable"),
        QStringLiteral("application/x-pie-executable"),
        QStringLiteral("application/x-sharedlib"),
        QStringLiteral("application/x-elf"),
        QStringLiteral("application/x-mach-binary"),
        // scripts
        QStringLiteral("application/x-shellscript"),
        QStringLiteral("application/x-csh"),
        QStringLiteral("text/x-python"),
        QStringLiteral("text/x-python3"),
        QStringLiteral("application/x-perl"),
        QStringLiteral("application/x-ruby"),
        QStringLiteral("application/javascript"),
        QStringLiteral("text/javascript"),
        QStringLiteral("application/x-php"),
        QStringLiteral("text/x-tcl"),
        QStringLiteral("application/x-tcl"),
        QStringLiteral("text/x-script"),
        // installers, packages and bundles
        QStringLiteral("application/vnd.debian.binary-package"),
        QStringLiteral("application/x-deb"),
        QStringLiteral("application/x-rpm"),
        QStringLiteral("application/x-msi"),
        QStringLiteral("application/x-ms-installer"),
        QStringLiteral("application/vnd.appimage"),
        QStringLiteral("application/x-iso9660-appimage"),
        QStringLiteral("application/vnd.flatpak"),
        QStringLiteral("application/vnd.flatpak.ref"),
        QStringLiteral("application/vnd.flatpak.repo"),
        QStringLiteral("application/vnd.snap"),
        // Windows programs
        QStringLiteral("application/vnd.microsoft.portable-executable"),
        QStringLiteral("application/x-ms-dos-executable"),
        QStringLiteral("application/x-ms-ne-executable"),
        QStringLiteral("application/x-msdownload"),
        QStringLiteral("application/x-bat"),
        QStringLiteral("application/x-ms-shortcut"),
        // Java
        QStringLiteral("application/x-java-archive"),
        QStringLiteral("application/x-java"),
        QStringLiteral("application/x-java-vm"),
        QStringLiteral("application/x-java-jnlp-file"),
        // desktop launchers
        QStringLiteral("application/x-desktop"),
    };
    return types;
}

/**
 * Endings of Windows programs and scripts the MIME database of the desktop may not know by
 * name; a wine or mono setup would still run them.
 */
bool hasWindowsProgramEnding(const QString& name)
{
    static const QStringList endings = {
        QStringLiteral("bat"), QStringLiteral("cmd"), QStringLiteral("com"), QStringLiteral("cpl"),
        QStringLiteral("exe"), QStringLiteral("hta"), QStringLiteral("lnk"), QStringLiteral("msc"),
        QStringLiteral("msi"), QStringLiteral("msp"), QStringLiteral("pif"), QStringLiteral("ps1"),
        QStringLiteral("scr"), QStringLiteral("vbe"), QStringLiteral("vbs"), QStringLiteral("wsf"),
        QStringLiteral("wsh"),
    };
    return endings.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

/**
 * A Java archive is a zip archive whose first entry is its META-INF folder or manifest; the MIME
 * database tells it from a zip archive only by its name.
 */
bool isJavaArchive(const QFileInfo& info)
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64);
    return head.startsWith("PK\x03\x04") && head.mid(30).startsWith("META-INF/");
}

bool isProgramType(const QMimeType& type)
{
    if (!type.isValid())
        return false;
    if (type.name().startsWith(QLatin1String("text/x-script"), Qt::CaseInsensitive))
        return true;
    for (const QString& program : programTypes())
        if (type.inherits(program))
            return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(), [](const QString& ancestor) {
        return ancestor.startsWith(QLatin1String("text/x-script"), Qt::CaseInsensitive);
    });
}

/**
 * Whether the desktop would run the file instead of showing it: judged by its name (every type
 * its name may have) and, for a regular file, by its content, so that neither an innocent name
 * over a program nor a program's name over innocent bytes gets through.
 */
bool isProgramFile(const QFileInfo& info)
{
    if (info.isFile() && info.isExecutable())
        return true;
    const QString name = info.fileName();
    if (hasWindowsProgramEnding(name))
        return true;
    const QMimeDatabase mimes;
    const QList<QMimeType> byName = mimes.mimeTypesForFileName(name);
    if (std::any_of(byName.begin(), byName.end(), isProgramType))
        return true;
    // A pipe or device is not read: that could wait for ever.
    return info.isFile() &&
           (isProgramType(mimes.mimeTypeForFile(info, QMimeDatabase::MatchContent)) ||
            isJavaArchive(info));
}

} // namespace

Outcome<QUrl> fileToOpen(const QString& path)
{
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists())
        return RefusalOf<>{kFileNotFound + path};
    if (!info.isDir() && isProgramFile(info))
        return RefusalOf<>{QStringLiteral("The file ") + path + kIsAProgram};
    return QUrl::fromLocalFile(info.absoluteFilePath());
}

QString viewerRoot()
{
    return QDir(AppPaths::dataDir()).filePath(QStringLiteral("BXView"));
}

void removeViewerCopies()
{
    QDir(viewerRoot()).removeRecursively();
}

} // namespace bx::desktop
