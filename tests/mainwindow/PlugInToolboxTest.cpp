#include "mainwindow/PlugInToolbox.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/SampleFiles.h"
#include "support/ServerLogins.h"
#include "support/SessionTest.h"

#include <QColor>

#include <gtest/gtest.h>

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
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.user.record.administrator = true;
    }

    qlonglong add(const PlugInDefinition& plugIn)
    {
        const auto saved = PlugInStore(session, prompt).save(plugIn);
        EXPECT_TRUE(saved) << (saved.refusal() ? saved.refusal()->message.toStdString() : "");
        return saved ? *saved : 0;
    }

    void attach(const QString& progId)
    {
        db().execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, "
                                    "Attach_Filename) VALUES (?, ?, 'A', ?)"),
                     {++m_attachments, 7, progId});
    }

private:
    qlonglong m_attachments = 0;
};

TEST_P(PlugInToolboxTest, TheToolboxOffersItsPlugInsOnceWithTheirIconsOrTheDefault)
{
    const QByteArray png = pngIcon();
    add({0, QStringLiteral("Stock"), QStringLiteral("Bx.Stock"), {}, true, true, png});
    add({0, QStringLiteral("Chairs"), QStringLiteral("Bx.Chairs"), {}, true, false, {}});
    add({0,
         QStringLiteral("Broken"),
         QStringLiteral("Bx.Broken"),
         {},
         true,
         false,
         "not a picture"});
    add({0, QStringLiteral("Hidden"), QStringLiteral("Bx.Hidden"), {}, false, true, png});

    const QList<ToolboxEntry> entries = toolboxEntries(db());
    QStringList labels;
    for (const ToolboxEntry& entry : entries)
        labels << entry.label + (entry.separate ? QStringLiteral("+") : QString());
    EXPECT_EQ(labels, QStringLiteral("Broken,Chairs,Stock+").split(u','));
    ASSERT_EQ(entries.size(), 3);
    const QImage fallback = defaultPlugInIcon();
    EXPECT_EQ(entries.at(0).icon, fallback);
    EXPECT_EQ(entries.at(1).icon, fallback);
    EXPECT_EQ(entries.at(2).icon.size(), QSize(16, 12));
    EXPECT_EQ(entries.at(2).icon.pixelColor(3, 3), QColor(Qt::red));
}

TEST_P(PlugInToolboxTest, TheStoreSavesEveryColumnAndRefusesWhatTheChecksForbid)
{
    const PlugInDefinition stock{0,
                                 QStringLiteral(" Stock "),
                                 QStringLiteral(" Bx.Stock "),
                                 QStringLiteral("stockPanel"),
                                 true,
                                 true,
                                 pngIcon()};
    const qlonglong id = add(stock);
    PlugInDefinition expected = stock;
    expected.id = id;
    expected.label = QStringLiteral("Stock");
    expected.progId = QStringLiteral("Bx.Stock");
    EXPECT_EQ(readPlugIn(db(), id), expected);
    // Turned off again, the button of its own stays off.
    expected.separate = false;
    expected.icon.clear();
    add(expected);
    EXPECT_EQ(readPlugIn(db(), id), expected);

    const qlonglong used =
        add({0, QStringLiteral("Used"), QStringLiteral("Bx.Used"), {}, true, false, {}});
    attach(QStringLiteral("Bx.Used"));
    const struct
    {
        qlonglong id;
        QString label;
        QString progId;
        std::optional<RefusalOf<PlugInField>> refusal;
    } cases[] = {
        {0, QStringLiteral("Other"), QStringLiteral("  "),
         RefusalOf<PlugInField>{kEmptyControlName, PlugInField::ControlName}},
        {0, QStringLiteral("STOCK"), QStringLiteral("bx.stock"),
         RefusalOf<PlugInField>{kControlNameTaken, PlugInField::ControlName}},
        {used, QStringLiteral("Stock"), QStringLiteral("Bx.Stock"),
         RefusalOf<PlugInField>{kControlNameTaken, PlugInField::ControlName}},
        {used, QStringLiteral("Used"), QStringLiteral("Bx.Renamed"),
         RefusalOf<PlugInField>{kAttachedControlName, PlugInField::ControlName}},
        // Its own name in other letters, or a new label, leaves the tasks their plug-in.
        {used, QStringLiteral("Used again"), QStringLiteral("BX.USED"), std::nullopt},
        // Another label under one control name is another plug-in.
        {0, QStringLiteral("Stock 2"), QStringLiteral("Bx.Stock"), std::nullopt},
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
    const qlonglong id =
        add({0, QStringLiteral("Used"), QStringLiteral("Bx.Used"), {}, true, false, {}});
    attach(QStringLiteral("BX.USED"));
    PlugInStore store(session, prompt);
    EXPECT_EQ(store.remove(0).refusal(), RefusalOf<>{QStringLiteral("No item selected")});

    prompt.answer(PromptAnswer::No).answer(PromptAnswer::Yes).answer(PromptAnswer::Yes);
    const Outcome<> declined = store.remove(id);
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(store.remove(id).refusal(), RefusalOf<>{kAttachedPlugIn});
    EXPECT_TRUE(readPlugIn(db(), id));

    db().execute(QStringLiteral("DELETE FROM ATTACH"));
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
    addLogins({QStringLiteral("ann"), QStringLiteral("bob")}, {QStringLiteral("ann")});
    db().execute(QStringLiteral("INSERT INTO LU_ACTIVEX (ID, label, ActiveX_Control_Name, "
                                "ShowToolBox) VALUES (5, 'Stock', 'Bx.Stock', 1)"));
    const auto rows = [this] {
        return db()
            .scalar(QStringLiteral("SELECT string_agg(label || '=' || ActiveX_Control_Name, ',') "
                                   "FROM LU_ACTIVEX"))
            .toString();
    };
    for (const char* sql :
         {"INSERT INTO LU_ACTIVEX (ID, label, ActiveX_Control_Name) VALUES (6, 'Evil', 'Bx.Evil')",
          "UPDATE LU_ACTIVEX SET ActiveX_Control_Name = 'Bx.Evil'", "DELETE FROM LU_ACTIVEX"}) {
        tryRun(QStringLiteral("bob"), QLatin1String(sql));
        EXPECT_EQ(rows(), QStringLiteral("Stock=Bx.Stock")) << sql;
    }
    EXPECT_EQ(toolboxEntries(as(QStringLiteral("bob"))).size(), 1);
    EXPECT_TRUE(tryRun(QStringLiteral("ann"),
                       QStringLiteral("UPDATE LU_ACTIVEX SET ActiveX_Control_Name = 'Bx.New'")));
    EXPECT_EQ(rows(), QStringLiteral("Stock=Bx.New"));
}

BX_INSTANTIATE_ENGINES(PlugInLoginsTest);

} // namespace
