#include "tasks/PlugInProtocol.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "tasks/TaskTypes.h"

#include <gtest/gtest.h>

namespace bx {
namespace {

/** A plug-in that lists every property it is told and answers from `answers`. */
class RecordingPlugIn final : public TaskPlugIn
{
public:
    QVariant property(const QString& name) const override
    {
        return answers.contains(name) ? answers.value(name) : told.value(name);
    }
    void setProperty(const QString& name, const QVariant& value) override
    {
        log << name + QLatin1Char('=') + value.toString();
        told.insert(name, value);
    }
    QStringList log;
    QVariantMap told;
    QVariantMap answers;
};

plugins::EditorValues someValues()
{
    plugins::EditorValues v;
    v.task = 12;
    v.parent = 3;
    v.lifecycleId = QStringLiteral("Release");
    v.category = QStringLiteral("O'Neil's folder");
    v.priority = QStringLiteral("High");
    v.comments = QStringLiteral("Line one\nLine two");
    v.title = QStringLiteral("Chairs");
    v.userId = QStringLiteral("ann");
    v.customField = QStringLiteral("REF-7");
    return v;
}

class PlugInProtocolTest : public test::SessionTest
{
};

TEST_P(PlugInProtocolTest, RegisteredPlugInsAreOfferedByLabelAndAttachedUnderIt)
{
    for (const auto& [id, label, progId] :
         {std::tuple{1, "Zeta panel", "Maker.Zeta"}, std::tuple{2, "O'Neil's panel", "Maker.Ref "},
          std::tuple{3, "alpha panel", "Maker.Alpha"}})
        session.db().execute(
            QStringLiteral("INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label) VALUES "
                           "(?, ?, ?)"),
            {id, QString::fromLatin1(progId), QString::fromLatin1(label)});
    const QList<plugins::RegisteredPlugIn> offered = plugins::registeredPlugIns(session.db());
    ASSERT_EQ(offered.size(), 3);
    EXPECT_EQ(offered.at(0), (plugins::RegisteredPlugIn{3, QStringLiteral("alpha panel"),
                                                        QStringLiteral("Maker.Alpha")}));
    EXPECT_EQ(offered.at(1), (plugins::RegisteredPlugIn{2, QStringLiteral("O'Neil's panel"),
                                                        QStringLiteral("Maker.Ref")}));

    const QString ann = QStringLiteral("ann");
    EXPECT_EQ(plugins::plugInAttachment(nullptr, true, ann, clock).refusal()->message,
              plugins::kSpecifyControl);
    const Outcome<PendingAttachment> p =
        plugins::plugInAttachment(&offered.at(1), true, ann, clock);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, AttachmentType::PlugIn);
    EXPECT_EQ(p->title, QStringLiteral("O'Neil's panel"));
    EXPECT_EQ(p->fileName, QStringLiteral("Maker.Ref"));
    EXPECT_TRUE(p->showInTabBar);
    EXPECT_EQ(p->owner, QStringLiteral("ann"));
}

// The first showing tells the parent, the editor's values (dates only when the boxes hold one, the
// database at its place), then task, key and mode; "CANCEL" as answer hides the plug-in.
TEST(PlugInProtocol, FirstShowingTellsInOrder)
{
    struct Case
    {
        const char* name;
        bool dates;
        bool edit;
        QStringList expected;
    };
    const QStringList head{QStringLiteral("SCR_Parent_Number=3"),
                           QStringLiteral("SCR_Lifecycle_ID=Release")};
    const QStringList middle{QStringLiteral("SCR_Category=O'Neil's folder"),
                             QStringLiteral("SCR_Priority=High"),
                             QStringLiteral("SCR_Comments=Line one\nLine two"),
                             QStringLiteral("SCR_Title=Chairs"),
                             QStringLiteral("User_ID=ann"),
                             QStringLiteral("BXDB"),
                             QStringLiteral("SCR_Custom_Field=REF-7")};
    const QStringList tail{QStringLiteral("SCR_Number=12"), QStringLiteral("key=K1")};
    // Without dates and for viewing: CustomTabWindowTest, through the editor.
    const Case cases[] = {
        {"dates, editing", true, true,
         head + QStringList{QStringLiteral("SCR_Owner_Target_Date=2024-05-02")} + middle +
             QStringList{QStringLiteral("SCR_Lifecycle_End_Date=2024-06-01")} + tail +
             QStringList{QStringLiteral("ACTION=EDIT")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plugins::EditorValues v = someValues();
        v.edit = c.edit;
        if (c.dates) {
            v.ownerTargetDate = QDate(2024, 5, 2);
            v.lifecycleEndDate = QDate(2024, 6, 1);
        }
        RecordingPlugIn plugIn;
        EXPECT_TRUE(plugins::showPlugIn(plugIn, v, QStringLiteral("K1"),
                                        [&] { plugIn.log << QStringLiteral("BXDB"); }));
        EXPECT_EQ(plugIn.log, c.expected);
    }

    RecordingPlugIn vetoing;
    vetoing.answers.insert(QStringLiteral("ACTION"), QStringLiteral("cancel"));
    EXPECT_FALSE(plugins::showPlugIn(vetoing, someValues(), QStringLiteral("K1"), {}));
}

TEST(PlugInProtocol, UpdateFromChangesNothingAndAnOtherDirectionIsRefused)
{
    RecordingPlugIn plugIn;
    EXPECT_FALSE(plugins::UpdatePluginObject(QStringLiteral("FROM"), plugIn, someValues(), {}));
    EXPECT_TRUE(plugIn.log.isEmpty());
    const auto refused =
        plugins::UpdatePluginObject(QStringLiteral("to"), plugIn, someValues(), {});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, QStringLiteral("Invalid UpdatePlugin parameter"));
    EXPECT_TRUE(plugIn.log.isEmpty());
}

// What a call record keeps comes back over the stored task, an emptied date box included.
TEST(PlugInProtocol, RecordedValuesComeBackOverTheStoredOnes)
{
    plugins::EditorValues typed = someValues();
    typed.title = QStringLiteral("Typed title");
    typed.ownerTargetDate = QDate();
    typed.lifecycleEndDate = QDate(2024, 6, 1);
    plugins::EditorValues stored = someValues();
    stored.title = QStringLiteral("Stored title");
    stored.ownerTargetDate = QDate(2024, 1, 1);

    const plugins::EditorValues back =
        plugins::valuesFromRecord(plugins::recordValues(typed), stored);
    EXPECT_EQ(back.title, QStringLiteral("Typed title"));
    EXPECT_FALSE(back.ownerTargetDate.isValid());
    EXPECT_EQ(back.lifecycleEndDate, QDate(2024, 6, 1));
    EXPECT_EQ(back.comments, typed.comments);
    EXPECT_EQ(back.task, stored.task);
    EXPECT_EQ(plugins::valuesFromRecord({}, stored).title, QStringLiteral("Stored title"));
}

BX_INSTANTIATE_ENGINES(PlugInProtocolTest);

} // namespace
} // namespace bx
