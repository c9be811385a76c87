#include "reports/ReportDraft.h"

#include "core/UserRights.h"
#include "support/ReportSamples.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportrun;

namespace {

UserRecord userWith(bool globalReports)
{
    UserRecord user;
    user.userId = QStringLiteral("ann");
    user.reports = true;
    user.globalReports = globalReports;
    return user;
}

/** A layout over the tasks, grouped by owner, its rows then by title, last first. */
ReportLayout tasksByOwner()
{
    ReportLayout l;
    l.title = QStringLiteral("Tasks by owner");
    l.columns = {{QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("Owner"), 10,
                  ReportAlign::Left, ReportFormat::Text, -1, true},
                 {QStringLiteral("SCR_Title"), QStringLiteral("Title")}};
    l.grouping = {{QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("Owner"), true, false}};
    useSource(l, Source::Tasks,
              {{QStringLiteral("SCR_Owner_User_ID"), false}, {QStringLiteral("SCR_Title"), true}});
    return l;
}

int writtenFormat(const ReportLayout& layout)
{
    return QJsonDocument::fromJson(layout.toJson()).object().value(QLatin1String("format")).toInt();
}

} // namespace

// Whatever the dialog hands back reads back from its file unchanged, and is written in the oldest
// format that holds it.
TEST(ReportDraft, WhatIsHandedBackReadsBackEqual)
{
    ReportLayout blank;
    blank.title = QStringLiteral("New Report");
    useSource(blank, Source::History);
    blank.columns = {{QStringLiteral("Route_Note"), QString()}};
    blank.grouping = {{QStringLiteral("Route_Note"), QString(), true, true}};
    blank.totals = {{QStringLiteral("Route_Note"), ReportFunction::Count, ReportLevel::Group, {}}};
    ReportLayout plain = bx::test::everyKeyReportLayout();
    plain.style.reset();
    plain.columns[4].format = ReportFormat::Number;

    const struct
    {
        const char* what;
        ReportLayout layout;
        int format;
    } cases[] = {
        {"every key", bx::test::everyKeyReportLayout(), 2},
        {"neither style nor currency", plain, 1},
        {"a preset source with groups and sorts", tasksByOwner(), 1},
        {"captions left empty", blank, 1},
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
        EXPECT_EQ(writtenFormat(*done), c.format);
    }
    // The empty captions took the defaults the reader gives.
    const Outcome<ReportLayout> filled =
        reportdraft::finish(userWith(false), blank, reportdraft::draftOf(blank));
    ASSERT_TRUE(filled);
    EXPECT_EQ(filled->columns.at(0).caption, QStringLiteral("Route_Note"));
    EXPECT_EQ(filled->grouping.at(0).caption, QStringLiteral("Route_Note"));
    EXPECT_EQ(filled->totals.at(0).caption, QStringLiteral("Count"));
}

