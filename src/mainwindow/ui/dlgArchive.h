#pragma once

#include "mainwindow/FileCabinet.h"

#include <QDialog>
#include <QList>

class QTreeWidget;

namespace bx {

class Clock;

/**
 * The archived versions of a shared document (mnuShowArchive): one row each in lstVersions with
 * its title, owner and local date, newest first as given. A double-click asks to open that
 * version (versionChosen); the window itself reads and writes nothing.
 */
class dlgArchive final : public QDialog
{
    Q_OBJECT
public:
    dlgArchive(const Clock& clock, QList<cabinet::Document> versions, QWidget* parent = nullptr);

    const QList<cabinet::Document>& versions() const { return m_versions; }

signals:
    void versionChosen(const bx::cabinet::Document& version);

private:
    QList<cabinet::Document> m_versions;
    QTreeWidget* m_list;
};

} // namespace bx
