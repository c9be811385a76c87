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

using namespace bx;
using bx::test::ScriptedPrompt;

namespace {

const QString kPassword = QStringLiteral("Secret1");

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
            db().execute(
                QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
                {g, QStringLiteral("Team Ø%1").arg(g)});
        bx::test::addCategories(db(), {QStringLiteral("Plans")});
        bx::test::addSubfolder(db(), QStringLiteral("Plans 'Ærø'"), QStringLiteral("Plans"));
        for (const char* u : {"bob", "carol", "dave"})
            db().execute(
                QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (101, ?)"),
                {QLatin1String(u)});

        session.user.userId = QStringLiteral("admin");
        session.user.record = *loadUser(db(), QStringLiteral("admin"));
        if (isServer())
            session.connection.sqlDatabaseName = bx::test::processDatabase();
    }

    void TearDown() override
    {
        if (isServer() && !IsSkipped()) {
            bx::test::dropRoles(static_cast<PgDatabase&>(db()),
                                bx::test::processDatabase() + QStringLiteral("\\_%"));
        }
        SessionTest::TearDown();
    }

    void addUser(const char* id, const char* supervisor)
    {
        db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, User_Password, "
                                    "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?, ?)"),
                     {QLatin1String(id), QString(QLatin1String(id)).toUpper(), kPassword,
                      QLatin1String(supervisor), false});
    }

    /** The stored form of a user's password, read as the tables' owner. */
    QString storedPassword(const QString& id)
    {
        return db()
            .scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"), {id})
            .toString();
    }

    UserDraft newUser(const QString& id) const
    {
        UserDraft d;
        d.userId = id;
        d.userName = QStringLiteral("Name of ") + id;
        d.password = kPassword;
        return d;
    }

    /** Every row of a table as text, sorted, so that two dumps compare whatever the row order. */
    QStringList dump(const QString& table, const std::function<QString(int, QVariant)>& map = {})
    {
        const RecordSet rs = db().query(QStringLiteral("SELECT * FROM ") + table);
        QStringList out;
        for (const QVariantList& row : rs.rows()) {
            QStringList cells;
            for (int c = 0; c < row.size(); ++c)
                cells << (map ? map(c, row[c]) : row[c].toString()) + QLatin1Char('|') +
                             (row[c].isNull() ? QStringLiteral("null") : QString());
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
        return db().scalar(QStringLiteral("SELECT Disabled FROM LU_USER WHERE USER_ID = ?"),
                           {QLatin1String(id)})
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
        return !db().query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ?"), {role(id)})
                    .eof();
    }

    /** A member of the owner role, as administrators' logins are; no login creates roles. */
    bool roleIsAdministrator(const QString& id)
    {
        EXPECT_FALSE(db().scalar(QStringLiteral("SELECT rolcreaterole FROM pg_roles WHERE "
                                                "rolname = ?"),
                                 {role(id)})
                         .toBool());
        return db()
            .scalar(QStringLiteral("SELECT pg_has_role(?, ?, 'MEMBER')"),
                    {role(id), bx::test::kScriptDatabaseName + QStringLiteral("_owner")})
            .toBool();
    }
};

} // namespace

TEST_P(UserAdminTest, SaveRefusesInOrderAndWritesNothing)
{
    const QStringList before = dump(QStringLiteral("LU_USER"));
    UserDraft existing = *loadUserDraft(db(), QStringLiteral("erin"));
    const auto with = [](UserDraft d, const std::function<void(UserDraft&)>& change) {
        change(d);
        return d;
    };
    const auto zed = [&](const std::function<void(UserDraft&)>& change) {
        return with(newUser(QStringLiteral("zed")), change);
    };
    const struct
    {
        UserDraft draft;
        QString text;
        UserField field;
    } cases[] = {
        {newUser(QStringLiteral("  ")), kSpecifyUserId, UserField::UserId},
        {newUser(QStringLiteral("supervisor")), kSupervisorReserved, UserField::UserId},
        {newUser(QStringLiteral(" SuperVisor ")), kSupervisorReserved, UserField::UserId},
        {zed([](UserDraft& d) { d.userName = QStringLiteral(" "); }), kSpecifyUserName,
         UserField::UserName},
        {zed([](UserDraft& d) { d.password.reset(); }), kSpecifyPassword, UserField::Password},
        {zed([](UserDraft& d) { d.password = QStringLiteral("  abcde  "); }), kPasswordTooShort,
         UserField::Password},
        {newUser(QStringLiteral(" BOB ")), kUserIdExists, UserField::UserId},
        {with(existing, [](UserDraft& d) { d.userId = QStringLiteral("Carol"); }), kUserIdExists,
         UserField::UserId},
        {with(existing, [](UserDraft& d) { d.password = QStringLiteral("abcde"); }),
         kPasswordTooShort, UserField::Password},
    };
    for (const auto& c : cases) {
        const auto refusal = saveUser(session, c.draft);
        ASSERT_TRUE(refusal) << c.draft.userId.toStdString();
        EXPECT_EQ(refusal->message, c.text) << c.draft.userId.toStdString();
        EXPECT_EQ(refusal->field, c.field) << c.draft.userId.toStdString();
    }
    EXPECT_EQ(dump(QStringLiteral("LU_USER")), before);

    // An existing user saved without touching the password keeps the stored one.
    existing.userName = QStringLiteral("Erin E.");
    EXPECT_FALSE(saveUser(session, existing));
    EXPECT_EQ(storedPassword(QStringLiteral("erin")), kPassword);
}

