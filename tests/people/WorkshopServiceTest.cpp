#include "people/workshops/WorkshopService.h"

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "people/workshops/RecentWorkshops.h"
#include "people/workshops/RecipientChooser.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kQuoted = u"O'Brien's Ærø team"_s;
const QString kFolder = u"Ærø's \"docs\""_s;

/**
 * A database of the current schema (workshop "General" holds every user) with users alice (the
 * signed-in user, supervised by carol), bob (alice's report), carol, dora (disabled, carol's
 * report) and "O'Brien", and a session signed in as alice over a second connection.
 */
class WorkshopServiceTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString insert = u"INSERT INTO LU_USER (USER_ID, User_Name, "
                               "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?)"_s;
        const struct
        {
            const char* id;
            const char* supervisor;
            bool disabled;
        } users[] = {{"alice", "carol", false},
                     {"bob", "alice", false},
                     {"carol", "", false},
                     {"dora", "carol", true},
                     {"O'Brien", "", false}};
        for (const auto& u : users)
            db().execute(insert,
                         {QString::fromUtf8(u.id), QString::fromUtf8(u.id).toUpper(),
                          QString::fromUtf8(u.supervisor), db().dialect().flag(u.disabled)});
        general =
            db().scalar(u"SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = ?"_s, {u"General"_s})
                .toLongLong();
        ASSERT_NE(general, 0);
        for (const auto& u : users)
            AddUserToGroup(db(), QString::fromUtf8(u.id), general);

        session.user.userId = u"Alice"_s;
        session.user.record.userId = u"alice"_s;
        session.user.record.supervisor = u"carol"_s;
    }

    QList<QVariantList> rows(const char* sql) { return db().query(QString::fromUtf8(sql)).rows(); }

    /** Everything a workshop operation may change. */
    QList<QList<QVariantList>> snapshot()
    {
        return {rows("SELECT * FROM LU_GROUP ORDER BY GROUP_ID"),
                rows("SELECT * FROM GROUPLINK ORDER BY GROUP_ID, USER_ID"),
                rows("SELECT * FROM LU_CATEGORY ORDER BY Category"),
                rows("SELECT * FROM LU_ACCESS_LEVEL ORDER BY USER_ID, ACCESS_LEVEL"),
                rows("SELECT USER_ID, Disabled FROM LU_USER ORDER BY USER_ID")};
    }

    QStringList members(qlonglong group)
    {
        QStringList out;
        for (const UserChoice& u : WorkshopStore(db()).members(group))
            out.append(u.userId);
        return out;
    }

    WorkshopDraft draft(const QString& name, const QString& folder, const QStringList& users)
    {
        WorkshopDraft d;
        d.name = name;
        d.rootFolder = folder;
        d.members = users;
        return d;
    }

    /** A workshop saved with an existing folder and the given members. */
    qlonglong makeWorkshop(const QString& name, const QStringList& users)
    {
        bx::test::addCategories(db(), {name});
        const auto id = service.save(draft(name, name, users));
        EXPECT_TRUE(id) << (id.refusal() ? id.refusal()->message.toStdString() : std::string());
        return id ? *id : 0;
    }

    WorkshopService service{session, prompt};
    qlonglong general = 0;
};

} // namespace