// A preset source is recognised with the order its groups and sorts put first, and written
// afresh when they change; an order that does not start with the groups is not the preset's.
TEST(ReportDraft, PresetSourcesAreOrderedByGroupsThenSorts)
{
    const ReportDraft draft = reportdraft::draftOf(tasksByOwner());
    ASSERT_EQ(draft.source, Source::Tasks);
    EXPECT_EQ(draft.sorts, (QList<ReportSort>{{QStringLiteral("SCR_Title"), true}}));
    EXPECT_TRUE(tasksByOwner().query.endsWith(
        QLatin1String("\nORDER BY SCR_Owner_User_ID, SCR_Title DESC, SCR.SCR_Number")));

    ReportDraft changed = draft;
    changed.source = Source::Attachments;
    changed.layout.grouping.clear();
    changed.sorts = {{QStringLiteral("Attach_Date"), true}};
    const Outcome<ReportLayout> done = reportdraft::finish(userWith(false), draft.layout, changed);
    ASSERT_TRUE(done) << done.refusal()->message.toStdString();
    EXPECT_EQ(done->query,
              sourceQuery(Source::Attachments, {{QStringLiteral("Attach_Date"), true}}));
    EXPECT_EQ(sourceOf(done->query),
              (SourceOrder{Source::Attachments, {{QStringLiteral("Attach_Date"), true}}}));

    // Blank reports and the layouts stored before sorting existed are the sources as they were.
    ReportLayout old;
    useSource(old, Source::History);
    EXPECT_TRUE(old.query.endsWith(QLatin1String("\nORDER BY SCR.SCR_Number, ROUTE.Route_Number")));
    EXPECT_EQ(sourceOf(old.query), (SourceOrder{Source::History, {}}));

    ReportLayout unordered = tasksByOwner();
    unordered.grouping.prepend({QStringLiteral("SCR_Title"), {}, true, false});
    EXPECT_FALSE(reportdraft::draftOf(unordered).source);
    EXPECT_FALSE(sourceOf(unordered.query + QStringLiteral(", x")));
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
        EXPECT_TRUE(sorted.refusal()->message.startsWith(QLatin1String("sorts[0]: field")));

        ReportDraft asGroup = reportdraft::draftOf(tasksByOwner());
        asGroup.layout.columns[0].field = QString::fromUtf8(name);
        asGroup.layout.grouping[0].field = QString::fromUtf8(name);
        const Outcome<ReportLayout> grouped =
            reportdraft::finish(userWith(true), tasksByOwner(), asGroup);
        ASSERT_FALSE(grouped);
        EXPECT_TRUE(grouped.refusal()->message.startsWith(QLatin1String("grouping[0]: field")));
    }
}

// Without the global-reports right the statement and its parameters stay as they were; all else
// of the layout may change, and a preset source may always be chosen.
TEST(ReportDraft, AnOwnQueryNeedsTheGlobalReportsRight)
{
    const ReportLayout own = bx::test::everyKeyReportLayout();
    ReportLayout blank;
    blank.title = QStringLiteral("New Report");
    useSource(blank, Source::Tasks);
    blank.columns = {{QStringLiteral("SCR_Title"), QStringLiteral("Title")}};

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
                     d.layout.query.replace(QStringLiteral("SCR.*"),
                                            QStringLiteral("SCR.SCR_Title"));
                 }),
         true},
        {"the own query's text", own,
         changed(own,
                 [](ReportDraft& d) {
                     d.layout.query.replace(QStringLiteral(">="), QStringLiteral(">"));
                 }),
         true},
        {"a parameter now asked", own,
         changed(own, [](ReportDraft& d) { d.layout.parameters[2].ask = true; }), true},
        {"a parameter's default", own,
         changed(own,
                 [](ReportDraft& d) { d.layout.parameters[0].defaultValue = QStringLiteral("5"); }),
         true},
        {"a parameter's caption", own,
         changed(own,
                 [](ReportDraft& d) { d.layout.parameters[0].caption = QStringLiteral("Lowest"); }),
         false},
        {"the title and columns", own,
         changed(own,
                 [](ReportDraft& d) {
                     d.layout.title = QStringLiteral("Other");
                     d.layout.columns[3].width = 50;
                 }),
         false},
        {"an own query turned into a preset", own,
         changed(own,
                 [](ReportDraft& d) {
                     d.source = Source::Tasks;
                     d.layout.columns = {{QStringLiteral("SCR_Title"), QStringLiteral("Title")}};
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
    retitled.title = QStringLiteral("Other");
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

// A layout the format refuses is refused with the reason, whoever edits it.
TEST(ReportDraft, RefusesALayoutTheFormatRefuses)
{
    ReportDraft draft = reportdraft::draftOf(bx::test::everyKeyReportLayout());
    draft.layout.title.clear();
    const Outcome<ReportLayout> done =
        reportdraft::finish(userWith(true), bx::test::everyKeyReportLayout(), draft);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.refusal()->message,
              QStringLiteral("The report cannot be used: the layout has no title"));
}
