#include "people/UserAdmin.h"

#include "core/PasswordCipher.h"
#include "core/Session.h"
#include "core/StoredPassword.h"
#include "core/UserRights.h"
#include "core/db/DatabaseOpener.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/UserReferences.h"
#include "core/settings/SettingsStore.h"
#include "people/UserEditor.h"
#include "people/UserStore.h"
#include "people/UserTree.h"
#include "support/FixedClock.h"
#include "support/PeopleBuilders.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerCleanup.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QDir>

#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::ScriptedPrompt;

namespace {

const QString kPassword = u"Secret1"_s;

/**
 * A database of the current schema with users bob (supervisor of carol, who supervises dave) and
 * erin, two workshops and two folders; a session logged on as "admin" over a second connection.
 * On the server engine roles are named after the process database, so that tests in different
 * processes never meet, and are dropped after each test.
 */
class UserAdminTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        addUser("bob", "");
        addUser("carol", "bob");
        addUser("dave", "carol");
        addUser("erin", "");
        for (int g : {101, 102})
            db().execute(u"INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"_s,
                         {g, u"Team Ø%1"_s.arg(g)});
        bx::test::addCategories(db(), {u"Plans"_s});
        bx::test::addSubfolder(db(), u"Plans 'Ærø'"_s, u"Plans"_s);
        for (const char* u : {"bob", "carol", "dave"})
            db().execute(u"INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (101, ?)"_s,
                         {QLatin1String(u)});

        session.user.userId = u"admin"_s;
        session.user.record = *loadUser(db(), u"admin"_s);
        if (isServer())
            session.connection.sqlDatabaseName = bx::test::processDatabase();
    }

    void TearDown() override
    {
        if (isServer() && !IsSkipped()) {
            bx::test::dropRoles(static_cast<PgDatabase&>(db()),
                                bx::test::processDatabase() + u"\\_%"_s);
        }
        SessionTest::TearDown();
    }

    void addUser(const char* id, const char* supervisor)
    {
        db().execute(u"INSERT INTO LU_USER (USER_ID, User_Name, User_Password, "
                     "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?, ?)"_s,
                     {QLatin1String(id), QString(QLatin1String(id)).toUpper(), kPassword,
                      QLatin1String(supervisor), false});
    }

    /** The stored form of a user's password, read as the tables' owner. */
    QString storedPassword(const QString& id)
    {
        return db()
            .scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {id})
            .toString();
    }

    UserDraft newUser(const QString& id) const
    {
        UserDraft d;
        d.userId = id;
        d.userName = u"Name of "_s + id;
        d.password = kPassword;
        return d;
    }

    /** Every row of a table as text, sorted, so that two dumps compare whatever the row order. */
    QStringList dump(const QString& table, const std::function<QString(int, QVariant)>& map = {})
    {
        const RecordSet rs = db().query(u"SELECT * FROM "_s + table);
        QStringList out;
        for (const QVariantList& row : rs.rows()) {
            QStringList cells;
            for (int c = 0; c < row.size(); ++c)
                cells << (map ? map(c, row[c]) : row[c].toString()) + QLatin1Char('|') +
                             (row[c].isNull() ? u"null"_s : QString());
            out << cells.join(QLatin1Char(','));
        }
        out.sort();
        return out;
    }

    QStringList column(const char* sql, const QVariantList& params = {})
    {
        QStringList out;
        const RecordSet rs = db().query(QLatin1String(sql), params);
        for (const QVariantList& row : rs.rows())
            out << row.first().toString();
        out.sort();
        return out;
    }

    bool disabled(const char* id)
    {
        return db().scalar(u"SELECT Disabled FROM LU_USER WHERE USER_ID = ?"_s, {QLatin1String(id)})
                   .toLongLong() != 0;
    }

    QString role(const QString& id) const
    {
        return serverRoleName(session.connection.sqlDatabaseName, id);
    }

    bool roleAccepts(const QString& id, const QString& typed)
    {
        return bx::test::roleAccepts(role(id), typed);
    }

    bool roleExists(const QString& id)
    {
        return !db().query(u"SELECT 1 FROM pg_roles WHERE rolname = ?"_s, {role(id)}).eof();
    }

    /** A member of the owner role, as administrators' logins are; no login creates roles. */
    bool roleIsAdministrator(const QString& id)
    {
        EXPECT_FALSE(db().scalar(u"SELECT rolcreaterole FROM pg_roles WHERE "
                                 "rolname = ?"_s,
                                 {role(id)})
                         .toBool());
        return db()
            .scalar(u"SELECT pg_has_role(?, ?, 'MEMBER')"_s,
                    {role(id), bx::test::kScriptDatabaseName + u"_owner"_s})
            .toBool();
    }
};

} // namespace

