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

using namespace bx;

namespace {

const QString kQuoted = QStringLiteral("O'Brien's Ærø team");
const QString kFolder = QStringLiteral("Ærø's \"docs\"");

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
        const QString insert = QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, "
                                              "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?)");
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
        general = db().scalar(QStringLiteral("SELECT GROUP_ID FROM LU_GROUP WHERE GROUP_NAME = ?"),
                              {QStringLiteral("General")})
                      .toLongLong();
        ASSERT_NE(general, 0);
        for (const auto& u : users)
            AddUserToGroup(db(), QString::fromUtf8(u.id), general);

        session.user.userId = QStringLiteral("Alice");
        session.user.record.userId = QStringLiteral("alice");
        session.user.record.supervisor = QStringLiteral("carol");
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
    makeWorkshop(kQuoted, {QStringLiteral("alice")});
    const auto before = snapshot();
    prompt.clear();
    using Refusal = RefusalOf<WorkshopField>;
    const struct
    {
        WorkshopDraft draft;
        Refusal refusal;
    } cases[] = {
        {draft(QStringLiteral("  "), QStringLiteral("x"), {QStringLiteral("bob")}),
         {QStringLiteral("Please enter Workshop name"), WorkshopField::Name}},
        {draft(QStringLiteral("New"), QStringLiteral("x"), {QStringLiteral(" ")}),
         {QStringLiteral("Please, specify user for Workshop"), WorkshopField::Members}},
        {draft(QStringLiteral("New"), QStringLiteral(" "), {QStringLiteral("bob")}),
         {QStringLiteral("Please, specify Root folder for Workshop"), WorkshopField::RootFolder}},
        {draft(QStringLiteral(" gENERAL "), QStringLiteral("x"), {QStringLiteral("bob")}),
         {QStringLiteral("Group with name gENERAL already exists. Please specify another name"),
          WorkshopField::Name}},
        // Letters outside ASCII ignore their case as well.
        {draft(QStringLiteral("o'brien's æRØ TEAM"), QStringLiteral("x"), {QStringLiteral("bob")}),
         {QStringLiteral("Group with name o'brien's æRØ TEAM already exists. Please specify "
                         "another name"),
          WorkshopField::Name}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(service.save(c.draft).refusal(), c.refusal);
    EXPECT_TRUE(prompt.records().isEmpty());
    // Answering No to the new folder returns to the window, with nothing to show.
    prompt.answer(PromptAnswer::No);
    const auto declined = service.save(
        draft(QStringLiteral("Fresh"), QStringLiteral("nowhere"), {QStringLiteral("bob")}));
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(snapshot(), before);

    // Editing a workshop may keep its own name in another case.
    WorkshopDraft same = draft(kQuoted.toUpper(), kQuoted, {QStringLiteral("alice")});
    same.groupId = WorkshopStore(db()).sameName(kQuoted)->groupId;
    EXPECT_EQ(*service.save(same), same.groupId);
    EXPECT_EQ(GroupName(db(), same.groupId), kQuoted.toUpper());
}

TEST_P(WorkshopServiceTest, NewFolderAnsweredYesIsCreatedWithViewAccessForTheCreator)
{
    prompt.answer(PromptAnswer::Yes);
    const auto id = service.save(draft(QStringLiteral(" ") + kQuoted, kFolder + QStringLiteral(" "),
                                       {QStringLiteral("bob"), QStringLiteral("O'Brien")}));
    ASSERT_TRUE(id);
    const auto question = prompt.last();
    EXPECT_EQ(question.kind, bx::test::PromptRecord::Kind::Ask);
    EXPECT_EQ(question.title, QStringLiteral("Create Folder?"));
    EXPECT_EQ(question.text, QStringLiteral("The folder \"") + kFolder +
                                 QStringLiteral("\" does not exist.  Would you like to create it?  "
                                                "Press NO to select another root folder for this "
                                                "workshop."));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM LU_CATEGORY WHERE Category = ?"),
                          {kFolder})
                  .toInt(),
              1);
    EXPECT_EQ(rows("SELECT USER_ID, ACCESS_LEVEL, ACCESS_TYPE FROM LU_ACCESS_LEVEL"),
              (QList<QVariantList>{{QStringLiteral("alice"), kFolder, QStringLiteral("VIEW")}}));
    const auto row = WorkshopStore(db()).load(*id);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, kQuoted);
    EXPECT_EQ(row->rootFolder, kFolder);
    EXPECT_EQ(row->parentId, 0);
    EXPECT_EQ(members(*id), (QStringList{QStringLiteral("bob"), QStringLiteral("O'Brien")}));
    EXPECT_EQ(GroupName(db(), *id), kQuoted);

    // The folder now exists: a second workshop under it is saved without the question, nested.
    WorkshopDraft child = draft(QStringLiteral("Sub"), kFolder.toLower(), {QStringLiteral("bob")});
    child.parentId = *id;
    const auto sub = service.save(child);
    ASSERT_TRUE(sub);
    EXPECT_EQ(ParentWorkshop(db(), *sub), *id);
    EXPECT_EQ(ParentWorkshop(db(), *id), 0);
}