TEST_P(WorkshopServiceTest, SaveRefusesInOrderAndWritesNothing)
{
    makeWorkshop(kQuoted, {u"alice"_s});
    const auto before = snapshot();
    prompt.clear();
    using Refusal = RefusalOf<WorkshopField>;
    const struct
    {
        WorkshopDraft draft;
        Refusal refusal;
    } cases[] = {
        {draft(u"  "_s, u"x"_s, {u"bob"_s}),
         {u"Please enter Workshop name"_s, WorkshopField::Name}},
        {draft(u"New"_s, u"x"_s, {u" "_s}),
         {u"Please, specify user for Workshop"_s, WorkshopField::Members}},
        {draft(u"New"_s, u" "_s, {u"bob"_s}),
         {u"Please, specify Root folder for Workshop"_s, WorkshopField::RootFolder}},
        {draft(u" gENERAL "_s, u"x"_s, {u"bob"_s}),
         {u"Group with name gENERAL already exists. Please specify another name"_s,
          WorkshopField::Name}},
        // Letters outside ASCII ignore their case as well.
        {draft(u"o'brien's æRØ TEAM"_s, u"x"_s, {u"bob"_s}),
         {u"Group with name o'brien's æRØ TEAM already exists. Please specify "
          "another name"_s,
          WorkshopField::Name}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(service.save(c.draft).refusal(), c.refusal);
    EXPECT_TRUE(prompt.records().isEmpty());
    // Answering No to the new folder returns to the window, with nothing to show.
    prompt.answer(PromptAnswer::No);
    const auto declined = service.save(draft(u"Fresh"_s, u"nowhere"_s, {u"bob"_s}));
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(snapshot(), before);

    // Editing a workshop may keep its own name in another case.
    WorkshopDraft same = draft(kQuoted.toUpper(), kQuoted, {u"alice"_s});
    same.groupId = WorkshopStore(db()).sameName(kQuoted)->groupId;
    EXPECT_EQ(*service.save(same), same.groupId);
    EXPECT_EQ(GroupName(db(), same.groupId), kQuoted.toUpper());
}

TEST_P(WorkshopServiceTest, NewFolderAnsweredYesIsCreatedWithViewAccessForTheCreator)
{
    prompt.answer(PromptAnswer::Yes);
    const auto id =
        service.save(draft(u" "_s + kQuoted, kFolder + u" "_s, {u"bob"_s, u"O'Brien"_s}));
    ASSERT_TRUE(id);
    EXPECT_EQ(prompt.last().text, u"The folder \""_s + kFolder +
                                      u"\" does not exist.  Would you like to create it?  "
                                      "Press NO to select another root folder for this "
                                      "workshop."_s);
    EXPECT_EQ(
        db().scalar(u"SELECT COUNT(*) FROM LU_CATEGORY WHERE Category = ?"_s, {kFolder}).toInt(),
        1);
    EXPECT_EQ(rows("SELECT USER_ID, ACCESS_LEVEL, ACCESS_TYPE FROM LU_ACCESS_LEVEL"),
              (QList<QVariantList>{{u"alice"_s, kFolder, u"VIEW"_s}}));
    const auto row = WorkshopStore(db()).load(*id);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, kQuoted);
    EXPECT_EQ(row->rootFolder, kFolder);
    EXPECT_EQ(row->parentId, 0);
    EXPECT_EQ(members(*id), (QStringList{u"bob"_s, u"O'Brien"_s}));

    // The folder now exists: a second workshop under it is saved without the question, nested.
    WorkshopDraft child = draft(u"Sub"_s, kFolder.toLower(), {u"bob"_s});
    child.parentId = *id;
    const auto sub = service.save(child);
    ASSERT_TRUE(sub);
    EXPECT_EQ(ParentWorkshop(db(), *sub), *id);
}

TEST_P(WorkshopServiceTest, SavingMembersEnablesDisabledOnesAndReplacesTheList)
{
    const qlonglong id = makeWorkshop(u"Ops"_s, {u"bob"_s, u"Dora"_s});
    EXPECT_EQ(members(id), (QStringList{u"bob"_s, u"dora"_s}));
    EXPECT_EQ(db().scalar(u"SELECT Disabled FROM LU_USER WHERE USER_ID = ?"_s, {u"dora"_s}).toInt(),
              0);

    WorkshopDraft edit = draft(u"Ops"_s, u"Ops"_s, {u"carol"_s, u"CAROL"_s});
    edit.groupId = id;
    EXPECT_EQ(*service.save(edit), id);
    EXPECT_EQ(members(id), QStringList{u"carol"_s});
    EXPECT_EQ(members(general).size(), 6); // other workshops keep their members
}

TEST_P(WorkshopServiceTest, DeletionIsRefusedInOrderAndChangesNothing)
{
    const qlonglong id = makeWorkshop(kQuoted, {u"alice"_s});
    const auto addTask = [&] { bx::test::addTaskRow(db(), {{scr::GroupId, id}}); };
    const auto addAttachment = [&] {
        db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s,
                            {u"SCR_Number"_s, u"Attach_Type"_s, u"Group_ID"_s}, {0, u"M"_s, id});
    };
    const auto addStage = [&] {
        db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                     "UserType, group_ID, Owner_ID) VALUES (?, ?, 1, ?, ?)"_s,
                     {u"Release"_s, u"Review"_s, id, u"alice"_s});
    };
    // Each addition brings out the next refusal, so the order of the checks shows.
    addStage();
    addAttachment();
    addTask();
    const char* const texts[] = {
        "Unable to delete.  This Workshop contains tasks.",
        "Unable to delete.  This Workshop contains attachments.",
        "Unable to delete.  This Workshop is included in a lifecycle stage.",
    };
    const char* const clear[] = {"DELETE FROM SCR", "DELETE FROM ATTACH",
                                 "DELETE FROM LIFECYCLE_USER"};
    for (int i = 0; i < 3; ++i) {
        const auto before = snapshot();
        prompt.clear();
        prompt.answer(PromptAnswer::Yes);
        EXPECT_EQ(service.remove(id).refusal(), RefusalOf<>{QString::fromUtf8(texts[i])});
        EXPECT_EQ(prompt.last().text, u"Delete "_s + kQuoted);
        EXPECT_EQ(snapshot(), before);
        db().execute(QString::fromUtf8(clear[i]));
    }
    // Only a workshop stage's group_ID counts: not a user stage there, nor Owner_ID (the designer).
    const QString stage = u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, "
                          "Owner_ID, group_ID) VALUES (?, ?, ?, ?)"_s;
    db().execute(stage, {u"Other"_s, 0, u"bob"_s, id});
    db().execute(stage, {u"Other"_s, 1, QString::number(id), general});

    prompt.clear();
    prompt.answer(PromptAnswer::No);
    const auto declined = service.remove(id);
    EXPECT_FALSE(declined || declined.refusal());
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(service.remove(id));
    EXPECT_FALSE(WorkshopStore(db()).load(id));
    EXPECT_TRUE(rows("SELECT * FROM GROUPLINK WHERE GROUP_ID NOT IN "
                     "(SELECT GROUP_ID FROM LU_GROUP)")
                    .isEmpty());
}