TEST_P(UserAdminTest, SaveRefusesInOrderAndWritesNothing)
{
    const QStringList before = dump(u"LU_USER"_s);
    UserDraft existing = *loadUserDraft(db(), u"erin"_s);
    const auto with = [](UserDraft d, const std::function<void(UserDraft&)>& change) {
        change(d);
        return d;
    };
    const auto zed = [&](const std::function<void(UserDraft&)>& change) {
        return with(newUser(u"zed"_s), change);
    };
    const struct
    {
        UserDraft draft;
        QString text;
        UserField field;
    } cases[] = {
        {newUser(u"  "_s), u"Please Specify User ID"_s, UserField::UserId},
        {newUser(u" SuperVisor "_s),
         u"'Supervisor' is reserved User ID, please choose another one"_s, UserField::UserId},
        {zed([](UserDraft& d) { d.userName = u" "_s; }), u"Please Specify User's Name"_s,
         UserField::UserName},
        {zed([](UserDraft& d) { d.password.reset(); }), u"Please Specify User's Password"_s,
         UserField::Password},
        {zed([](UserDraft& d) { d.password = u"  abcde  "_s; }),
         u"Password must be at least 6 charactered long"_s, UserField::Password},
        {newUser(u" BOB "_s), u"User ID already exists, Please specify another ID."_s,
         UserField::UserId},
        {with(existing, [](UserDraft& d) { d.userId = u"Carol"_s; }),
         u"User ID already exists, Please specify another ID."_s, UserField::UserId},
        {with(existing, [](UserDraft& d) { d.password = u"abcde"_s; }),
         u"Password must be at least 6 charactered long"_s, UserField::Password},
    };
    for (const auto& c : cases) {
        const auto refusal = saveUser(session, c.draft);
        ASSERT_TRUE(refusal) << c.draft.userId.toStdString();
        EXPECT_EQ(refusal->message, c.text) << c.draft.userId.toStdString();
        EXPECT_EQ(refusal->field, c.field) << c.draft.userId.toStdString();
    }
    EXPECT_EQ(dump(u"LU_USER"_s), before);

    // An existing user saved without touching the password keeps the stored one.
    existing.userName = u"Erin E."_s;
    EXPECT_FALSE(saveUser(session, existing));
    EXPECT_EQ(storedPassword(u"erin"_s), kPassword);
}

TEST_P(UserAdminTest, OnlyAnAdministratorChangesUsers)
{
    db().execute(u"UPDATE LU_USER SET Disabled = ? WHERE USER_ID = 'dave'"_s,
                 {db().dialect().flag(true)});
    // bob's own session: every command of the user windows is refused before it asks anything.
    session.user.userId = u"bob"_s;
    session.user.record = *loadUser(db(), u"bob"_s);
    const auto everything = [&] {
        return dump(u"LU_USER"_s) + dump(u"GROUPLINK"_s) + dump(u"LU_ACCESS_LEVEL"_s);
    };
    const QStringList before = everything();
    UserDraft fay = newUser(u"fay"_s);
    fay.workshops = {101};
    fay.folders = {u"Plans"_s};
    UserDraft carol = *loadUserDraft(db(), u"carol"_s);
    carol.supervisor = u"erin"_s;
    carol.flags.insert(u"Ext12"_s, true);
    carol.folders = {u"Plans"_s};
    for (const UserDraft& d : {fay, carol}) {
        const auto refusal = saveUser(session, d);
        ASSERT_TRUE(refusal) << d.userId.toStdString();
        EXPECT_EQ(*refusal, (UserRefusal{UserRights::kNotAdministrator, UserField::None}));
    }
    const RefusalOf<> notAdministrator{UserRights::kNotAdministrator};
    EXPECT_EQ(deleteUser(session, prompt, u"erin"_s).refusal(), notAdministrator);
    EXPECT_EQ(disableUser(session, prompt, u"bob"_s).refusal(), notAdministrator);
    EXPECT_EQ(enableUser(session, u"dave"_s).refusal(), notAdministrator);
    EXPECT_EQ(deleteUser(session, prompt, QString()).refusal(), notAdministrator)
        << "the right comes before the selection";
    EXPECT_TRUE(prompt.records().isEmpty());
    EXPECT_EQ(everything(), before);

    // The right is enough, and "admin" needs none.
    session.user.record.administrator = true;
    EXPECT_FALSE(saveUser(session, fay));
    session.user.record = *loadUser(db(), u"admin"_s);
    session.user.record.administrator = false;
    EXPECT_TRUE(enableUser(session, u"dave"_s));
}