TEST_P(WorkshopServiceTest, SavingMembersEnablesDisabledOnesAndReplacesTheList)
{
    const qlonglong id =
        makeWorkshop(QStringLiteral("Ops"), {QStringLiteral("bob"), QStringLiteral("Dora")});
    EXPECT_EQ(members(id), (QStringList{QStringLiteral("bob"), QStringLiteral("dora")}));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Disabled FROM LU_USER WHERE USER_ID = ?"),
                          {QStringLiteral("dora")})
                  .toInt(),
              0);

    WorkshopDraft edit = draft(QStringLiteral("Ops"), QStringLiteral("Ops"),
                               {QStringLiteral("carol"), QStringLiteral("CAROL")});
    edit.groupId = id;
    EXPECT_EQ(*service.save(edit), id);
    EXPECT_EQ(members(id), QStringList{QStringLiteral("carol")});
    EXPECT_EQ(members(general).size(), 6); // other workshops keep their members
}

TEST_P(WorkshopServiceTest, DeletionIsRefusedInOrderAndChangesNothing)
{
    const qlonglong id = makeWorkshop(kQuoted, {QStringLiteral("alice")});
    const auto addTask = [&] { bx::test::addTaskRow(db(), {{scr::GroupId, id}}); };
    const auto addAttachment = [&] {
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                             QStringLiteral("Group_ID")},
                            {0, QStringLiteral("M"), id});
    };
    const auto addStage = [&] {
        db().execute(
            QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                           "UserType, group_ID, Owner_ID) VALUES (?, ?, 1, ?, ?)"),
            {QStringLiteral("Release"), QStringLiteral("Review"), id, QStringLiteral("alice")});
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
        EXPECT_EQ(prompt.last().text, QStringLiteral("Delete ") + kQuoted);
        EXPECT_EQ(prompt.last().title, QStringLiteral("Are you sure?"));
        EXPECT_EQ(snapshot(), before);
        db().execute(QString::fromUtf8(clear[i]));
    }
    // Only a workshop stage's group_ID counts: not a user stage there, nor Owner_ID (the designer).
    const QString stage = QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, "
                                         "Owner_ID, group_ID) VALUES (?, ?, ?, ?)");
    db().execute(stage, {QStringLiteral("Other"), 0, QStringLiteral("bob"), id});
    db().execute(stage, {QStringLiteral("Other"), 1, QString::number(id), general});

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
    const qlonglong mine = makeWorkshop(QStringLiteral("Mine"), {QStringLiteral("alice")});
    const qlonglong lab = makeWorkshop(QStringLiteral("Lab"), {QStringLiteral("bob")});
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
    const qlonglong ops = makeWorkshop(QStringLiteral("Ops"), {QStringLiteral("bob")});
    const qlonglong lab = makeWorkshop(QStringLiteral("Lab"), {QStringLiteral("bob")});
    EXPECT_EQ(service.join(ops).refusal(),
              RefusalOf<>{QStringLiteral("Sorry, you don't have Join Workshop privileges.  Please "
                                         "see your Brindlepax Administrator.")});
    EXPECT_EQ(service.open(ops).refusal(),
              RefusalOf<>{QStringLiteral("Join Workshop privilege is required to open other "
                                         "workshops.  Please see your Brindlepax "
                                         "Administrator.")});
    EXPECT_FALSE(WorkshopStore(db()).isMember(QStringLiteral("alice"), ops));
    // A member opens his own workshop without the right.
    EXPECT_TRUE(service.open(general));
    EXPECT_EQ(session.currentWorkshopId, general);

    session.user.record.joinTeam = true;
    EXPECT_TRUE(service.open(ops));
    EXPECT_TRUE(service.open(lab));
    EXPECT_EQ(session.temporaryWorkshops, (QList<qlonglong>{ops, lab}));
    EXPECT_TRUE(WorkshopStore(db()).isMember(QStringLiteral("alice"), ops));
    EXPECT_TRUE(service.join(lab)); // joined for good: no longer left at the end
    EXPECT_EQ(session.temporaryWorkshops, QList<qlonglong>{ops});
    EXPECT_EQ(RecentWorkshops(settings).ids(), (QList<qlonglong>{lab, ops, general}));

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(service.leave(ops));
    EXPECT_EQ(prompt.last().text, QStringLiteral("Leave Workshop: Ops"));
    EXPECT_EQ(prompt.last().title, QStringLiteral("Are you sure"));
    EXPECT_FALSE(WorkshopStore(db()).isMember(QStringLiteral("alice"), ops));
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
    const QString me = QStringLiteral("alice");
    const QString boss = QStringLiteral("carol");
    EXPECT_EQ(ids(store.candidates(CandidateList::TeamMembers, me, boss)),
              (QStringList{QStringLiteral("alice"), QStringLiteral("bob")}));
    EXPECT_EQ(ids(store.candidates(CandidateList::TeamMates, me, boss)), QStringList{});
    EXPECT_EQ(
        ids(store.candidates(CandidateList::MyTeam, me, boss)),
        (QStringList{QStringLiteral("alice"), QStringLiteral("bob"), QStringLiteral("carol")}));
    EXPECT_EQ(ids(store.candidates(CandidateList::AllUsers, me, boss)).size(), 5);
    EXPECT_EQ(ids(*service.searchUsers(QStringLiteral("'b"))),
              QStringList{QStringLiteral("O'Brien")});
    EXPECT_EQ(service.searchUsers(QStringLiteral("dora")).refusal(), // disabled
              RefusalOf<>{QStringLiteral("User not found")});

    // The parent list never offers the workshop itself or one below it.
    const qlonglong top = makeWorkshop(QStringLiteral("Top"), {me});
    WorkshopDraft child = draft(QStringLiteral("Child"), QStringLiteral("Top"), {me});
    child.parentId = top;
    const qlonglong sub = *service.save(child);
    QStringList names;
    for (const WorkshopRow& row : store.parentChoices(me, 0, top))
        names.append(row.name);
    EXPECT_EQ(names, QStringList{QStringLiteral("General")});
    names.clear();
    for (const WorkshopRow& row : store.parentChoices(me, top, sub))
        names.append(row.name);
    EXPECT_EQ(names, (QStringList{QStringLiteral("General"), QStringLiteral("Top")}));
}

