#pragma once

#include "core/Refusal.h"
#include "core/UserRecord.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRunner.h"

#include <QList>
#include <QString>

#include <optional>

namespace bx {

/**
 * A report layout as its properties dialog edits it: the layout, and where its rows come from,
 * either a preset source, whose statement the program writes, or a statement of the user's own
 * (the layout's query and parameters as they stand).
 */
struct ReportDraft
{
    ReportLayout layout;
    /** The preset source of the rows; none for the layout's own query. */
    std::optional<reportrun::Source> source;
    /**
     * For a preset source: the order of its rows after that of the group levels and before the
     * source's own. Ignored for an own query, which orders its rows itself.
     */
    QList<reportrun::ReportSort> sorts;

    bool operator==(const ReportDraft&) const = default;
};

namespace reportdraft {

/**
 * The draft of a stored layout: a preset source when its query and parameters are exactly those
 * of one, its group fields leading the order, the rest of that order its sorts; otherwise an own
 * query.
 */
ReportDraft draftOf(const ReportLayout& layout);

/**
 * UserRights::kNoGlobalReports unless the user has the global-reports right: choosing "Write my
 * own query", and any change of an own query or of its parameters.
 */
std::optional<RefusalOf<>> refuseOwnQuery(const UserRecord& user);

/**
 * Publishing `layout` over `stored` (the layout as the workshop has it; none for a new report, or
 * one from a file): UserRights::kNoGlobalReports unless the user has the global-reports right,
 * when the layout reads its rows with an own statement that is not the stored one. Else a layout
 * opened from a file would carry a statement past the properties' check.
 */
std::optional<RefusalOf<>> refusePublishing(const UserRecord& user, const ReportLayout& layout,
                                            const std::optional<ReportLayout>& stored);

/**
 * The layout the draft describes, as the dialog hands it back on OK: captions left empty take
 * their defaults (ReportLayout::fillDefaultCaptions), so that the layout reads back from its file
 * unchanged; a preset source's statement and parameters are written afresh, its rows ordered by
 * the group fields, then the sorts. Refused, the draft unchanged, when
 * - an own query or its parameters (but their captions) differ from `original`'s and the user
 *   lacks the global-reports right (refuseOwnQuery);
 * - a group or sort field of a preset source is not a plain field (reportrun::isPlainField);
 * - the layout does not pass ReportLayout::validationError, whose reason it gives.
 */
Outcome<ReportLayout> finish(const UserRecord& user, const ReportLayout& original,
                             const ReportDraft& draft);

} // namespace reportdraft

} // namespace bx
