#include "tasks/ReportStore.h"

#include "core/Clock.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Attachments.h"

#include <QBuffer>

namespace bx {

const QString ReportStore::kReportGone = QStringLiteral("The report no longer exists.");
const QString ReportStore::kNoFileName = QStringLiteral("The report needs a file name.");

namespace {

// The workshop's own reports and those of no workshop; Group_ID is Null for the latter, though
// older rows may hold 0.
const QString kListed =
    QStringLiteral("SELECT Attach_Number, Attach_Filename, Attach_Title, Group_ID FROM ATTACH "
                   "WHERE Attach_Type = 'R' AND (Group_ID = ? OR COALESCE(Group_ID, 0) = 0)");

StoredReport reportOf(const QVariantList& row)
{
    return {row.at(0).toLongLong(), row.at(1).toString(), row.at(2).toString(),
            row.at(3).toLongLong()};
}

} // namespace

ReportStore::ReportStore(Session& session)
    : m_session(session)
{
}

Outcome<QList<StoredReport>> ReportStore::list()
{
    if (auto refused = UserRights::refuseUnlessReporter(m_session.user.record))
        return *refused;
    const RecordSet rows =
        m_session.db().query(kListed + QStringLiteral(" ORDER BY Attach_Filename, Attach_Number"),
                             {m_session.currentWorkshopId});
    QList<StoredReport> reports;
    for (const QVariantList& row : rows.rows())
        reports << reportOf(row);
    return reports;
}

Outcome<QByteArray> ReportStore::load(qlonglong number)
{
    if (auto refused = UserRights::refuseUnlessReporter(m_session.user.record))
        return *refused;
    if (!find(number))
        return RefusalOf<>{kReportGone};
    QByteArray text;
    QBuffer sink(&text);
    sink.open(QIODevice::WriteOnly);
    m_session.db().readBlob(attachments::dataOf(number), sink);
    return text;
}

Outcome<qlonglong> ReportStore::publish(qlonglong number, const QString& fileName,
                                        const QString& title, const QByteArray& layout)
{
    if (auto refused = UserRights::refuseUnlessReporter(m_session.user.record))
        return *refused;
    const QString name = attachments::withoutFolder(fileName).trimmed();
    if (name.isEmpty())
        return RefusalOf<>{kNoFileName};
    Database& db = m_session.db();
    const QDateTime now = m_session.clock().nowUtc();

    if (number == 0) {
        PendingAttachment pending;
        pending.type = AttachmentType::Report;
        pending.title = publishedTitle(title);
        pending.content = QString::fromUtf8(layout);
        pending.owner = m_session.user.userId;
        pending.date = now;
        pending.fileName = name;
        AttachmentPlace place;
        place.workshop = m_session.currentWorkshopId;
        return attachments::add(db, place, pending);
    }

    const std::optional<StoredReport> report = find(number);
    if (!report)
        return RefusalOf<>{kReportGone};
    if (auto refused = refuseChange(*report))
        return *refused;
    if (auto refused = attachments::checkStorable(db, name, layout.size()))
        return *refused;
    Transaction tx(db);
    QByteArray bytes = layout;
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    if (auto refused = attachments::importContent(db, number, source, bytes.size(), name))
        return *refused;
    db.execute(QStringLiteral("UPDATE ATTACH SET Attach_Filename = ?, Attach_Title = ?, "
                              "Attach_Owner = ?, Attach_Date = ? WHERE Attach_Number = ?"),
               {name, publishedTitle(title), m_session.user.userId, now, number});
    tx.commit();
    return number;
}

Outcome<Done> ReportStore::remove(qlonglong number)
{
    if (auto refused = UserRights::refuseUnlessReporter(m_session.user.record))
        return *refused;
    const std::optional<StoredReport> report = find(number);
    if (!report)
        return RefusalOf<>{kReportGone};
    if (auto refused = refuseChange(*report))
        return *refused;
    m_session.db().execute(
        QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ? AND Attach_Type = 'R'"),
        {number});
    return Done{};
}

std::optional<StoredReport> ReportStore::find(qlonglong number)
{
    const RecordSet rows = m_session.db().query(kListed + QStringLiteral(" AND Attach_Number = ?"),
                                                {m_session.currentWorkshopId, number});
    if (rows.isEmpty())
        return std::nullopt;
    return reportOf(rows.rows().first());
}

std::optional<RefusalOf<>> ReportStore::refuseChange(const StoredReport& report) const
{
    if (report.shared())
        return UserRights::refuseUnlessGlobalReporter(m_session.user.record);
    return std::nullopt;
}

QString ReportStore::publishedTitle(const QString& title) const
{
    return title + QStringLiteral(", ") + m_session.user.userId + QStringLiteral(", ") +
           m_session.clock().nowLocal().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace bx
