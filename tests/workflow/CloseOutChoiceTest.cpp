#include "workflow/CloseOutChoice.h"

#include <QList>

#include <gtest/gtest.h>

using namespace bx;

// Every word the to-do panel answers with reaches CloseOut in the word the route rows store.
TEST(CloseOutChoiceTest, PanelResponsesBecomeCloseOutActions)
{
    struct Case
    {
        QString response;
        int jump;
        std::optional<CloseOutChoice> expected;
    };
    const QString note = QStringLiteral("O'Brien's call");
    const QList<Case> cases{
        {QStringLiteral("YES"), 3, CloseOutChoice{QStringLiteral("YES"), 0, note}},
        {QStringLiteral("NO"), 0, CloseOutChoice{QStringLiteral("NO"), 0, note}},
        {QStringLiteral("Jump"), -2, CloseOutChoice{QStringLiteral("Jump"), -2, note}},
        {QStringLiteral("CONDITIONAL"), 0, CloseOutChoice{QStringLiteral("CONDITIONAL"), 0, note}},
        {QStringLiteral("CANCEL"), 0, CloseOutChoice{QStringLiteral("Cancel"), 0, note}},
        {QStringLiteral(" lcend "), 0, CloseOutChoice{QStringLiteral("LCEnd"), 0, note}},
        {QStringLiteral("Reopen"), 0, CloseOutChoice{QStringLiteral("Reopen"), 0, note}},
        {QStringLiteral("  "), 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.response.toStdString());
        EXPECT_EQ(closeOutChoice(c.response, c.jump, note), c.expected);
    }
}
