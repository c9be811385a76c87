#include "core/settings/WindowLayout.h"

#include "core/settings/SettingsStore.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <string_view>

namespace bx::test {
namespace {

class WindowLayoutTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(QStringLiteral("MRBX.conf")); }

    QTemporaryDir dir;
    SettingsStore store{file()};
};

TEST_F(WindowLayoutTest, SavedLayoutIsReadBackByAnotherStoreOnTheFile)
{
    WindowLayout l;
    l.treeSplit = {180, 620};
    l.previewSplit = {300, 0};
    l.previewOrientation = QStringLiteral("V");
    l.previewShown = false;
    l.geometry = QRect(-1200, 40, 1024, 700);
    l.maximized = true;
    l.gridColumnWidths = {{QStringLiteral("SCR_Title"), 240}, {QStringLiteral("SCR_Status"), 60}};
    l.messageColumnWidths = {{QStringLiteral("Title"), 200},
                             {QStringLiteral("Owner"), 90},
                             {QStringLiteral("Date"), 110}};
    l.taskFormSize = QSize(640, 480);
    l.save(store);

    EXPECT_EQ(WindowLayout::load(SettingsStore(file())), l);
    // Keys other parts of the program read directly.
    EXPECT_EQ(store.get(QStringLiteral("TaskForm"), QStringLiteral("Widht")),
              QStringLiteral("640"));
    EXPECT_EQ(store.get(QStringLiteral("Access Form 2"), QStringLiteral("Owner")),
              QStringLiteral("90"));
    EXPECT_EQ(store.get(QStringLiteral("Access Form"), QStringLiteral("Preview")),
              QStringLiteral("V"));
}

TEST_F(WindowLayoutTest, NothingStoredGivesDefaultsAndSavingThemKeepsEarlierValues)
{
    EXPECT_EQ(WindowLayout::load(store), WindowLayout());

    store.set(QStringLiteral("TaskForm"), QStringLiteral("Widht"), QStringLiteral("500"));
    store.set(QStringLiteral("TaskForm"), QStringLiteral("Height"), QStringLiteral("400"));
    store.set(QStringLiteral("Access Form\\Grid Columns"), QStringLiteral("SCR_Priority"),
              QStringLiteral("70"));
    WindowLayout l = WindowLayout::load(store);
    EXPECT_EQ(l.taskFormSize, QSize(500, 400));
    l.taskFormSize = QSize();
    l.gridColumnWidths = {{QStringLiteral("SCR_Title"), 240}};
    l.save(store);
    const WindowLayout again = WindowLayout::load(store);
    EXPECT_EQ(again.taskFormSize, QSize(500, 400));
    EXPECT_EQ(again.gridColumnWidths.value(QStringLiteral("SCR_Priority")), 70);
    EXPECT_EQ(again.gridColumnWidths.value(QStringLiteral("SCR_Title")), 240);
}

TEST_F(WindowLayoutTest, UnusableStoredValuesFallBackToDefaults)
{
    const char* form = "Access Form";
    const struct
    {
        const char *section, *key, *value;
        std::function<bool(const WindowLayout&)> isDefault;
    } cases[] = {
        {form, "Bevel1", "abc", [](auto& l) { return l.treeSplit.isEmpty(); }},
        {form, "Bevel1", "200,-5", [](auto& l) { return l.treeSplit.isEmpty(); }},
        {form, "Bevel1", "200", [](auto& l) { return l.treeSplit.isEmpty(); }},
        {form, "Bevel2", "1,x", [](auto& l) { return l.previewSplit.isEmpty(); }},
        {form, "Preview", "D", [](auto& l) { return l.previewOrientation == QLatin1String("H"); }},
        {form, "ShowPreview", "maybe", [](auto& l) { return l.previewShown; }},
        {form, "Width", "-800", [](auto& l) { return !l.geometry.isValid(); }},
        {form, "Height", "tall", [](auto& l) { return !l.geometry.isValid(); }},
        {"Access Form 2", "Date", "-3",
         [](auto& l) { return !l.messageColumnWidths.contains(QStringLiteral("Date")); }},
        {"Access Form\\Grid Columns", "SCR_Title", "wide",
         [](auto& l) { return !l.gridColumnWidths.contains(QStringLiteral("SCR_Title")); }},
        {"TaskForm", "Widht", "-1", [](auto& l) { return !l.taskFormSize.isValid(); }},
    };
    for (const auto& c : cases) {
        QTemporaryDir d;
        SettingsStore s(d.filePath(QStringLiteral("MRBX.conf")));
        // Everything else valid, so only the bad value can spoil the result.
        WindowLayout good;
        good.treeSplit = {1, 2};
        good.previewSplit = {3, 4};
        good.previewOrientation = QStringLiteral("V");
        good.previewShown = false;
        good.geometry = QRect(0, 0, 800, 600);
        good.gridColumnWidths = {{QStringLiteral("SCR_Title"), 100}};
        good.messageColumnWidths = {{QStringLiteral("Date"), 80}};
        good.taskFormSize = QSize(300, 200);
        good.save(s);
        s.set(QString::fromLatin1(c.section), QString::fromLatin1(c.key),
              QString::fromLatin1(c.value));
        const WindowLayout l = WindowLayout::load(s);
        EXPECT_TRUE(c.isDefault(l)) << c.section << " " << c.key << "=" << c.value;
        EXPECT_EQ(l.treeSplit.isEmpty(), std::string_view(c.key) == "Bevel1") << c.key;
    }
}

} // namespace
} // namespace bx::test
