#include "mainwindow/ui/TaskGridModel.h"
#include "support/FixedClock.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

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
    model.setRows({QStringLiteral("SCR_Number"), QStringLiteral("SCR_Title"),
                   QStringLiteral("scr_priority"), QStringLiteral("SCR_Custom_Field")},
                  {{42, QStringLiteral("Fix it"), QStringLiteral("High"), QStringLiteral("x1")}});

    // The title leads whether the options list it (anywhere) or not.
    model.setColumns({QStringLiteral("SCR_Priority"), QStringLiteral("SCR_Custom_Field"),
                      QStringLiteral("SCR_ActualHours"), QStringLiteral("SCR_Title")},
                     QStringLiteral("Ticket"));
    EXPECT_EQ(headers(model),
              (QStringList{QStringLiteral("Task Title"), QStringLiteral("Priority"),
                           QStringLiteral("Ticket"), QStringLiteral("Actual Hours")}));
    const struct
    {
        int column;
        QVariant shown;
    } cells[] = {{0, QStringLiteral("Fix it")},
                 {1, QStringLiteral("High")},
                 {2, QStringLiteral("x1")},
                 {3, QVariant()}}; // not read: empty
    for (const auto& c : cells) {
        EXPECT_EQ(model.data(model.index(0, c.column)), c.shown) << c.column;
        EXPECT_EQ(model.data(model.index(0, c.column), Qt::UserRole).toLongLong(), 42);
    }
    EXPECT_EQ(model.field(2), QStringLiteral("SCR_Custom_Field"));

    model.setColumns({QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("SCR_Priority")});
    EXPECT_EQ(headers(model), (QStringList{QStringLiteral("Task Title"), QStringLiteral("Owner"),
                                           QStringLiteral("Priority")}));

    model.setColumns({});
    EXPECT_EQ(model.columnCount(), taskGridColumns().size());
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("Fix it"));
}

} // namespace