TEST_P(UserAdminTest, OnlyAnAdministratorChangesUsers)
{
    db().execute(QStringLiteral("UPDATE LU_USER SET Disabled = ? WHERE USER_ID = 'dave'"),
                 {db().dialect().flag(true)});
    // bob's own session: every command of the user windows is refused before it asks anything.
    session.user.userId = QStringLiteral("bob");
    session.user.record = *loadUser(db(), QStringLiteral("bob"));
    const auto everything = [&] {
        return dump(QStringLiteral("LU_USER")) + dump(QStringLiteral("GROUPLINK")) +
               dump(QStringLiteral("LU_ACCESS_LEVEL"));
    };
    const QStringList before = everything();
    UserDraft fay = newUser(QStringLiteral("fay"));
    fay.workshops = {101};
    fay.folders = {QStringLiteral("Plans")};
    UserDraft carol = *loadUserDraft(db(), QStringLiteral("carol"));
    carol.supervisor = QStringLiteral("erin");
    carol.flags.insert(QStringLiteral("Ext12"), true);
    carol.folders = {QStringLiteral("Plans")};
    for (const UserDraft& d : {fay, carol}) {
        const auto refusal = saveUser(session, d);
        ASSERT_TRUE(refusal) << d.userId.toStdString();
        EXPECT_EQ(*refusal, (UserRefusal{UserRights::kNotAdministrator, UserField::None}));
    }
    const RefusalOf<> notAdministrator{UserRights::kNotAdministrator};
    EXPECT_EQ(deleteUser(session, prompt, QStringLiteral("erin")).refusal(), notAdministrator);
    EXPECT_EQ(disableUser(session, prompt, QStringLiteral("bob")).refusal(), notAdministrator);
    EXPECT_EQ(enableUser(session, QStringLiteral("dave")).refusal(), notAdministrator);
    EXPECT_EQ(deleteUser(session, prompt, QString()).refusal(), notAdministrator)
        << "the right comes before the selection";
    EXPECT_TRUE(prompt.records().isEmpty());
    EXPECT_EQ(everything(), before);

    // The right is enough, and "admin" needs none.
    session.user.record.administrator = true;
    EXPECT_FALSE(saveUser(session, fay));
    session.user.record = *loadUser(db(), QStringLiteral("admin"));
    session.user.record.administrator = false;
    EXPECT_TRUE(enableUser(session, QStringLiteral("dave")));
}