TEST_P(WorkshopServiceTest, AWorkshopIsDeletedByItsMembersAndAdministratorsOnly)
{
    const qlonglong mine = makeWorkshop(u"Mine"_s, {u"alice"_s});
    const qlonglong lab = makeWorkshop(u"Lab"_s, {u"bob"_s});
    const auto before = snapshot();
    prompt.clear();
    EXPECT_EQ(service.remove(lab).refusal(), RefusalOf<>{UserRights::kNotAdministrator});
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before the question";
    EXPECT_EQ(snapshot(), before);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(service.remove(mine));
    session.user.record.administrator = true;
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(service.remove(lab));
}

TEST_P(WorkshopServiceTest, JoiningNeedsTheRightAndSessionOpeningsAreTemporary)
{
    const qlonglong ops = makeWorkshop(u"Ops"_s, {u"bob"_s});
    const qlonglong lab = makeWorkshop(u"Lab"_s, {u"bob"_s});
    EXPECT_EQ(service.join(ops).refusal(),
              RefusalOf<>{u"Sorry, you don't have Join Workshop privileges.  Please "
                          "see your Brindlepax Administrator."_s});
    EXPECT_EQ(service.open(ops).refusal(),
              RefusalOf<>{u"Join Workshop privilege is required to open other "
                          "workshops.  Please see your Brindlepax "
                          "Administrator."_s});
    EXPECT_FALSE(WorkshopStore(db()).isMember(u"alice"_s, ops));
    // A member opens his own workshop without the right.
    EXPECT_TRUE(service.open(general));
    EXPECT_EQ(session.currentWorkshopId, general);

    session.user.record.joinTeam = true;
    EXPECT_TRUE(service.open(ops));
    EXPECT_TRUE(service.open(lab));
    EXPECT_EQ(session.temporaryWorkshops, (QList<qlonglong>{ops, lab}));
    EXPECT_TRUE(WorkshopStore(db()).isMember(u"alice"_s, ops));
    EXPECT_TRUE(service.join(lab)); // joined for good: no longer left at the end
    EXPECT_EQ(session.temporaryWorkshops, QList<qlonglong>{ops});
    EXPECT_EQ(RecentWorkshops(settings).ids(), (QList<qlonglong>{lab, ops, general}));

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(service.leave(ops));
    EXPECT_EQ(prompt.last().text, u"Leave Workshop: Ops"_s);
    EXPECT_FALSE(WorkshopStore(db()).isMember(u"alice"_s, ops));
    EXPECT_TRUE(session.temporaryWorkshops.isEmpty());
}

