#include "mainwindow/PlugInToolbox.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/SampleFiles.h"
#include "support/ServerLogins.h"
#include "support/SessionTest.h"

#include <QColor>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::plugins;

namespace {

/** A 16x12 PNG, for a stored icon. */
QByteArray pngIcon()
{
    return bx::test::pngBytes(16, 12);
}

class PlugInToolboxTest : public test::SessionTest
{
protected:
    void arrange() override { session.user.record.administrator = true; }

    qlonglong add(const PlugInDefinition& plugIn)
    {
        const auto saved = PlugInStore(session, prompt).save(plugIn);
        EXPECT_TRUE(saved) << (saved.refusal() ? saved.refusal()->message.toStdString() : "");
        return saved ? *saved : 0;
    }

    void attach(const QString& progId)
    {
        db().execute(u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, "
                     "Attach_Filename) VALUES (?, ?, 'A', ?)"_s,
                     {++m_attachments, 7, progId});
    }

private:
    qlonglong m_attachments = 0;
};

TEST_P(PlugInToolboxTest, TheToolboxOffersItsPlugInsOnceWithTheirIconsOrTheDefault)
{
    const QByteArray png = pngIcon();
    add({0, u"Stock"_s, u"Bx.Stock"_s, {}, true, true, png});
    add({0, u"Chairs"_s, u"Bx.Chairs"_s, {}, true, false, {}});
    add({0, u"Broken"_s, u"Bx.Broken"_s, {}, true, false, "not a picture"});
    add({0, u"Hidden"_s, u"Bx.Hidden"_s, {}, false, true, png});

    const QList<ToolboxEntry> entries = toolboxEntries(db());
    QStringList labels;
    for (const ToolboxEntry& entry : entries)
        labels << entry.label + (entry.separate ? u"+"_s : QString());
    EXPECT_EQ(labels, u"Broken,Chairs,Stock+"_s.split(u','));
    ASSERT_EQ(entries.size(), 3);
    const QImage fallback = defaultPlugInIcon();
    EXPECT_EQ(entries.at(0).icon, fallback);
    EXPECT_EQ(entries.at(1).icon, fallback);
    EXPECT_EQ(entries.at(2).icon.size(), QSize(16, 12));
    EXPECT_EQ(entries.at(2).icon.pixelColor(3, 3), QColor(Qt::red));
}

TEST_P(PlugInToolboxTest, TheStoreSavesEveryColumnAndRefusesWhatTheChecksForbid)
{
    const PlugInDefinition stock{0,    u" Stock "_s, u" Bx.Stock "_s, u"stockPanel"_s,
                                 true, true,         pngIcon()};
    const qlonglong id = add(stock);
    PlugInDefinition expected = stock;
    expected.id = id;
    expected.label = u"Stock"_s;
    expected.progId = u"Bx.Stock"_s;
    EXPECT_EQ(readPlugIn(db(), id), expected);
    // Turned off again, the button of its own stays off.
    expected.separate = false;
    expected.icon.clear();
    add(expected);
    EXPECT_EQ(readPlugIn(db(), id), expected);

    const qlonglong used = add({0, u"Used"_s, u"Bx.Used"_s, {}, true, false, {}});
    attach(u"Bx.Used"_s);
    const struct
    {
        qlonglong id;
        QString label;
        QString progId;
        std::optional<RefusalOf<PlugInField>> refusal;
    } cases[] = {
        {0, u"Other"_s, u"  "_s,
         RefusalOf<PlugInField>{u"Control Name field can't be empty."_s, PlugInField::ControlName}},
        {0, u"STOCK"_s, u"bx.stock"_s,
         RefusalOf<PlugInField>{u"Plug-in with such Control Name already exists"_s,
                                PlugInField::ControlName}},
        {used, u"Stock"_s, u"Bx.Stock"_s,
         RefusalOf<PlugInField>{u"Plug-in with such Control Name already exists"_s,
                                PlugInField::ControlName}},
        {used, u"Used"_s, u"Bx.Renamed"_s,
         RefusalOf<PlugInField>{
             u"Plug-in with such Control Name already exists and can't be modified."_s,
             PlugInField::ControlName}},
        // Its own name in other letters, or a new label, leaves the tasks their plug-in.
        {used, u"Used again"_s, u"BX.USED"_s, std::nullopt},
        // Another label under one control name is another plug-in.
        {0, u"Stock 2"_s, u"Bx.Stock"_s, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto saved =
            PlugInStore(session, prompt).save({c.id, c.label, c.progId, {}, true, false, {}});
        EXPECT_EQ(saved.refusal(), c.refusal) << c.label.toStdString();
    }

    session.user.record.administrator = false;
    EXPECT_EQ(PlugInStore(session, prompt).save(expected).refusal(),
              (RefusalOf<PlugInField>{UserRights::kNotAdministrator, PlugInField::None}));
    EXPECT_TRUE(PlugInStore(session, prompt).remove(id).refusal());
    EXPECT_EQ(readPlugIn(db(), id), expected);
}

TEST_P(PlugInToolboxTest, DeletingAskedFirstAndRefusedWhileATaskHasThePlugIn)
{
    const qlonglong id = add({0, u"Used"_s, u"Bx.Used"_s, {}, true, false, {}});
    attach(u"BX.USED"_s);
    PlugInStore store(session, prompt);
    EXPECT_EQ(store.remove(0).refusal(), RefusalOf<>{u"No item selected"_s});

    prompt.answer(PromptAnswer::No).answer(PromptAnswer::Yes).answer(PromptAnswer::Yes);
    const Outcome<> declined = store.remove(id);
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(store.remove(id).refusal(),
              RefusalOf<>{
                  u"You can't delete this ActiveX because it is attached to one or more tasks."_s});
    EXPECT_TRUE(readPlugIn(db(), id));

    db().execute(u"DELETE FROM ATTACH"_s);
    EXPECT_TRUE(store.remove(id));
    EXPECT_FALSE(readPlugIn(db(), id));
}

BX_INSTANTIATE_ENGINES(PlugInToolboxTest);

/** What other users' clients load is the administrators' to decide, on the server too. */
class PlugInLoginsTest : public test::ServerLoginsTest
{
};

TEST_P(PlugInLoginsTest, OnlyAnAdministratorsLoginWritesThePlugIns)
{
    addLogins({u"ann"_s, u"bob"_s}, {u"ann"_s});
    db().execute(u"INSERT INTO LU_ACTIVEX (ID, label, ActiveX_Control_Name, "
                 "ShowToolBox) VALUES (5, 'Stock', 'Bx.Stock', 1)"_s);
    const auto rows = [this] {
        return db()
            .scalar(u"SELECT string_agg(label || '=' || ActiveX_Control_Name, ',') "
                    "FROM LU_ACTIVEX"_s)
            .toString();
    };
    for (const char* sql :
         {"INSERT INTO LU_ACTIVEX (ID, label, ActiveX_Control_Name) VALUES (6, 'Evil', 'Bx.Evil')",
          "UPDATE LU_ACTIVEX SET ActiveX_Control_Name = 'Bx.Evil'", "DELETE FROM LU_ACTIVEX"}) {
        tryRun(u"bob"_s, QLatin1String(sql));
        EXPECT_EQ(rows(), u"Stock=Bx.Stock"_s) << sql;
    }
    EXPECT_EQ(toolboxEntries(as(u"bob"_s)).size(), 1);
    EXPECT_TRUE(tryRun(u"ann"_s, u"UPDATE LU_ACTIVEX SET ActiveX_Control_Name = 'Bx.New'"_s));
    EXPECT_EQ(rows(), u"Stock=Bx.New"_s);
}

BX_INSTANTIATE_ENGINES(PlugInLoginsTest);

} // namespace