TEST_P(UserAdminTest, QuotedNonAsciiUserIsSavedRenamedAndDeleted)
{
    const QString id = u"O'Brien-Ægir"_s;
    UserDraft d = newUser(id);
    d.userName = u"Pat \"Ægir\" O'Brien"_s;
    d.supervisor = u"bob"_s;
    d.rate = 12.5;
    d.flags.insert(u"Join_Team"_s, true);
    d.flags.insert(u"Ext5"_s, true);
    d.noticeDigest = 15;
    d.workshops = {102, 101, 102};
    d.folders = {u"plans 'ærø'"_s, u"Unspecified Folder"_s, u"Nowhere"_s};
    ASSERT_FALSE(saveUser(session, d));

    auto saved = loadUserDraft(db(), id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->userId, id);
    EXPECT_EQ(saved->userName, d.userName);
    EXPECT_EQ(saved->supervisor, u"bob"_s);
    EXPECT_DOUBLE_EQ(saved->rate.value_or(0), 12.5);
    EXPECT_TRUE(saved->flag(u"Join_Team"_s));
    EXPECT_TRUE(saved->flag(u"Ext5"_s));
    EXPECT_EQ(saved->noticeDigest, 15);
    EXPECT_EQ(saved->folders, QStringList{u"Plans 'Ærø'"_s}) << "category spelling";
    std::sort(saved->workshops.begin(), saved->workshops.end());
    EXPECT_EQ(saved->workshops, (QList<qlonglong>{101, 102}));
    const QString hash = storedPassword(id);
    EXPECT_TRUE(StoredPassword::isHashed(hash));
    EXPECT_TRUE(StoredPassword::matches(hash, kPassword));
    EXPECT_EQ(saveUser(session, newUser(u"o'brien-ægir"_s))->message,
              u"User ID already exists, Please specify another ID."_s)
        << "same ID in another case, beyond ASCII too";

    // Renamed: the row, its memberships and folders follow; the password stays.
    saved->userId = u"Ó'Neill-Øy"_s;
    saved->folders << u"Plans"_s;
    ASSERT_FALSE(saveUser(session, *saved));
    EXPECT_FALSE(findUserId(db(), id));
    EXPECT_EQ(storedPassword(saved->userId), hash);
    EXPECT_EQ(column("SELECT GROUP_ID FROM GROUPLINK WHERE USER_ID = ?", {saved->userId}),
              (QStringList{u"101"_s, u"102"_s}));
    EXPECT_EQ(column("SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?", {saved->userId}),
              (QStringList{u"Plans"_s, u"Plans 'Ærø'"_s}));

    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(deleteUser(session, prompt, saved->userId));
    EXPECT_FALSE(findUserId(db(), saved->userId));
    EXPECT_TRUE(
        column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID = ?", {saved->userId}).isEmpty());
    EXPECT_TRUE(
        column("SELECT USER_ID FROM LU_ACCESS_LEVEL WHERE USER_ID = ?", {saved->userId}).isEmpty());
}

TEST_P(UserAdminTest, RenameMovesEveryListedReferenceAndNothingElse)
{
    // Written out here rather than taken from the program's list, so that a column missing there
    // is caught.
    const char* const references[][2] = {
        {"LU_USER", "USER_ID"},        {"LU_USER", "Supervisor_User_ID"},
        {"SCR", "SCR_Owner_User_ID"},  {"SCR", "SCR_LC_Owner_ID"},
        {"SCR", "SCR_Request_ID"},     {"ROUTE", "USER_ID"},
        {"ATTACH", "Attach_Owner"},    {"MAIL", "Owner_User_ID"},
        {"FOLDER", "Folder_Owner_ID"}, {"PAXCAL", "Cal_ID"},
        {"TIME_SHEET", "User_ID"},     {"TIME_SHEET_ROUTE", "User_ID"},
        {"CHECKLIST_ITEM", "User_ID"}, {"CHECKLIST_ITEM", "Sign_User_ID"},
        {"REPLICA", "User_ID"},        {"LIFECYCLE", "Owner_ID"},
        {"LIFECYCLE_USER", "User_ID"}, {"GROUPLINK", "User_ID"},
    };
    QList<ColumnRef> kUserColumns;
    for (const auto& [table, column] : references)
        kUserColumns.append({QString::fromLatin1(table), QString::fromLatin1(column)});
    // One row holding "carol" in each listed column, and "carol" in columns that are not listed.
    const QString old = u"carol"_s;
    const QHash<QString, QString> keys = {
        {u"SCR"_s, u"SCR_Counter"_s},       {u"ROUTE"_s, u"Route_Number"_s},
        {u"ATTACH"_s, u"Attach_Number"_s},  {u"MAIL"_s, u"Mail_Number"_s},
        {u"FOLDER"_s, u"Folder_Counter"_s}, {u"PAXCAL"_s, u"Cal_Entry"_s},
        {u"TIME_SHEET"_s, u"ID_Sheet"_s},   {u"TIME_SHEET_ROUTE"_s, u"Id"_s},
    };
    int number = 900;
    for (const ColumnRef& ref : kUserColumns) {
        if (ref.table == QLatin1String("LU_USER"))
            continue;
        QStringList columns{ref.column};
        QVariantList values{old};
        if (keys.contains(ref.table)) {
            columns << keys.value(ref.table);
            values << ++number;
        }
        if (ref.table == QLatin1String("SCR")) {
            columns << u"SCR_Number"_s << u"SCR_Priority"_s;
            values << number << u"2 - Normal"_s;
            if (ref.column != QLatin1String("SCR_Request_ID")) {
                columns << u"SCR_Request_ID"_s;
                values << u"bob"_s;
            }
        }
        db().execute(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
                         ref.table, columns.join(QLatin1Char(',')),
                         QStringList(columns.size(), u"?"_s).join(QLatin1Char(','))),
                     values);
    }
    db().execute(u"UPDATE MAIL SET Sender = ?"_s, {old});
    db().execute(u"UPDATE LIFECYCLE_USER SET Owner_ID = ?"_s, {old});
    bx::test::grantFolder(db(), old, u"Plans"_s);

    QStringList tables;
    for (const ColumnRef& ref : kUserColumns)
        if (!tables.contains(ref.table))
            tables << ref.table;
    // The task rows' version is the database's own count of updates: a renamed reference raises
    // it, as it should (an editor open on the task must not write the old name back).
    const auto dumpAs = [&](const QString& table, const QString& renamed) {
        QStringList listed;
        for (const ColumnRef& ref : kUserColumns)
            if (ref.table == table)
                listed << ref.column.toLower();
        QStringList names;
        for (const ColumnInfo& c : db().columns(table))
            names << c.name.toLower();
        return dump(table, [&](int c, const QVariant& v) {
            if (names.value(c) == QLatin1String("scr_row_version"))
                return QString();
            return listed.contains(names.value(c)) && v.toString() == old ? renamed : v.toString();
        });
    };
    QHash<QString, QStringList> before;
    for (const QString& t : tables)
        before.insert(t, dumpAs(t, u"Carol-Ø"_s));

    UserDraft d = *loadUserDraft(db(), old);
    d.userId = u"Carol-Ø"_s;
    ASSERT_FALSE(saveUser(session, d));

    for (const QString& t : tables)
        EXPECT_EQ(dumpAs(t, old), before.value(t)) << t.toStdString();
    EXPECT_EQ(column("SELECT USER_ID FROM LU_ACCESS_LEVEL"), QStringList{u"Carol-Ø"_s});
}

