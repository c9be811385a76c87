#include "tasks/ReportStore.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRunner.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/AttachmentTransfer.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

/**
 * Workshops 7 and 8; ann signed in to workshop 7 with the reports right, on 8 May 2024 at 10:00
 * local time, two hours east of GMT. Stored beforehand: "Shared.rpx" of no workshop (as the
 * standard reports are kept), "Other.rpx" of workshop 8 and a memo of workshop 7, which is no
 * report.
 */
class ReportStoreTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        clock.setStandardOffsetSeconds(2 * 3600);
        clock.set(naive(QDate(2024, 5, 8), QTime(10, 0)));
        bx::test::addUsers(db(), {QStringLiteral("ann")});
        bx::test::addWorkshop(db(), 7);
        bx::test::addWorkshop(db(), 8);
        session.currentWorkshopId = 7;
        session.user.record.reports = true;

        shared = row(QStringLiteral("Shared.rpx"), QVariant(), QStringLiteral("R"));
        other = row(QStringLiteral("Other.rpx"), qlonglong(8), QStringLiteral("R"));
        row(QStringLiteral("Memo.rpx"), qlonglong(7), QStringLiteral("M"));
    }

    qlonglong row(const QString& fileName, const QVariant& workshop, const QString& type)
    {
        return db().insertNumbered(
            QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Filename"),
             QStringLiteral("Attach_Title"), QStringLiteral("Attach_Type"),
             QStringLiteral("Group_ID")},
            {0, fileName, fileName + QStringLiteral(" title"), type, workshop});
    }

    static ReportLayout layout(const QString& title)
    {
        ReportLayout l;
        l.title = title;
        reportrun::useSource(l, reportrun::Source::History);
        l.columns = {{QStringLiteral("SCR_Number"), QStringLiteral("ID")},
                     {QStringLiteral("Route_Note"), QStringLiteral("Note")}};
        l.style = ReportStyle::Casual;
        return l;
    }

    QStringList listed()
    {
        const Outcome<QList<StoredReport>> reports = store.list();
        EXPECT_TRUE(reports);
        QStringList names;
        if (reports) {
            for (const StoredReport& r : *reports)
                names << r.fileName;
        }
        return names;
    }

    /** Every ATTACH row with its content's size: what a refused change must leave alone. */
    QString attachRows()
    {
        const RecordSet rows = db().query(
            QStringLiteral("SELECT Attach_Number, Attach_Filename, Attach_Title, Attach_Type, "
                           "Group_ID FROM ATTACH ORDER BY Attach_Number"));
        QStringList out;
        for (const QVariantList& r : rows.rows()) {
            QStringList cells;
            for (const QVariant& v : r)
                cells << v.toString();
            out << cells.join(QLatin1Char('|')) +
                       QString::number(db().blobSize(attachments::dataOf(r.first().toLongLong())));
        }
        return out.join(QLatin1Char('\n'));
    }

    ReportStore store{session};
    qlonglong shared = 0;
    qlonglong other = 0;
};

TEST_P(ReportStoreTest, PublishedReportsReopenEqualAndKeepTheirNumber)
{
    const ReportLayout first = layout(QStringLiteral("Routes of R&D's \"O'Brien\""));
    const Outcome<qlonglong> number =
        store.publish(0, QStringLiteral("/home/ann/Routes.rpx"), first.title, first.toJson());
    ASSERT_TRUE(number);

    const RecordSet stored = db().query(
        QStringLiteral("SELECT Attach_Type, SCR_Number, Group_ID, Attach_Filename, Attach_Title, "
                       "Attach_Owner FROM ATTACH WHERE Attach_Number = ?"),
        {*number});
    ASSERT_EQ(stored.rowCount(), 1);
    EXPECT_EQ(stored.text(QStringLiteral("Attach_Type")), QStringLiteral("R"));
    EXPECT_EQ(stored.value(0, QStringLiteral("SCR_Number")).toLongLong(), 0);
    EXPECT_EQ(stored.value(0, QStringLiteral("Group_ID")).toLongLong(), 7);
    EXPECT_EQ(stored.text(QStringLiteral("Attach_Filename")), QStringLiteral("Routes.rpx"));
    EXPECT_EQ(stored.text(QStringLiteral("Attach_Title")),
              first.title + QStringLiteral(", ann, 2024-05-08 10:00"));
    EXPECT_EQ(stored.text(QStringLiteral("Attach_Owner")), QStringLiteral("ann"));

    const auto reopened = [&] {
        const Outcome<QByteArray> text = store.load(*number);
        EXPECT_TRUE(text);
        const Outcome<ReportLayout> read =
            reportrun::readLayout(session, text ? *text : QByteArray());
        EXPECT_TRUE(read);
        return read ? *read : ReportLayout();
    };
    EXPECT_EQ(reopened(), first);

    // Republished later under another title and name: the same row, its fields and content new.
    clock.set(naive(QDate(2024, 5, 9), QTime(7, 30)));
    ReportLayout second = layout(QStringLiteral("Routes"));
    second.orientation = ReportOrientation::Landscape;
    const Outcome<qlonglong> again =
        store.publish(*number, QStringLiteral("Routes2.rpx"), second.title, second.toJson());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *number);
    EXPECT_EQ(reopened(), second);
    const Outcome<QList<StoredReport>> reports = store.list();
    ASSERT_TRUE(reports);
    const auto it = std::find_if(reports->cbegin(), reports->cend(),
                                 [&](const StoredReport& r) { return r.number == *number; });
    ASSERT_NE(it, reports->cend());
    EXPECT_EQ(it->key(), QStringLiteral("Key") + QString::number(*number));
    EXPECT_EQ(it->fileName, QStringLiteral("Routes2.rpx"));
    EXPECT_EQ(it->title, QStringLiteral("Routes, ann, 2024-05-09 07:30"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R'"))
                  .toLongLong(),
              3);
}