TEST_P(WorkshopServiceTest, ChooserRoutesToTheWorkshopWhenNobodyIsTicked)
{
    const qlonglong ops = makeWorkshop(kQuoted, {QStringLiteral("bob"), QStringLiteral("O'Brien")});
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID, owner_group_id) "
                                "VALUES (?, ?, ?)"),
                 {QStringLiteral("Release"), QStringLiteral("alice"), ops});
    RecipientChooser chooser(db());
    EXPECT_TRUE(chooser.result().isEmpty());
    EXPECT_EQ(chooser.echo(), QString());

    chooser.setWorkshop(ops, kQuoted);
    ASSERT_EQ(chooser.users().size(), 2);
    EXPECT_EQ(chooser.result(), (QList<cSelUser>{{QString(), ops, OwnerType::Workshop}}));
    EXPECT_EQ(chooser.echo(), QStringLiteral("[   Workshop: ") + kQuoted + QStringLiteral(" ]"));

    chooser.setTicked(QStringLiteral("O'Brien"), true);
    chooser.setWorkshop(general, QStringLiteral("General"));
    chooser.setTicked(QStringLiteral("carol"), true);
    chooser.setTicked(QStringLiteral("bob"), true);
    chooser.setTicked(QStringLiteral("Carol"), false);
    EXPECT_EQ(chooser.result(),
              (QList<cSelUser>{{QStringLiteral("O'Brien"), ops, OwnerType::User},
                               {QStringLiteral("bob"), general, OwnerType::User}}));
    EXPECT_EQ(chooser.echo(), QStringLiteral("[   Workshop: ") + kQuoted +
                                  QStringLiteral("; O'Brien; Workshop: General; bob ]"));

    chooser.setWorkshop(ops, kQuoted);
    chooser.setMode(RecipientChooser::Mode::Lifecycles);
    const auto lifecycles = chooser.lifecycles();
    ASSERT_EQ(lifecycles.size(), 1);
    chooser.chooseLifecycle(lifecycles.first());
    EXPECT_EQ(chooser.result(),
              (QList<cSelUser>{{QStringLiteral("Release"), ops, OwnerType::Lifecycle}}));
    EXPECT_EQ(chooser.echo(),
              QStringLiteral("[   Workshop: ") + kQuoted + QStringLiteral("; Release ]"));
}

