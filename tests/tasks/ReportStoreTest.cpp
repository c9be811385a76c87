#include "tasks/ReportStore.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRunner.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/AttachmentTransfer.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
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
        bx::test::addUsers(db(), {u"ann"_s});
        bx::test::addWorkshop(db(), 7);
        bx::test::addWorkshop(db(), 8);
        session.currentWorkshopId = 7;
        session.user.record.reports = true;

        shared = row(u"Shared.rpx"_s, QVariant(), u"R"_s);
        other = row(u"Other.rpx"_s, qlonglong(8), u"R"_s);
        row(u"Memo.rpx"_s, qlonglong(7), u"M"_s);
    }

    qlonglong row(const QString& fileName, const QVariant& workshop, const QString& type)
    {
        return db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s,
                                   {u"SCR_Number"_s, u"Attach_Filename"_s, u"Attach_Title"_s,
                                    u"Attach_Type"_s, u"Group_ID"_s},
                                   {0, fileName, fileName + u" title"_s, type, workshop});
    }

    static ReportLayout layout(const QString& title)
    {
        ReportLayout l;
        l.title = title;
        reportrun::useSource(l, reportrun::Source::History);
        l.columns = {{u"SCR_Number"_s, u"ID"_s}, {u"Route_Note"_s, u"Note"_s}};
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
        const RecordSet rows =
            db().query(u"SELECT Attach_Number, Attach_Filename, Attach_Title, Attach_Type, "
                       "Group_ID FROM ATTACH ORDER BY Attach_Number"_s);
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
    const ReportLayout first = layout(u"Routes of R&D's \"O'Brien\""_s);
    const Outcome<qlonglong> number =
        store.publish(0, u"/home/ann/Routes.rpx"_s, first.title, first.toJson());
    ASSERT_TRUE(number);

    const RecordSet stored =
        db().query(u"SELECT Attach_Type, SCR_Number, Group_ID, Attach_Filename, Attach_Title, "
                   "Attach_Owner FROM ATTACH WHERE Attach_Number = ?"_s,
                   {*number});
    ASSERT_EQ(stored.rowCount(), 1);
    EXPECT_EQ(stored.text(u"Attach_Type"_s), u"R"_s);
    EXPECT_EQ(stored.value(0, u"SCR_Number"_s).toLongLong(), 0);
    EXPECT_EQ(stored.value(0, u"Group_ID"_s).toLongLong(), 7);
    EXPECT_EQ(stored.text(u"Attach_Filename"_s), u"Routes.rpx"_s);
    EXPECT_EQ(stored.text(u"Attach_Title"_s), first.title + u", ann, 2024-05-08 10:00"_s);
    EXPECT_EQ(stored.text(u"Attach_Owner"_s), u"ann"_s);

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
    ReportLayout second = layout(u"Routes"_s);
    second.orientation = ReportOrientation::Landscape;
    const Outcome<qlonglong> again =
        store.publish(*number, u"Routes2.rpx"_s, second.title, second.toJson());
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *number);
    EXPECT_EQ(reopened(), second);
    const Outcome<QList<StoredReport>> reports = store.list();
    ASSERT_TRUE(reports);
    const auto it = std::find_if(reports->cbegin(), reports->cend(),
                                 [&](const StoredReport& r) { return r.number == *number; });
    ASSERT_NE(it, reports->cend());
    EXPECT_EQ(it->key(), u"Key"_s + QString::number(*number));
    EXPECT_EQ(it->fileName, u"Routes2.rpx"_s);
    EXPECT_EQ(it->title, u"Routes, ann, 2024-05-09 07:30"_s);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R'"_s).toLongLong(),
              3);
}

TEST_P(ReportStoreTest, TheListHoldsTheWorkshopsAndTheSharedReportsOnly)
{
    EXPECT_EQ(listed(), (QStringList{u"Shared.rpx"_s}));
    const ReportLayout l = layout(u"Mine"_s);
    ASSERT_TRUE(store.publish(0, u"Mine.rpx"_s, l.title, l.toJson()));
    EXPECT_EQ(listed(), (QStringList{u"Mine.rpx"_s, u"Shared.rpx"_s}));
    session.currentWorkshopId = 8;
    EXPECT_EQ(listed(), (QStringList{u"Other.rpx"_s, u"Shared.rpx"_s}));

    // A workshop's own report goes; the others stay.
    ASSERT_TRUE(store.remove(other));
    EXPECT_EQ(listed(), (QStringList{u"Shared.rpx"_s}));
}

TEST_P(ReportStoreTest, RefusalsWriteNothing)
{
    const ReportLayout l = layout(u"Mine"_s);
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
         [&](ReportStore& s) { return refusalOf(s.publish(0, u"A.rpx"_s, l.title, json)); },
         UserRights::kNoReports},
        {"list without the right", false, true, [&](ReportStore& s) { return refusalOf(s.list()); },
         UserRights::kNoReports},
        {"delete without the right", false, true,
         [&](ReportStore& s) { return refusalOf(s.remove(shared)); }, UserRights::kNoReports},
        {"republish a shared report", true, false,
         [&](ReportStore& s) { return refusalOf(s.publish(shared, u"A.rpx"_s, l.title, json)); },
         UserRights::kNoGlobalReports},
        {"delete a shared report", true, false,
         [&](ReportStore& s) { return refusalOf(s.remove(shared)); }, UserRights::kNoGlobalReports},
        {"republish another workshop's", true, true,
         [&](ReportStore& s) { return refusalOf(s.publish(other, u"A.rpx"_s, l.title, json)); },
         ReportStore::kReportGone},
        {"delete another workshop's", true, true,
         [&](ReportStore& s) { return refusalOf(s.remove(other)); }, ReportStore::kReportGone},
        {"load another workshop's", true, true,
         [&](ReportStore& s) { return refusalOf(s.load(other)); }, ReportStore::kReportGone},
        {"publish without a file name", true, true,
         [&](ReportStore& s) { return refusalOf(s.publish(0, u"  "_s, l.title, json)); },
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
    const Outcome<qlonglong> republished = store.publish(shared, u"Shared.rpx"_s, l.title, json);
    ASSERT_TRUE(republished);
    EXPECT_EQ(*republished, shared);
    EXPECT_TRUE(
        db().scalar(u"SELECT Group_ID FROM ATTACH WHERE Attach_Number = ?"_s, {shared}).isNull());
}

} // namespace

BX_INSTANTIATE_ENGINES(ReportStoreTest);