TEST_P(UserAdminTest, DisablingCascadesOnOkAndDropsMemberships)
{
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> declined = disableUser(session, prompt, u"bob"_s);
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(prompt.last().text, subUsersQuestion(u"bob"_s));
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(disabled("bob"));
    EXPECT_EQ(column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID <> 'admin'").size(), 3);

    // A supervisor cycle below bob is followed once.
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'carol' WHERE USER_ID = "
                 "'bob'"_s);
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'bob' WHERE USER_ID = "
                 "'erin'"_s);
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(disableUser(session, prompt, u"bob"_s));
    for (const char* u : {"bob", "carol", "dave", "erin"})
        EXPECT_TRUE(disabled(u)) << u;
    EXPECT_TRUE(column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID <> 'admin'").isEmpty());
    EXPECT_FALSE(disabled("admin"));

    // A user without sub-users is disabled without a question; enabling clears the flag only.
    EXPECT_TRUE(enableUser(session, u"dave"_s));
    EXPECT_FALSE(disabled("dave"));
    EXPECT_EQ(disableUser(session, prompt, QString()).refusal(), RefusalOf<>{kPleaseSelectUser});

    // Saving a user with "Disable user" ticked removes his memberships too.
    db().execute(u"INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (102, 'dave')"_s);
    UserDraft d = *loadUserDraft(db(), u"dave"_s);
    d.flags.insert(u"Disabled"_s, true);
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_TRUE(column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID <> 'admin'").isEmpty());
}

TEST_P(UserAdminTest, DeletionRefusesInOrderAndAsksFirst)
{
    const auto task = [&](int n, const char* requester, const char* owner, int ownerType) {
        bx::test::addTaskRow(db(), {{scr::Number, n},
                                    {scr::RequestId, QLatin1String(requester)},
                                    {scr::OwnerUserId, QLatin1String(owner)},
                                    {scr::OwnerType, ownerType}});
    };
    task(1, "bob", "bob", 1);   // bob requested; owns it only as a workshop
    task(2, "bob", "carol", 0); // carol owns
    task(3, "bob", "erin", 1);  // as a workshop owner: does not count
    db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, Owner_ID) "
                 "VALUES ('lc', 0, 'dave')"_s);
    db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, Owner_ID, "
                 "User_ID) VALUES ('lc', 1, 'erin', 'erin')"_s);
    session.user.userId = u"Erin "_s;

    const struct
    {
        const char* id;
        QString refusal;
    } refusals[] = {
        {"BOB", u"Unable to delete.  This user is a requestor of tasks"_s},
        {"carol", u"Unable to delete.  This user is an owner of tasks"_s},
        {"dave", u"Unable to delete.  This user is an owner of lifecycle stages"_s},
        {"Admin", u"You can not delete the user 'ADMIN'"_s},
        {"erin", u"Unable to delete.  You may not delete your own User ID."_s},
    };
    const QStringList users = dump(u"LU_USER"_s);
    for (const auto& r : refusals)
        EXPECT_EQ(deleteUser(session, prompt, QLatin1String(r.id)).refusal(),
                  RefusalOf<>{r.refusal})
            << r.id;
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before the question";
    EXPECT_EQ(dump(u"LU_USER"_s), users);

    session.user.userId = u"admin"_s;
    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(deleteUser(session, prompt, u"erin"_s).refusal());
    EXPECT_EQ(prompt.last().text, u"Are you sure?"_s);
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(deleteUser(session, prompt, u"erin"_s));
    EXPECT_FALSE(findUserId(db(), u"erin"_s));
    EXPECT_EQ(column("SELECT Owner_ID FROM LIFECYCLE_USER"), QStringList{u"dave"_s});
}

