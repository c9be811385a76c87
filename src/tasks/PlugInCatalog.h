#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace bx::plugins {

/**
 * The folders plug-in libraries are loaded from, searched in this order: each folder of the
 * environment variable BRINDLEPAX_PLUGINS (separated like PATH), "plugins" in the per-user data
 * folder, "plugins" beside the executable and the installed plug-in folder. Libraries are never
 * loaded from anywhere else, whatever the database names.
 */
QStringList searchFolders();

/** One plug-in library found in a search folder, as its metadata describes it. */
struct PlugInLibrary
{
    QString path;        ///< the library file
    QString iid;         ///< the interface it says it implements
    QStringList progIds; ///< the ProgIDs it creates ("MetaData": {"ProgIDs": [...]})
};

/**
 * The plug-in libraries of the search folders, read from their metadata without loading them.
 * A ProgID is looked up in any case; when two libraries offer one, the first folder wins.
 */
class PlugInCatalog
{
public:
    explicit PlugInCatalog(const QStringList& folders = searchFolders());

    const QList<PlugInLibrary>& libraries() const { return m_libraries; }
    /** The library creating `progId`, or null when none of the folders has it. */
    const PlugInLibrary* find(const QString& progId) const;

private:
    QList<PlugInLibrary> m_libraries;
};

/**
 * What the task editor had not saved when it called into a plug-in: written into the per-user data
 * folder before each call and removed when the call returns, so that a plug-in that takes the
 * program down leaves it behind for the next start.
 */
struct PlugInCallRecord
{
    QString progId;
    qlonglong task = 0;
    QVariantMap values; ///< the editor's unsaved values, by column
};

/** The file a call record of this process is written to for task `task`. */
QString callRecordPath(qlonglong task);
/** Writes `record` (mode 0600); returns "" or the reason it could not be written. */
QString writeCallRecord(const PlugInCallRecord& record);
/** Removes the call record of this process for `task`. */
void removeCallRecord(qlonglong task);
/**
 * The call records left over by processes that ended during a call, each removed as it is read.
 * Unreadable files are removed and skipped.
 */
QList<PlugInCallRecord> takeLeftOverCallRecords();

} // namespace bx::plugins