TEST_P(WorkshopServiceTest, CandidateListsAndSearch)
{
    WorkshopStore store(db());
    const auto ids = [](const QList<UserChoice>& list) {
        QStringList out;
        for (const UserChoice& u : list)
            out.append(u.userId);
        return out;
    };
    const QString me = u"alice"_s;
    const QString boss = u"carol"_s;
    EXPECT_EQ(ids(store.candidates(CandidateList::TeamMembers, me, boss)),
              (QStringList{u"alice"_s, u"bob"_s}));
    EXPECT_EQ(ids(store.candidates(CandidateList::TeamMates, me, boss)), QStringList{});
    EXPECT_EQ(ids(store.candidates(CandidateList::MyTeam, me, boss)),
              (QStringList{u"alice"_s, u"bob"_s, u"carol"_s}));
    EXPECT_EQ(ids(store.candidates(CandidateList::AllUsers, me, boss)).size(), 5);
    EXPECT_EQ(ids(*service.searchUsers(u"'b"_s)), QStringList{u"O'Brien"_s});
    EXPECT_EQ(service.searchUsers(u"dora"_s).refusal(), // disabled
              RefusalOf<>{u"User not found"_s});

    // The parent list never offers the workshop itself or one below it.
    const qlonglong top = makeWorkshop(u"Top"_s, {me});
    WorkshopDraft child = draft(u"Child"_s, u"Top"_s, {me});
    child.parentId = top;
    const qlonglong sub = *service.save(child);
    QStringList names;
    for (const WorkshopRow& row : store.parentChoices(me, 0, top))
        names.append(row.name);
    EXPECT_EQ(names, QStringList{u"General"_s});
    names.clear();
    for (const WorkshopRow& row : store.parentChoices(me, top, sub))
        names.append(row.name);
    EXPECT_EQ(names, (QStringList{u"General"_s, u"Top"_s}));
}