TEST_P(UserAdminTest, DeletingAStageDesignerKeepsTheTasksOfOthersInHisStages)
{
    // dave designed a lifecycle whose stages a workshop and the requester own: no refusal applies.
    db().execute(u"INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID) VALUES (?, ?)"_s,
                 {u"Review"_s, u"dave"_s});
    db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                 "UserType, Owner_ID, group_ID) VALUES (?, ?, ?, ?, ?)"_s,
                 {u"Review"_s, u"Check"_s, 1, u"dave"_s, 101});
    db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                 "UserType, Owner_ID) VALUES (?, ?, ?, ?)"_s,
                 {u"Review"_s, u"Back"_s, 2, u"dave"_s});
    // erin's task sits in the first stage.
    bx::test::addTaskRow(db(), {{scr::Number, 7},
                                {scr::Title, u"Erin's plan"_s},
                                {scr::RequestId, u"erin"_s},
                                {scr::OwnerUserId, u"erin"_s},
                                {scr::OwnerType, 0},
                                {scr::LifecycleId, u"Review"_s},
                                {scr::LcStageName, u"Check"_s},
                                {scr::LcOwnerId, u"dave"_s}});

    prompt.answer(PromptAnswer::Ok);
    ASSERT_TRUE(deleteUser(session, prompt, u"dave"_s));
    EXPECT_FALSE(findUserId(db(), u"dave"_s));
    EXPECT_EQ(column("SELECT SCR_Title FROM SCR WHERE SCR_LC_Owner_ID = 'admin' AND "
                     "SCR_LC_Stage_Name = 'Check'"),
              QStringList{u"Erin's plan"_s});
}

