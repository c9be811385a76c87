#pragma once

#include "core/Refusal.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace bx {

/** One stored report of the workshop's list. */
struct StoredReport
{
    qlonglong number = 0; ///< its Attach_Number
    QString fileName;
    QString title;
    /** The workshop it belongs to; 0 for a report every workshop shares. */
    qlonglong workshop = 0;

    /** The list's key: "Key" + number. */
    QString key() const { return QStringLiteral("Key") + QString::number(number); }
    bool shared() const { return workshop == 0; }
    bool operator==(const StoredReport&) const = default;
};

/**
 * The workshop's stored reports, as the report window sees them: the rows live with the
 * attachments, which this folder cannot reach, so the window is handed an implementation.
 *
 * Every member refuses a user without the reports right, and a change of a shared report without
 * the global-reports right, having written nothing. A report that is not the workshop's own and
 * not shared counts as missing.
 */
class ReportShelf
{
public:
    virtual ~ReportShelf() = default;

    /** The workshop's own reports and the shared ones, by file name. */
    virtual Outcome<QList<StoredReport>> list() = 0;
    /** The layout text of a listed report. */
    virtual Outcome<QByteArray> load(qlonglong number) = 0;
    /**
     * Publishes `layout` under `fileName`: as a new report of the current workshop when `number`
     * is 0, else over report `number`, which keeps its number. Its title is
     * `title` + ", " + the user + ", " + the local date and time. @return the report's number
     */
    virtual Outcome<qlonglong> publish(qlonglong number, const QString& fileName,
                                       const QString& title, const QByteArray& layout) = 0;
    /** Deletes a listed report (the caller has asked "Are you sure?"). */
    virtual Outcome<Done> remove(qlonglong number) = 0;
};

} // namespace bx
