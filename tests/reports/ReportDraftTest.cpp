#include "reports/ReportDraft.h"

#include "core/UserRights.h"
#include "support/ReportSamples.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportrun;
using namespace Qt::StringLiterals;

namespace {

UserRecord userWith(bool globalReports)
{
    UserRecord user;
    user.userId = u"ann"_s;
    user.reports = true;
    user.globalReports = globalReports;
    return user;
}

/** A layout over the tasks, grouped by owner, its rows then by title, last first. */
ReportLayout tasksByOwner()
{
    ReportLayout l;
    l.title = u"Tasks by owner"_s;
    l.columns = {
        {u"SCR_Owner_User_ID"_s, u"Owner"_s, 10, ReportAlign::Left, ReportFormat::Text, -1, true},
        {u"SCR_Title"_s, u"Title"_s}};
    l.grouping = {{u"SCR_Owner_User_ID"_s, u"Owner"_s, true, false}};
    useSource(l, Source::Tasks, {{u"SCR_Owner_User_ID"_s, false}, {u"SCR_Title"_s, true}});
    return l;
}

} // namespace

// Whatever the dialog hands back reads back from its file unchanged (the format it is written in
// is ReportLayoutTest's).
TEST(ReportDraft, WhatIsHandedBackReadsBackEqual)
{
    ReportLayout blank;
    blank.title = u"New Report"_s;
    useSource(blank, Source::History);
    blank.columns = {{u"Route_Note"_s, QString()}};
    blank.grouping = {{u"Route_Note"_s, QString(), true, true}};
    blank.totals = {{u"Route_Note"_s, ReportFunction::Count, ReportLevel::Group, {}}};
    const struct
    {
        const char* what;
        ReportLayout layout;
    } cases[] = {
        {"every key", bx::test::everyKeyReportLayout()},
        {"a preset source with groups and sorts", tasksByOwner()},
        {"captions left empty", blank},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ReportDraft draft = reportdraft::draftOf(c.layout);
        const Outcome<ReportLayout> done = reportdraft::finish(userWith(false), c.layout, draft);
        ASSERT_TRUE(done) << done.refusal()->message.toStdString();
        QString error;
        const std::optional<ReportLayout> read = ReportLayout::fromJson(done->toJson(), &error);
        ASSERT_TRUE(read) << error.toStdString();
        EXPECT_EQ(*read, *done);
    }
    // The empty captions took the defaults the reader gives.
    const Outcome<ReportLayout> filled =
        reportdraft::finish(userWith(false), blank, reportdraft::draftOf(blank));
    ASSERT_TRUE(filled);
    EXPECT_EQ(filled->columns.at(0).caption, u"Route_Note"_s);
    EXPECT_EQ(filled->grouping.at(0).caption, u"Route_Note"_s);
    EXPECT_EQ(filled->totals.at(0).caption, u"Count"_s);
}

// A preset source is recognised with the order its groups and sorts put first, and written
// afresh when they change; an order that does not start with the groups is not the preset's.
TEST(ReportDraft, PresetSourcesAreOrderedByGroupsThenSorts)
{
    const ReportDraft draft = reportdraft::draftOf(tasksByOwner());
    ASSERT_EQ(draft.source, Source::Tasks);
    EXPECT_EQ(draft.sorts, (QList<ReportSort>{{u"SCR_Title"_s, true}}));
    EXPECT_TRUE(tasksByOwner().query.endsWith(
        "\nORDER BY SCR_Owner_User_ID, SCR_Title DESC, SCR.SCR_Number"_L1));

    ReportDraft changed = draft;
    changed.source = Source::Attachments;
    changed.layout.grouping.clear();
    changed.sorts = {{u"Attach_Date"_s, true}};
    const Outcome<ReportLayout> done = reportdraft::finish(userWith(false), draft.layout, changed);
    ASSERT_TRUE(done) << done.refusal()->message.toStdString();
    EXPECT_EQ(done->query, sourceQuery(Source::Attachments, {{u"Attach_Date"_s, true}}));
    EXPECT_EQ(sourceOf(done->query),
              (SourceOrder{Source::Attachments, {{u"Attach_Date"_s, true}}}));

    // Blank reports and the layouts stored before sorting existed are the sources as they were.
    ReportLayout old;
    useSource(old, Source::History);
    EXPECT_TRUE(old.query.endsWith("\nORDER BY SCR.SCR_Number, ROUTE.Route_Number"_L1));
    EXPECT_EQ(sourceOf(old.query), (SourceOrder{Source::History, {}}));

    ReportLayout unordered = tasksByOwner();
    unordered.grouping.prepend({u"SCR_Title"_s, {}, true, false});
    EXPECT_FALSE(reportdraft::draftOf(unordered).source);
    EXPECT_FALSE(sourceOf(unordered.query + u", x"_s));
}