TEST_P(WorkshopServiceTest, RecentListIsNewestFirstWithoutRepeats)
{
    RecentWorkshops recent(settings);
    EXPECT_TRUE(recent.ids().isEmpty());
    for (const qlonglong id : {1, 2, 3, 4, 5, 6})
        recent.remember(id);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{6, 5, 4, 3, 2}));
    EXPECT_EQ(settings.get(QStringLiteral("RECENT"), QStringLiteral("RECENT1")),
              QStringLiteral("6"));
    recent.remember(3);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{3, 6, 5, 4, 2}));
    recent.remember(0);
    EXPECT_EQ(recent.ids(), (QList<qlonglong>{3, 6, 5, 4, 2}));

    // The join window's list: existing workshops only, in the same order.
    const qlonglong a = makeWorkshop(QStringLiteral("A"), {QStringLiteral("bob")});
    recent.remember(general);
    recent.remember(a);
    QStringList names;
    for (const WorkshopRow& row : recent.rows(db()))
        names.append(row.name);
    EXPECT_EQ(names, (QStringList{QStringLiteral("A"), QStringLiteral("General")}));

    // A log-on starts in the newest remembered workshop the user belongs to.
    EXPECT_EQ(recent.startWorkshop(db(), QStringLiteral("alice")), general) << "alice is not in A";
    EXPECT_EQ(recent.startWorkshop(db(), QStringLiteral("bob")), a);
    EXPECT_EQ(recent.startWorkshop(db(), QStringLiteral("nobody")), 0);
}

TEST_P(WorkshopServiceTest, RenamingChangesOnlyTheName)
{
    const qlonglong id = makeWorkshop(QStringLiteral("Ops"), {QStringLiteral("bob")});
    const auto before = snapshot();
    using Refusal = RefusalOf<WorkshopField>;
    EXPECT_EQ(service.saveName(id, QStringLiteral("general")).refusal(),
              (Refusal{QStringLiteral("Workshop with name 'general' already exists."),
                       WorkshopField::Name}));
    EXPECT_EQ(service.saveName(id, QStringLiteral(" ")).refusal(),
              (Refusal{QStringLiteral("Please specify Workshop Name"), WorkshopField::Name}));
    EXPECT_EQ(service.openForRename(99999).refusal(),
              RefusalOf<>{QStringLiteral("Workshop with such name not found")});
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(*service.saveName(id, kQuoted), id);
    const auto row = WorkshopStore(db()).load(id);
    EXPECT_EQ(row->name, kQuoted);
    EXPECT_EQ(row->rootFolder, QStringLiteral("Ops"));
    EXPECT_EQ(members(id), QStringList{QStringLiteral("bob")});
}

BX_INSTANTIATE_ENGINES(WorkshopServiceTest);