TEST_P(UserAdminTest, QuotedNonAsciiUserIsSavedRenamedAndDeleted)
{
    const QString id = QStringLiteral("O'Brien-Ægir");
    UserDraft d = newUser(id);
    d.userName = QStringLiteral("Pat \"Ægir\" O'Brien");
    d.supervisor = QStringLiteral("bob");
    d.rate = 12.5;
    d.flags.insert(QStringLiteral("Join_Team"), true);
    d.flags.insert(QStringLiteral("Ext5"), true);
    d.noticeDigest = 15;
    d.workshops = {102, 101, 102};
    d.folders = {QStringLiteral("plans 'ærø'"), kUnspecifiedFolder, QStringLiteral("Nowhere")};
    ASSERT_FALSE(saveUser(session, d));

    auto saved = loadUserDraft(db(), id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->userId, id);
    EXPECT_EQ(saved->userName, d.userName);
    EXPECT_EQ(saved->supervisor, QStringLiteral("bob"));
    EXPECT_DOUBLE_EQ(saved->rate.value_or(0), 12.5);
    EXPECT_TRUE(saved->flag(QStringLiteral("Join_Team")));
    EXPECT_TRUE(saved->flag(QStringLiteral("Ext5")));
    EXPECT_FALSE(saved->flag(QStringLiteral("Ext12")));
    EXPECT_EQ(saved->noticeDigest, 15);
    EXPECT_EQ(saved->folders, QStringList{QStringLiteral("Plans 'Ærø'")}) << "category spelling";
    std::sort(saved->workshops.begin(), saved->workshops.end());
    EXPECT_EQ(saved->workshops, (QList<qlonglong>{101, 102}));
    const QString hash = storedPassword(id);
    EXPECT_TRUE(StoredPassword::isHashed(hash));
    EXPECT_TRUE(StoredPassword::matches(hash, kPassword));
    EXPECT_EQ(saveUser(session, newUser(QStringLiteral("o'brien-ægir")))->message, kUserIdExists)
        << "same ID in another case, beyond ASCII too";

    // Renamed: the row, its memberships and folders follow; the password stays.
    saved->userId = QStringLiteral("Ó'Neill-Øy");
    saved->folders << QStringLiteral("Plans");
    ASSERT_FALSE(saveUser(session, *saved));
    EXPECT_FALSE(findUserId(db(), id));
    EXPECT_EQ(storedPassword(saved->userId), hash);
    EXPECT_EQ(column("SELECT GROUP_ID FROM GROUPLINK WHERE USER_ID = ?", {saved->userId}),
              (QStringList{QStringLiteral("101"), QStringLiteral("102")}));
    EXPECT_EQ(column("SELECT ACCESS_LEVEL FROM LU_ACCESS_LEVEL WHERE USER_ID = ?", {saved->userId}),
              (QStringList{QStringLiteral("Plans"), QStringLiteral("Plans 'Ærø'")}));

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
    const QString old = QStringLiteral("carol");
    const QHash<QString, QString> keys = {
        {QStringLiteral("SCR"), QStringLiteral("SCR_Counter")},
        {QStringLiteral("ROUTE"), QStringLiteral("Route_Number")},
        {QStringLiteral("ATTACH"), QStringLiteral("Attach_Number")},
        {QStringLiteral("MAIL"), QStringLiteral("Mail_Number")},
        {QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter")},
        {QStringLiteral("PAXCAL"), QStringLiteral("Cal_Entry")},
        {QStringLiteral("TIME_SHEET"), QStringLiteral("ID_Sheet")},
        {QStringLiteral("TIME_SHEET_ROUTE"), QStringLiteral("Id")},
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
            columns << QStringLiteral("SCR_Number") << QStringLiteral("SCR_Priority");
            values << number << QStringLiteral("2 - Normal");
            if (ref.column != QLatin1String("SCR_Request_ID")) {
                columns << QStringLiteral("SCR_Request_ID");
                values << QStringLiteral("bob");
            }
        }
        db().execute(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(ref.table, columns.join(QLatin1Char(',')),
                     QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(','))),
            values);
    }
    db().execute(QStringLiteral("UPDATE MAIL SET Sender = ?"), {old});
    db().execute(QStringLiteral("UPDATE LIFECYCLE_USER SET Owner_ID = ?"), {old});
    bx::test::grantFolder(db(), old, QStringLiteral("Plans"));

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
        before.insert(t, dumpAs(t, QStringLiteral("Carol-Ø")));

    UserDraft d = *loadUserDraft(db(), old);
    d.userId = QStringLiteral("Carol-Ø");
    ASSERT_FALSE(saveUser(session, d));

    for (const QString& t : tables)
        EXPECT_EQ(dumpAs(t, old), before.value(t)) << t.toStdString();
    EXPECT_EQ(column("SELECT USER_ID FROM LU_ACCESS_LEVEL"),
              QStringList{QStringLiteral("Carol-Ø")});
}