TEST_P(ReportStoreTest, TheListHoldsTheWorkshopsAndTheSharedReportsOnly)
{
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Shared.rpx")}));
    const ReportLayout l = layout(QStringLiteral("Mine"));
    ASSERT_TRUE(store.publish(0, QStringLiteral("Mine.rpx"), l.title, l.toJson()));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Mine.rpx"), QStringLiteral("Shared.rpx")}));
    session.currentWorkshopId = 8;
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Other.rpx"), QStringLiteral("Shared.rpx")}));

    // A workshop's own report goes; the others stay.
    ASSERT_TRUE(store.remove(other));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("Shared.rpx")}));
}

TEST_P(ReportStoreTest, RefusalsWriteNothing)
{
    const ReportLayout l = layout(QStringLiteral("Mine"));
    const QByteArray json = l.toJson();
    struct Case
    {
        const char* what;
        bool reports;
        bool globalReports;
        std::function<std::optional<QString>(ReportStore&)> act;
        QString refusal;
    };
    const auto refusalOf = [](const auto& outcome) -> std::optional<QString> {
        if (outcome.refusal())
            return outcome.refusal()->message;
        return std::nullopt;
    };
    const Case cases[] = {
        {"publish without the right", false, true,
         [&](ReportStore& s) {
             return refusalOf(s.publish(0, QStringLiteral("A.rpx"), l.title, json));
         },
         UserRights::kNoReports},
        {"list without the right", false, true, [&](ReportStore& s) { return refusalOf(s.list()); },
         UserRights::kNoReports},
        {"delete without the right", false, true,
         [&](ReportStore& s) { return refusalOf(s.remove(shared)); }, UserRights::kNoReports},
        {"republish a shared report", true, false,
         [&](ReportStore& s) {
             return refusalOf(s.publish(shared, QStringLiteral("A.rpx"), l.title, json));
         },
         UserRights::kNoGlobalReports},
        {"delete a shared report", true, false,
         [&](ReportStore& s) { return refusalOf(s.remove(shared)); }, UserRights::kNoGlobalReports},
        {"republish another workshop's", true, true,
         [&](ReportStore& s) {
             return refusalOf(s.publish(other, QStringLiteral("A.rpx"), l.title, json));
         },
         ReportStore::kReportGone},
        {"delete another workshop's", true, true,
         [&](ReportStore& s) { return refusalOf(s.remove(other)); }, ReportStore::kReportGone},
        {"load another workshop's", true, true,
         [&](ReportStore& s) { return refusalOf(s.load(other)); }, ReportStore::kReportGone},
        {"publish without a file name", true, true,
         [&](ReportStore& s) {
             return refusalOf(s.publish(0, QStringLiteral("  "), l.title, json));
         },
         ReportStore::kNoFileName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session.user.record.reports = c.reports;
        session.user.record.globalReports = c.globalReports;
        const QString before = attachRows();
        EXPECT_EQ(c.act(store), std::optional<QString>(c.refusal));
        EXPECT_EQ(attachRows(), before);
    }

    // With the global right a shared report changes in place.
    session.user.record.reports = true;
    session.user.record.globalReports = true;
    const Outcome<qlonglong> republished =
        store.publish(shared, QStringLiteral("Shared.rpx"), l.title, json);
    ASSERT_TRUE(republished);
    EXPECT_EQ(*republished, shared);
    EXPECT_TRUE(
        db().scalar(QStringLiteral("SELECT Group_ID FROM ATTACH WHERE Attach_Number = ?"), {shared})
            .isNull());
}

} // namespace

BX_INSTANTIATE_ENGINES(ReportStoreTest);