// Only plain field names reach a preset source's statement.
TEST(ReportDraft, RefusesFieldsThatAreNotPlainNames)
{
    const char* const names[] = {
        "SCR_Title; DELETE FROM SCR", "SCR_Title DESC", "1x", "a.b", "[pWorkshop]", ""};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        ReportDraft asSort = reportdraft::draftOf(tasksByOwner());
        asSort.sorts = {{QString::fromUtf8(name), false}};
        const Outcome<ReportLayout> sorted =
            reportdraft::finish(userWith(true), tasksByOwner(), asSort);
        ASSERT_FALSE(sorted);
        EXPECT_TRUE(sorted.refusal()->message.startsWith("sorts[0]: field"_L1));

        ReportDraft asGroup = reportdraft::draftOf(tasksByOwner());
        asGroup.layout.columns[0].field = QString::fromUtf8(name);
        asGroup.layout.grouping[0].field = QString::fromUtf8(name);
        const Outcome<ReportLayout> grouped =
            reportdraft::finish(userWith(true), tasksByOwner(), asGroup);
        ASSERT_FALSE(grouped);
        EXPECT_TRUE(grouped.refusal()->message.startsWith("grouping[0]: field"_L1));
    }
}

// Without the global-reports right the statement and its parameters stay as they were; all else
// of the layout may change, and a preset source may always be chosen.
TEST(ReportDraft, AnOwnQueryNeedsTheGlobalReportsRight)
{
    const ReportLayout own = bx::test::everyKeyReportLayout();
    ReportLayout blank;
    blank.title = u"New Report"_s;
    useSource(blank, Source::Tasks);
    blank.columns = {{u"SCR_Title"_s, u"Title"_s}};

    const auto changed = [](const ReportLayout& from, auto&& change) {
        ReportDraft d = reportdraft::draftOf(from);
        change(d);
        return d;
    };
    const struct
    {
        const char* what;
        ReportLayout original;
        ReportDraft draft;
        bool needsRight;
    } cases[] = {
        {"a preset turned into an own query", blank,
         changed(blank,
                 [](ReportDraft& d) {
                     d.source.reset();
                     d.layout.query.replace(u"SCR.*"_s, u"SCR.SCR_Title"_s);
                 }),
         true},
        {"the own query's text", own,
         changed(own, [](ReportDraft& d) { d.layout.query.replace(u">="_s, u">"_s); }), true},
        {"a parameter now asked", own,
         changed(own, [](ReportDraft& d) { d.layout.parameters[2].ask = true; }), true},
        {"a parameter's default", own,
         changed(own, [](ReportDraft& d) { d.layout.parameters[0].defaultValue = u"5"_s; }), true},
        {"a parameter's caption", own,
         changed(own, [](ReportDraft& d) { d.layout.parameters[0].caption = u"Lowest"_s; }), false},
        {"the title and columns", own,
         changed(own,
                 [](ReportDraft& d) {
                     d.layout.title = u"Other"_s;
                     d.layout.columns[3].width = 50;
                 }),
         false},
        {"an own query turned into a preset", own,
         changed(own,
                 [](ReportDraft& d) {
                     d.source = Source::Tasks;
                     d.layout.columns = {{u"SCR_Title"_s, u"Title"_s}};
                     d.layout.grouping.clear();
                     d.layout.totals.clear();
                 }),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome<ReportLayout> without =
            reportdraft::finish(userWith(false), c.original, c.draft);
        EXPECT_EQ(bool(without), !c.needsRight);
        if (c.needsRight) {
            ASSERT_TRUE(without.refusal());
            EXPECT_EQ(without.refusal()->message, UserRights::kNoGlobalReports);
        }
        const Outcome<ReportLayout> with = reportdraft::finish(userWith(true), c.original, c.draft);
        EXPECT_TRUE(with) << (with.refusal() ? with.refusal()->message.toStdString() : "");
    }
    EXPECT_EQ(reportdraft::refuseOwnQuery(userWith(false))->message, UserRights::kNoGlobalReports);
    EXPECT_FALSE(reportdraft::refuseOwnQuery(userWith(true)));

    // Publishing: an own statement from a file, or changed from the stored one, needs the right
    // too; a preset source, or the stored statement under a new title, does not.
    ReportLayout retitled = own;
    retitled.title = u"Other"_s;
    const struct
    {
        const char* what;
        ReportLayout layout;
        std::optional<ReportLayout> stored;
        bool needsRight;
    } publishing[] = {
        {"an own query from a file", own, std::nullopt, true},
        {"an own query over another stored one", own, blank, true},
        {"the stored own query retitled", retitled, own, false},
        {"a preset source from a file", blank, std::nullopt, false},
    };
    for (const auto& c : publishing) {
        SCOPED_TRACE(c.what);
        const std::optional<RefusalOf<>> refused =
            reportdraft::refusePublishing(userWith(false), c.layout, c.stored);
        EXPECT_EQ(bool(refused), c.needsRight);
        EXPECT_FALSE(reportdraft::refusePublishing(userWith(true), c.layout, c.stored));
    }
}