TEST_P(UserAdminTest, DisablingCascadesOnOkAndDropsMemberships)
{
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> declined = disableUser(session, prompt, QStringLiteral("bob"));
    EXPECT_FALSE(declined || declined.refusal());
    EXPECT_EQ(prompt.last().text, subUsersQuestion(QStringLiteral("bob")));
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_FALSE(disabled("bob"));
    EXPECT_EQ(column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID <> 'admin'").size(), 3);

    // A supervisor cycle below bob is followed once.
    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'carol' WHERE USER_ID = "
                                "'bob'"));
    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'bob' WHERE USER_ID = "
                                "'erin'"));
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(disableUser(session, prompt, QStringLiteral("bob")));
    for (const char* u : {"bob", "carol", "dave", "erin"})
        EXPECT_TRUE(disabled(u)) << u;
    EXPECT_TRUE(column("SELECT USER_ID FROM GROUPLINK WHERE USER_ID <> 'admin'").isEmpty());
    EXPECT_FALSE(disabled("admin"));

    // A user without sub-users is disabled without a question; enabling clears the flag only.
    EXPECT_TRUE(enableUser(session, QStringLiteral("dave")));
    EXPECT_FALSE(disabled("dave"));
    EXPECT_EQ(disableUser(session, prompt, QString()).refusal(), RefusalOf<>{kPleaseSelectUser});

    // Saving a user with "Disable user" ticked removes his memberships too.
    db().execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (102, 'dave')"));
    UserDraft d = *loadUserDraft(db(), QStringLiteral("dave"));
    d.flags.insert(QStringLiteral("Disabled"), true);
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
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, Owner_ID) "
                                "VALUES ('lc', 0, 'dave')"));
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, UserType, Owner_ID, "
                                "User_ID) VALUES ('lc', 1, 'erin', 'erin')"));
    session.user.userId = QStringLiteral("Erin ");

    const struct
    {
        const char* id;
        QString refusal;
    } refusals[] = {
        {"BOB", kRequestorOfTasks},    {"carol", kOwnerOfTasks},    {"dave", kOwnerOfStages},
        {"Admin", kCannotDeleteAdmin}, {"erin", kCannotDeleteSelf},
    };
    const QStringList users = dump(QStringLiteral("LU_USER"));
    for (const auto& r : refusals)
        EXPECT_EQ(deleteUser(session, prompt, QLatin1String(r.id)).refusal(),
                  RefusalOf<>{r.refusal})
            << r.id;
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before the question";
    EXPECT_EQ(dump(QStringLiteral("LU_USER")), users);

    session.user.userId = QStringLiteral("admin");
    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(deleteUser(session, prompt, QStringLiteral("erin")).refusal());
    EXPECT_EQ(prompt.last().text, QStringLiteral("Are you sure?"));
    EXPECT_EQ(prompt.last().title, QStringLiteral("Confirm"));
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(deleteUser(session, prompt, QStringLiteral("erin")));
    EXPECT_FALSE(findUserId(db(), QStringLiteral("erin")));
    EXPECT_EQ(column("SELECT Owner_ID FROM LIFECYCLE_USER"), QStringList{QStringLiteral("dave")});
}

TEST_P(UserAdminTest, DeletingAStageDesignerKeepsTheTasksOfOthersInHisStages)
{
    // dave designed a lifecycle whose stages a workshop and the requester own: no refusal applies.
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID) VALUES (?, ?)"),
                 {QStringLiteral("Review"), QStringLiteral("dave")});
    db().execute(
        QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                       "UserType, Owner_ID, group_ID) VALUES (?, ?, ?, ?, ?)"),
        {QStringLiteral("Review"), QStringLiteral("Check"), 1, QStringLiteral("dave"), 101});
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                "UserType, Owner_ID) VALUES (?, ?, ?, ?)"),
                 {QStringLiteral("Review"), QStringLiteral("Back"), 2, QStringLiteral("dave")});
    // erin's task sits in the first stage.
    bx::test::addTaskRow(db(), {{scr::Number, 7},
                                {scr::Title, QStringLiteral("Erin's plan")},
                                {scr::RequestId, QStringLiteral("erin")},
                                {scr::OwnerUserId, QStringLiteral("erin")},
                                {scr::OwnerType, 0},
                                {scr::LifecycleId, QStringLiteral("Review")},
                                {scr::LcStageName, QStringLiteral("Check")},
                                {scr::LcOwnerId, QStringLiteral("dave")}});

    prompt.answer(PromptAnswer::Ok);
    ASSERT_TRUE(deleteUser(session, prompt, QStringLiteral("dave")));
    EXPECT_FALSE(findUserId(db(), QStringLiteral("dave")));
    EXPECT_EQ(column("SELECT SCR_Title FROM SCR WHERE SCR_LC_Owner_ID = 'admin' AND "
                     "SCR_LC_Stage_Name = 'Check'"),
              QStringList{QStringLiteral("Erin's plan")});
}