TEST_P(WorkshopServiceTest, ChooserRoutesToTheWorkshopWhenNobodyIsTicked)
{
    const qlonglong ops = makeWorkshop(kQuoted, {u"bob"_s, u"O'Brien"_s});
    db().execute(u"INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID, owner_group_id) "
                 "VALUES (?, ?, ?)"_s,
                 {u"Release"_s, u"alice"_s, ops});
    RecipientChooser chooser(db());
    EXPECT_TRUE(chooser.result().isEmpty());
    EXPECT_EQ(chooser.echo(), QString());

    chooser.setWorkshop(ops, kQuoted);
    ASSERT_EQ(chooser.users().size(), 2);
    EXPECT_EQ(chooser.result(), (QList<cSelUser>{{QString(), ops, OwnerType::Workshop}}));
    EXPECT_EQ(chooser.echo(), u"[   Workshop: "_s + kQuoted + u" ]"_s);

    chooser.setTicked(u"O'Brien"_s, true);
    chooser.setWorkshop(general, u"General"_s);
    chooser.setTicked(u"carol"_s, true);
    chooser.setTicked(u"bob"_s, true);
    chooser.setTicked(u"Carol"_s, false);
    EXPECT_EQ(chooser.result(), (QList<cSelUser>{{u"O'Brien"_s, ops, OwnerType::User},
                                                 {u"bob"_s, general, OwnerType::User}}));
    EXPECT_EQ(chooser.echo(),
              u"[   Workshop: "_s + kQuoted + u"; O'Brien; Workshop: General; bob ]"_s);

    chooser.setWorkshop(ops, kQuoted);
    chooser.setMode(RecipientChooser::Mode::Lifecycles);
    const auto lifecycles = chooser.lifecycles();
    ASSERT_EQ(lifecycles.size(), 1);
    chooser.chooseLifecycle(lifecycles.first());
    EXPECT_EQ(chooser.result(), (QList<cSelUser>{{u"Release"_s, ops, OwnerType::Lifecycle}}));
    EXPECT_EQ(chooser.echo(), u"[   Workshop: "_s + kQuoted + u"; Release ]"_s);
}

TEST_P(WorkshopServiceTest, RecentListIsNewestFirstWithoutRepeats)
{
    RecentWorkshops recent(settings);
    EXPECT_TRUE(recent.ids().isEmpty());
    for (const qlonglong id : {1, 2, 3, 4, 5, 6})
        recent.remember(id);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{6, 5, 4, 3, 2}));
    EXPECT_EQ(settings.get(u"RECENT"_s, u"RECENT1"_s), u"6"_s);
    recent.remember(3);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{3, 6, 5, 4, 2}));
    recent.remember(0);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{3, 6, 5, 4, 2}));

    // The join window's list: existing workshops only, in the same order.
    const qlonglong a = makeWorkshop(u"A"_s, {u"bob"_s});
    recent.remember(general);
    recent.remember(a);
    QStringList names;
    for (const WorkshopRow& row : recent.rows(db()))
        names.append(row.name);
    EXPECT_EQ(names, (QStringList{u"A"_s, u"General"_s}));

    // A log-on starts in the newest remembered workshop the user belongs to.
    EXPECT_EQ(recent.startWorkshop(db(), u"alice"_s), general) << "alice is not in A";
    EXPECT_EQ(recent.startWorkshop(db(), u"bob"_s), a);
    EXPECT_EQ(recent.startWorkshop(db(), u"nobody"_s), 0);
}

TEST_P(WorkshopServiceTest, RenamingChangesOnlyTheName)
{
    const qlonglong id = makeWorkshop(u"Ops"_s, {u"bob"_s});
    const auto before = snapshot();
    using Refusal = RefusalOf<WorkshopField>;
    EXPECT_EQ(service.saveName(id, u"general"_s).refusal(),
              (Refusal{u"Workshop with name 'general' already exists."_s, WorkshopField::Name}));
    EXPECT_EQ(service.saveName(id, u" "_s).refusal(),
              (Refusal{u"Please specify Workshop Name"_s, WorkshopField::Name}));
    EXPECT_EQ(service.openForRename(99999).refusal(),
              RefusalOf<>{u"Workshop with such name not found"_s});
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(*service.saveName(id, kQuoted), id);
    const auto row = WorkshopStore(db()).load(id);
    EXPECT_EQ(row->name, kQuoted);
    EXPECT_EQ(row->rootFolder, u"Ops"_s);
    EXPECT_EQ(members(id), QStringList{u"bob"_s});
}

BX_INSTANTIATE_ENGINES(WorkshopServiceTest);
