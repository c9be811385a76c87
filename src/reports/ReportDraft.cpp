#include "reports/ReportDraft.h"

#include "core/UserRights.h"

namespace bx::reportdraft {

namespace {

/** The query and its parameters, all that decides which rows a report reads. */
bool sameStatement(const ReportLayout& a, const ReportLayout& b)
{
    if (a.query != b.query || a.parameters.size() != b.parameters.size())
        return false;
    for (qsizetype i = 0; i < a.parameters.size(); ++i) {
        ReportParameter p = a.parameters.at(i);
        p.caption = b.parameters.at(i).caption;
        if (p != b.parameters.at(i))
            return false;
    }
    return true;
}

RefusalOf<> notPlain(const char* list, qsizetype index, const QString& field)
{
    return {QLatin1String(list) + QLatin1Char('[') + QString::number(index) +
            QLatin1String("]: field \"") + field +
            QLatin1String("\" must be made of letters, digits and \"_\" to order a source's rows")};
}

} // namespace

ReportDraft draftOf(const ReportLayout& layout)
{
    ReportDraft draft{layout, std::nullopt, {}};
    const std::optional<reportrun::SourceOrder> found = reportrun::sourceOf(layout.query);
    if (!found)
        return draft;
    ReportLayout preset;
    reportrun::useSource(preset, found->source, found->first);
    if (!sameStatement(preset, layout))
        return draft;

    // The group fields lead the order; what follows them is the user's.
    qsizetype lead = 0;
    while (lead < found->first.size() && lead < layout.grouping.size() &&
           !found->first.at(lead).descending &&
           found->first.at(lead).field.compare(layout.grouping.at(lead).field,
                                               Qt::CaseInsensitive) == 0)
        ++lead;
    if (lead < layout.grouping.size())
        return draft; // a preset that does not order by its groups is the user's own statement
    draft.source = found->source;
    draft.sorts = found->first.mid(lead);
    return draft;
}

std::optional<RefusalOf<>> refuseOwnQuery(const UserRecord& user)
{
    return UserRights::refuseUnlessGlobalReporter(user);
}

std::optional<RefusalOf<>> refusePublishing(const UserRecord& user, const ReportLayout& layout,
                                            const std::optional<ReportLayout>& stored)
{
    if (draftOf(layout).source || (stored && sameStatement(layout, *stored)))
        return std::nullopt;
    return refuseOwnQuery(user);
}

Outcome<ReportLayout> finish(const UserRecord& user, const ReportLayout& original,
                             const ReportDraft& draft)
{
    ReportLayout layout = draft.layout;
    layout.fillDefaultCaptions();
    if (draft.source) {
        QList<reportrun::ReportSort> order;
        for (qsizetype i = 0; i < layout.grouping.size(); ++i) {
            if (!reportrun::isPlainField(layout.grouping.at(i).field))
                return notPlain("grouping", i, layout.grouping.at(i).field);
            order << reportrun::ReportSort{layout.grouping.at(i).field, false};
        }
        for (qsizetype i = 0; i < draft.sorts.size(); ++i) {
            if (!reportrun::isPlainField(draft.sorts.at(i).field))
                return notPlain("sorts", i, draft.sorts.at(i).field);
            order << draft.sorts.at(i);
        }
        reportrun::useSource(layout, *draft.source, order);
    } else if (!sameStatement(layout, original)) {
        if (std::optional<RefusalOf<>> refused = refuseOwnQuery(user))
            return *refused;
    }
    if (const QString error = layout.validationError(); !error.isEmpty())
        return RefusalOf<>{QStringLiteral("The report cannot be used: ") + error};
    return layout;
}

} // namespace bx::reportdraft