TEST_P(UserAdminTest, AdminKeepsRightsAndTheTreeHoldsEveryUserOnce)
{
    db().execute(u"UPDATE LU_USER SET Ext12 = 0, Ext13 = 0"_s);
    UserRecord admin = *loadUser(db(), u" ADMIN "_s);
    admin.administrator = admin.globalReports = false;
    EXPECT_TRUE(UserRights::isAdministrator(admin)) << "whatever the record says";
    EXPECT_TRUE(UserRights::hasGlobalReports(admin));
    const UserRecord bob = *loadUser(db(), u"bob"_s);
    EXPECT_FALSE(UserRights::isAdministrator(bob));
    EXPECT_FALSE(UserRights::mayJoinWorkshops(bob));

    // carol disabled: dave has no visible supervisor and moves to the top of the pickers' tree;
    // bob and erin supervise each other, and both still appear.
    db().execute(u"UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'carol'"_s);
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'erin' WHERE USER_ID = "
                 "'bob'"_s);
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'BOB' WHERE USER_ID = "
                 "'erin'"_s);
    QStringList flat;
    const auto walk = [&](auto&& self, const QList<UserNode>& nodes, int depth) -> void {
        for (const UserNode& n : nodes) {
            flat << QString(depth, QLatin1Char('.')) + n.user.userId;
            self(self, n.children, depth + 1);
        }
    };
    walk(walk, userTree(db(), false), 0);
    EXPECT_EQ(flat, (QStringList{u"admin"_s, u"bob"_s, u".erin"_s, u"dave"_s}));
    flat.clear();
    walk(walk, userTree(db(), true), 0);
    EXPECT_EQ(flat.size(), 5);
    EXPECT_TRUE(subUsers(db(), u"carol"_s).size() == 1);
    EXPECT_TRUE(subUsers(db(), u"BOB "_s).size() == 1);
}

TEST_P(UserAdminTest, FolderListMarksWhatTheEditorCannotSee)
{
    bx::test::addSubfolder(db(), u"Deep"_s, u"Plans 'Ærø'"_s);
    bx::test::grantFolder(db(), u"bob"_s, u"Plans"_s);
    QStringList texts;
    QList<int> levels;
    for (const FolderEntry& e : folderEntries(db(), *loadUser(db(), u"bob"_s))) {
        texts << e.text();
        levels << folderLevel(e.text());
    }
    EXPECT_EQ(texts, (QStringList{u"Unspecified Folder"_s, u"Plans"_s, u"    Plans 'Ærø' *"_s,
                                  u"        Deep *"_s}));
    EXPECT_EQ(subfolderRows(levels, 1), (QList<int>{2, 3}));
    EXPECT_EQ(subfolderRows(levels, 2), (QList<int>{3}));
    EXPECT_TRUE(subfolderRows(levels, 0).isEmpty());
    for (const FolderEntry& e : folderEntries(db(), session.user.record))
        EXPECT_FALSE(e.noAccess) << "admin sees every folder";
}

TEST_P(UserAdminTest, ServerRoleFollowsTheUser)
{
    if (!isServer())
        GTEST_SKIP() << "login roles exist on the server engine only";
    UserDraft d = newUser(u"Ö'Hara"_s);
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_TRUE(roleAccepts(d.userId, kPassword));
    EXPECT_FALSE(roleIsAdministrator(d.userId));

    // Administrator flag and a new password; then a rename keeps the password.
    d = *loadUserDraft(db(), d.userId);
    d.flags.insert(u"Ext12"_s, true);
    d.password = u"Another2"_s;
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_TRUE(roleIsAdministrator(d.userId));
    EXPECT_TRUE(roleAccepts(d.userId, u"another2"_s));
    d = *loadUserDraft(db(), d.userId);
    d.userId = u"Hara"_s;
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_FALSE(roleExists(u"Ö'Hara"_s)) << "renamed, not copied";
    EXPECT_TRUE(roleAccepts(u"Hara"_s, u"Another2"_s));

    // A disabled user's login may not log on; enabled again, it may.
    ASSERT_TRUE(disableUser(session, prompt, u"hara"_s));
    EXPECT_FALSE(roleAccepts(u"Hara"_s, u"Another2"_s));
    ASSERT_TRUE(enableUser(session, u"hara"_s));
    EXPECT_TRUE(roleAccepts(u"Hara"_s, u"Another2"_s));
    d = *loadUserDraft(db(), u"Hara"_s);
    d.flags.insert(u"Disabled"_s, true);
    d.password.reset();
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_FALSE(roleAccepts(u"Hara"_s, u"Another2"_s));

    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(deleteUser(session, prompt, u"hara"_s));
    EXPECT_FALSE(roleExists(u"Hara"_s));
}

BX_INSTANTIATE_ENGINES(UserAdminTest);
