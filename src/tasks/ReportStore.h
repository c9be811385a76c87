#pragma once

#include "reports/ReportShelf.h"

namespace bx {

class Session;

/**
 * The stored reports of the session's current workshop: ATTACH rows of type "R" of no task, with
 * the layout text as their content. Rows without a workshop are shared by every workshop (the
 * standard reports are stored so). Each change is one transaction; DbError travels up.
 */
class ReportStore final : public ReportShelf
{
public:
    explicit ReportStore(Session& session);

    /** "The report no longer exists." */
    static const QString kReportGone;
    /** "The report needs a file name." */
    static const QString kNoFileName;

    Outcome<QList<StoredReport>> list() override;
    Outcome<QByteArray> load(qlonglong number) override;
    Outcome<qlonglong> publish(qlonglong number, const QString& fileName, const QString& title,
                               const QByteArray& layout) override;
    Outcome<Done> remove(qlonglong number) override;

private:
    /** The listed report `number`, or none. */
    std::optional<StoredReport> find(qlonglong number);
    /** Refuses a user without the right to change `report`. */
    std::optional<RefusalOf<>> refuseChange(const StoredReport& report) const;
    QString publishedTitle(const QString& title) const;

    Session& m_session;
};

} // namespace bx
