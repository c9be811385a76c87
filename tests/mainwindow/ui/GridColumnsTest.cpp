#include "mainwindow/ui/TaskGridModel.h"
#include "support/FixedClock.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

QStringList headers(const TaskGridModel& model)
{
    QStringList out;
    for (int c = 0; c < model.columnCount(); ++c)
        out << model.headerData(c, Qt::Horizontal).toString();
    return out;
}

TEST(GridColumnsTest, ChosenColumnsAreShownInOrderWithTheirHeaders)
{
    test::FixedClock clock;
    TaskGridModel model(clock);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setRows({u"SCR_Number"_s, u"SCR_Title"_s, u"scr_priority"_s, u"SCR_Custom_Field"_s},
                  {{42, u"Fix it"_s, u"High"_s, u"x1"_s}});

    // The title leads whether the options list it (anywhere) or not.
    model.setColumns(
        {u"SCR_Priority"_s, u"SCR_Custom_Field"_s, u"SCR_ActualHours"_s, u"SCR_Title"_s},
        u"Ticket"_s);
    EXPECT_EQ(headers(model),
              (QStringList{u"Task Title"_s, u"Priority"_s, u"Ticket"_s, u"Actual Hours"_s}));
    const struct
    {
        int column;
        QVariant shown;
    } cells[] = {
        {0, u"Fix it"_s}, {1, u"High"_s}, {2, u"x1"_s}, {3, QVariant()}}; // not read: empty
    for (const auto& c : cells) {
        EXPECT_EQ(model.data(model.index(0, c.column)), c.shown) << c.column;
        EXPECT_EQ(model.data(model.index(0, c.column), Qt::UserRole).toLongLong(), 42);
    }
    EXPECT_EQ(model.field(2), u"SCR_Custom_Field"_s);

    model.setColumns({u"SCR_Owner_User_ID"_s, u"SCR_Priority"_s});
    EXPECT_EQ(headers(model), (QStringList{u"Task Title"_s, u"Owner"_s, u"Priority"_s}));

    model.setColumns({});
    EXPECT_EQ(model.columnCount(), taskGridColumns().size());
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), u"Fix it"_s);
}

} // namespace