TEST_P(UserAdminTest, AdminKeepsRightsAndTheTreeHoldsEveryUserOnce)
{
    db().execute(QStringLiteral("UPDATE LU_USER SET Ext12 = 0, Ext13 = 0"));
    UserRecord admin = *loadUser(db(), QStringLiteral(" ADMIN "));
    EXPECT_TRUE(UserRights::isAdministrator(admin));
    EXPECT_TRUE(UserRights::hasGlobalReports(admin));
    admin.administrator = admin.globalReports = false;
    EXPECT_TRUE(UserRights::isAdministrator(admin)) << "whatever the record says";
    EXPECT_TRUE(UserRights::hasGlobalReports(admin));
    const UserRecord bob = *loadUser(db(), QStringLiteral("bob"));
    EXPECT_FALSE(UserRights::isAdministrator(bob));
    EXPECT_FALSE(UserRights::mayJoinWorkshops(bob));

    // carol disabled: dave has no visible supervisor and moves to the top of the pickers' tree;
    // bob and erin supervise each other, and both still appear.
    db().execute(QStringLiteral("UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'carol'"));
    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'erin' WHERE USER_ID = "
                                "'bob'"));
    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'BOB' WHERE USER_ID = "
                                "'erin'"));
    QStringList flat;
    const auto walk = [&](auto&& self, const QList<UserNode>& nodes, int depth) -> void {
        for (const UserNode& n : nodes) {
            flat << QString(depth, QLatin1Char('.')) + n.user.userId;
            self(self, n.children, depth + 1);
        }
    };
    walk(walk, userTree(db(), false), 0);
    EXPECT_EQ(flat, (QStringList{QStringLiteral("admin"), QStringLiteral("bob"),
                                 QStringLiteral(".erin"), QStringLiteral("dave")}));
    flat.clear();
    walk(walk, userTree(db(), true), 0);
    EXPECT_EQ(flat.size(), 5);
    EXPECT_TRUE(subUsers(db(), QStringLiteral("carol")).size() == 1);
    EXPECT_TRUE(subUsers(db(), QStringLiteral("BOB ")).size() == 1);
}

TEST_P(UserAdminTest, FolderListMarksWhatTheEditorCannotSee)
{
    bx::test::addSubfolder(db(), QStringLiteral("Deep"), QStringLiteral("Plans 'Ærø'"));
    bx::test::grantFolder(db(), QStringLiteral("bob"), QStringLiteral("Plans"));
    QStringList texts;
    QList<int> levels;
    for (const FolderEntry& e : folderEntries(db(), *loadUser(db(), QStringLiteral("bob")))) {
        texts << e.text();
        levels << folderLevel(e.text());
    }
    EXPECT_EQ(texts,
              (QStringList{kUnspecifiedFolder, QStringLiteral("Plans"),
                           QStringLiteral("    Plans 'Ærø' *"), QStringLiteral("        Deep *")}));
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
    UserDraft d = newUser(QStringLiteral("Ö'Hara"));
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_TRUE(roleAccepts(d.userId, kPassword));
    EXPECT_FALSE(roleIsAdministrator(d.userId));

    // Administrator flag and a new password; then a rename keeps the password.
    d = *loadUserDraft(db(), d.userId);
    d.flags.insert(QStringLiteral("Ext12"), true);
    d.password = QStringLiteral("Another2");
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_TRUE(roleIsAdministrator(d.userId));
    EXPECT_TRUE(roleAccepts(d.userId, QStringLiteral("another2")));
    d = *loadUserDraft(db(), d.userId);
    d.userId = QStringLiteral("Hara");
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_FALSE(roleExists(QStringLiteral("Ö'Hara"))) << "renamed, not copied";
    EXPECT_TRUE(roleAccepts(QStringLiteral("Hara"), QStringLiteral("Another2")));

    // A disabled user's login may not log on; enabled again, it may.
    ASSERT_TRUE(disableUser(session, prompt, QStringLiteral("hara")));
    EXPECT_FALSE(roleAccepts(QStringLiteral("Hara"), QStringLiteral("Another2")));
    ASSERT_TRUE(enableUser(session, QStringLiteral("hara")));
    EXPECT_TRUE(roleAccepts(QStringLiteral("Hara"), QStringLiteral("Another2")));
    d = *loadUserDraft(db(), QStringLiteral("Hara"));
    d.flags.insert(QStringLiteral("Disabled"), true);
    d.password.reset();
    ASSERT_FALSE(saveUser(session, d));
    EXPECT_FALSE(roleAccepts(QStringLiteral("Hara"), QStringLiteral("Another2")));

    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(deleteUser(session, prompt, QStringLiteral("hara")));
    EXPECT_FALSE(roleExists(QStringLiteral("Hara")));
}

BX_INSTANTIATE_ENGINES(UserAdminTest);
