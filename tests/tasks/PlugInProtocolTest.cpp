#include "tasks/PlugInProtocol.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "tasks/TaskTypes.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
    v.lifecycleId = u"Release"_s;
    v.category = u"O'Neil's folder"_s;
    v.priority = u"High"_s;
    v.comments = u"Line one\nLine two"_s;
    v.title = u"Chairs"_s;
    v.userId = u"ann"_s;
    v.customField = u"REF-7"_s;
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
        session.db().execute(u"INSERT INTO LU_ACTIVEX (ID, ActiveX_Control_Name, label) VALUES "
                             "(?, ?, ?)"_s,
                             {id, QString::fromLatin1(progId), QString::fromLatin1(label)});
    const QList<plugins::RegisteredPlugIn> offered = plugins::registeredPlugIns(session.db());
    ASSERT_EQ(offered.size(), 3);
    EXPECT_EQ(offered.at(0), (plugins::RegisteredPlugIn{3, u"alpha panel"_s, u"Maker.Alpha"_s}));
    EXPECT_EQ(offered.at(1), (plugins::RegisteredPlugIn{2, u"O'Neil's panel"_s, u"Maker.Ref"_s}));

    const QString ann = u"ann"_s;
    EXPECT_EQ(plugins::plugInAttachment(nullptr, true, ann, clock).refusal()->message,
              u"Please specify a Control"_s);
    const Outcome<PendingAttachment> p =
        plugins::plugInAttachment(&offered.at(1), true, ann, clock);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, AttachmentType::PlugIn);
    EXPECT_EQ(p->title, u"O'Neil's panel"_s);
    EXPECT_EQ(p->fileName, u"Maker.Ref"_s);
    EXPECT_TRUE(p->showInTabBar);
    EXPECT_EQ(p->owner, u"ann"_s);
}

// The first showing tells the parent, the editor's values (dates only when the boxes hold one, the
// database at its place), then task, key and mode; "CANCEL" as answer hides the plug-in.
TEST(PlugInProtocol, FirstShowingTellsInOrder)
{
    // Without dates and for viewing: CustomTabWindowTest, through the editor.
    plugins::EditorValues v = someValues();
    v.edit = true;
    v.ownerTargetDate = QDate(2024, 5, 2);
    v.lifecycleEndDate = QDate(2024, 6, 1);
    RecordingPlugIn plugIn;
    EXPECT_TRUE(plugins::showPlugIn(plugIn, v, u"K1"_s, [&] { plugIn.log << u"BXDB"_s; }));
    EXPECT_EQ(plugIn.log,
              (QStringList{u"SCR_Parent_Number=3"_s, u"SCR_Lifecycle_ID=Release"_s,
                           u"SCR_Owner_Target_Date=2024-05-02"_s, u"SCR_Category=O'Neil's folder"_s,
                           u"SCR_Priority=High"_s, u"SCR_Comments=Line one\nLine two"_s,
                           u"SCR_Title=Chairs"_s, u"User_ID=ann"_s, u"BXDB"_s,
                           u"SCR_Custom_Field=REF-7"_s, u"SCR_Lifecycle_End_Date=2024-06-01"_s,
                           u"SCR_Number=12"_s, u"key=K1"_s, u"ACTION=EDIT"_s}));

    RecordingPlugIn vetoing;
    vetoing.answers.insert(u"ACTION"_s, u"cancel"_s);
    EXPECT_FALSE(plugins::showPlugIn(vetoing, someValues(), u"K1"_s, {}));
}

TEST(PlugInProtocol, UpdateFromChangesNothingAndAnOtherDirectionIsRefused)
{
    RecordingPlugIn plugIn;
    EXPECT_FALSE(plugins::UpdatePluginObject(u"FROM"_s, plugIn, someValues(), {}));
    EXPECT_TRUE(plugIn.log.isEmpty());
    const auto refused = plugins::UpdatePluginObject(u"to"_s, plugIn, someValues(), {});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message, u"Invalid UpdatePlugin parameter"_s);
    EXPECT_TRUE(plugIn.log.isEmpty());
}

// What a call record keeps comes back over the stored task, an emptied date box included.
TEST(PlugInProtocol, RecordedValuesComeBackOverTheStoredOnes)
{
    plugins::EditorValues typed = someValues();
    typed.title = u"Typed title"_s;
    typed.ownerTargetDate = QDate();
    typed.lifecycleEndDate = QDate(2024, 6, 1);
    plugins::EditorValues stored = someValues();
    stored.title = u"Stored title"_s;
    stored.ownerTargetDate = QDate(2024, 1, 1);

    const plugins::EditorValues back =
        plugins::valuesFromRecord(plugins::recordValues(typed), stored);
    EXPECT_EQ(back.title, u"Typed title"_s);
    EXPECT_FALSE(back.ownerTargetDate.isValid());
    EXPECT_EQ(back.lifecycleEndDate, QDate(2024, 6, 1));
    EXPECT_EQ(back.comments, typed.comments);
    EXPECT_EQ(back.task, stored.task);
    EXPECT_EQ(plugins::valuesFromRecord({}, stored).title, u"Stored title"_s);
}

BX_INSTANTIATE_ENGINES(PlugInProtocolTest);

} // namespace
} // namespace bx
