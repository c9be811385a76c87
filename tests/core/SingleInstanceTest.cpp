#include "core/SingleInstance.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace bx;

TEST(SingleInstance, TheSecondCopyGivesWayUntilTheFirstEnds)
{
    const QString key = QStringLiteral("bxtest-%1").arg(QRandomGenerator::global()->generate());
    auto first = std::make_unique<SingleInstance>(key);
    ASSERT_TRUE(first->claim());
    SingleInstance second(key);
    EXPECT_FALSE(second.claim());
    first.reset();
    EXPECT_TRUE(second.claim()) << "the name is free again once the first copy is gone";

    // Another display is another session of the user: it may run its own copy.
    qputenv("WAYLAND_DISPLAY", "bx-other-display");
    SingleInstance elsewhere(key);
    EXPECT_TRUE(elsewhere.claim());
    qunsetenv("WAYLAND_DISPLAY");
}
