#include "core/settings/WindowLayout.h"

#include "core/settings/SettingsStore.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <string_view>

using namespace Qt::StringLiterals;

namespace bx::test {
namespace {

class WindowLayoutTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(u"MRBX.conf"_s); }

    QTemporaryDir dir;
    SettingsStore store{file()};
};

TEST_F(WindowLayoutTest, SavedLayoutIsReadBackByAnotherStoreOnTheFile)
{
    WindowLayout l;
    l.treeSplit = {180, 620};
    l.previewSplit = {300, 0};
    l.previewOrientation = u"V"_s;
    l.previewShown = false;
    l.geometry = QRect(-1200, 40, 1024, 700);
    l.maximized = true;
    l.gridColumnWidths = {{u"SCR_Title"_s, 240}, {u"SCR_Status"_s, 60}};
    l.messageColumnWidths = {{u"Title"_s, 200}, {u"Owner"_s, 90}, {u"Date"_s, 110}};
    l.taskFormSize = QSize(640, 480);
    l.save(store);

    EXPECT_EQ(WindowLayout::load(SettingsStore(file())), l);
    // Keys other parts of the program read directly.
    EXPECT_EQ(store.get(u"TaskForm"_s, u"Widht"_s), u"640"_s);
    EXPECT_EQ(store.get(u"Access Form 2"_s, u"Owner"_s), u"90"_s);
    EXPECT_EQ(store.get(u"Access Form"_s, u"Preview"_s), u"V"_s);
}

TEST_F(WindowLayoutTest, NothingStoredGivesDefaultsAndSavingThemKeepsEarlierValues)
{
    EXPECT_EQ(WindowLayout::load(store), WindowLayout());

    store.set(u"TaskForm"_s, u"Widht"_s, u"500"_s);
    store.set(u"TaskForm"_s, u"Height"_s, u"400"_s);
    store.set(u"Access Form\\Grid Columns"_s, u"SCR_Priority"_s, u"70"_s);
    WindowLayout l = WindowLayout::load(store);
    EXPECT_EQ(l.taskFormSize, QSize(500, 400));
    l.taskFormSize = QSize();
    l.gridColumnWidths = {{u"SCR_Title"_s, 240}};
    l.save(store);
    const WindowLayout again = WindowLayout::load(store);
    EXPECT_EQ(again.taskFormSize, QSize(500, 400));
    EXPECT_EQ(again.gridColumnWidths.value(u"SCR_Priority"_s), 70);
    EXPECT_EQ(again.gridColumnWidths.value(u"SCR_Title"_s), 240);
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
        {form, "Preview", "D", [](auto& l) { return l.previewOrientation == "H"_L1; }},
        {form, "ShowPreview", "maybe", [](auto& l) { return l.previewShown; }},
        {form, "Width", "-800", [](auto& l) { return !l.geometry.isValid(); }},
        {form, "Height", "tall", [](auto& l) { return !l.geometry.isValid(); }},
        {"Access Form 2", "Date", "-3",
         [](auto& l) { return !l.messageColumnWidths.contains(u"Date"_s); }},
        {"Access Form\\Grid Columns", "SCR_Title", "wide",
         [](auto& l) { return !l.gridColumnWidths.contains(u"SCR_Title"_s); }},
        {"TaskForm", "Widht", "-1", [](auto& l) { return !l.taskFormSize.isValid(); }},
    };
    for (const auto& c : cases) {
        QTemporaryDir d;
        SettingsStore s(d.filePath(u"MRBX.conf"_s));
        // Everything else valid, so only the bad value can spoil the result.
        WindowLayout good;
        good.treeSplit = {1, 2};
        good.previewSplit = {3, 4};
        good.previewOrientation = u"V"_s;
        good.previewShown = false;
        good.geometry = QRect(0, 0, 800, 600);
        good.gridColumnWidths = {{u"SCR_Title"_s, 100}};
        good.messageColumnWidths = {{u"Date"_s, 80}};
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
