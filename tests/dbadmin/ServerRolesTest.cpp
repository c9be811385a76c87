#include "core/Session.h"
#include "core/StoredPassword.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/LoginRoles.h"
#include "core/db/PgDatabase.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/Upgrader.h"
#include "mainwindow/Presence.h"
#include "messaging/Mailbox.h"
#include "people/LoginService.h"
#include "people/PasswordChange.h"
#include "people/UserAdmin.h"
#include "people/UserEditor.h"
#include "people/UserStore.h"
#include "reports/Analyses.h"
#include "support/AttachContent.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerLogins.h"
#include "support/TaskRows.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Attachments.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

/**
 * A server database of the current build with three users, each with a login of his own: "ann"
 * an administrator, "bob" and "carol" ordinary users; and a shared login that is nobody's own.
 * Every check connects as one of the logins, as a plain SQL client would.
 */
class ServerRolesTest : public bx::test::ServerLoginsTest
{
protected:
    /** The empty database alone: each test makes the current build or upgrades an older one. */
    void prepare() override
    {
        if (!isServer())
            GTEST_SKIP() << "roles belong to the server engine";
        QDir(tempDir()).mkdir(u"program"_s);
    }

    QString program() const { return tempDir() + u"/program"_s; }

    void addUserRows()
    {
        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carol"_s, u"lena"_s});
        db().execute(u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'ann'"_s);
        // Lena designs lifecycles.
        db().execute(u"UPDATE LU_USER SET Allow_Create_Lifecycle = 1 WHERE USER_ID = 'lena'"_s);
    }

    /** The current build, its logins made the way the user windows make them. */
    void makeCurrent()
    {
        bx::test::loadCurrentSchema(db(), program());
        addUserRows();
        LoginRoles& roles = *db().loginRoles();
        for (const char* id : {"ann", "bob", "carol", "lena"}) {
            roles.ensureLogin(role(QLatin1String(id)), QLatin1String(id) == "ann"_L1);
            roles.setRolePassword(role(QLatin1String(id)), password());
        }
        roles.setRights(role(u"lena"_s), {u"lifecycles"_s});
        static_cast<PgDatabase&>(db()).ensureSharedLogin(role(u"shared"_s), usersRole());
        roles.setRolePassword(role(u"shared"_s), password());
    }

    /**
     * A database as the previous build left it: the users role owning every table with every
     * right, CREATE on the schema, the administrator's login holding CREATEROLE and large objects
     * readable through lo_compat_privileges; then the upgrade.
     */
    void makeOldThenUpgrade()
    {
        UpgradeLog log(QDir(program()).filePath(u"UpgradeLog.txt"_s));
        bx::test::loadBaseSchema(db());
        bx::test::applySteps(db(), log, {program(), &m_clock}, 0, 77);
        addUserRows();
        const QString users = usersRole();
        db().executeScript(u"DO $$ DECLARE t record; BEGIN FOR t IN SELECT tablename FROM "
                           "pg_tables WHERE schemaname = current_schema() LOOP EXECUTE "
                           "format('ALTER TABLE %I OWNER TO %I', t.tablename, '%1'); END LOOP; "
                           "END $$"_s.arg(users));
        db().executeScript(
            u"GRANT ALL ON ALL TABLES IN SCHEMA %1 TO %2; GRANT USAGE, CREATE ON "
            "SCHEMA %1 TO %2; ALTER DATABASE %3 SET lo_compat_privileges TO on"_s.arg(
                db().scalar(u"SELECT current_schema()"_s).toString(), users,
                bx::test::processDatabase()));
        for (const char* id : {"ann", "bob", "carol", "lena", "shared"}) {
            const QString r = role(QLatin1String(id));
            db().executeScript(u"CREATE ROLE %1 LOGIN%2; GRANT %3 TO %1"_s.arg(
                r, QLatin1String(id) == "ann"_L1 ? u" CREATEROLE"_s : QString(), users));
            static_cast<PgDatabase&>(db()).setRolePassword(r, password());
        }
        // Carol's attachment from before, streamed under the old setting.
        attachFor(u"carol"_s, 501, "before the upgrade");
        bx::test::applySteps(db(), log, {program(), &m_clock}, 78);
        // Sessions opened before keep the old setting; the checks use new ones.
        closeConnections();
    }

    static QString usersRole() { return bx::test::kScriptDatabaseName + u"_users"_s; }

    bool canConnect(const QString& id)
    {
        try {
            connect(id);
            return true;
        } catch (const DbError&) {
            return false;
        }
    }

    void write(const QString& id, int number, const QByteArray& bytes)
    {
        bx::test::setAttachContent(as(id), number, bytes);
    }

    void attachFor(const QString& id, int number, const char* text)
    {
        as(id).execute(u"INSERT INTO ATTACH (Attach_Number, Attach_Owner) VALUES (?, ?)"_s,
                       {number, id});
        write(id, number, text);
    }

    QByteArray read(const QString& id, int number)
    {
        return bx::test::attachContent(as(id), number);
    }

    /** A session of the program signed in as `id` through his own login. */
    std::unique_ptr<Session> sessionOf(const QString& id)
    {
        auto session = std::make_unique<Session>(m_settings, m_clock);
        session->setDatabase(connect(id));
        session->connection.serverFlag = true;
        session->connection.sqlDatabaseName = bx::test::processDatabase();
        session->user.userId = id;
        return session;
    }

    QTemporaryDir m_home;
    SettingsStore m_settings{m_home.filePath(u"MRBX.conf"_s)};
    const bx::test::FixedClock m_clock;

    /** Statements an ordinary user's login must be refused, each on its own. */
    void expectRefused(const QString& id, const QStringList& statements)
    {
        for (const QString& sql : statements)
            EXPECT_THROW(as(id).executeScript(sql), DbError)
                << id.toStdString() << ": " << sql.toStdString();
    }

    /** What an ordinary user's login may and may not do; the same on a new and an old database. */
    void expectOrdinaryRights()
    {
        const QString bob = u"bob"_s;
        expectRefused(bob,
                      {u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'bob'"_s,
                       u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'"_s,
                       u"UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'carol'"_s,
                       u"UPDATE LU_USER SET Supervisor_User_ID = 'bob' WHERE USER_ID = 'bob'"_s,
                       u"UPDATE LU_USER SET User_Password = 'x' WHERE USER_ID = 'carol'"_s,
                       u"INSERT INTO LU_USER (USER_ID, Ext12) VALUES ('mallory', 1)"_s,
                       u"DELETE FROM LU_USER WHERE USER_ID = 'carol'"_s, u"DROP TABLE SCR"_s,
                       u"ALTER TABLE SCR ADD COLUMN x int"_s,
                       u"ALTER TABLE LU_USER DISABLE TRIGGER USER"_s, u"TRUNCATE MAIL"_s,
                       u"CREATE TABLE planted (i int)"_s,
                       u"CREATE FUNCTION planted() RETURNS int LANGUAGE sql AS 'SELECT 1'"_s,
                       u"CREATE TRIGGER planted AFTER INSERT ON SCR FOR EACH ROW EXECUTE "
                       "FUNCTION bx_attach_unlink()"_s,
                       u"ALTER ROLE "_s + role(bob) + u" CREATEROLE"_s,
                       u"SET ROLE "_s + bx::test::kScriptDatabaseName + u"_owner"_s,
                       u"SELECT bx_login_ensure('"_s + role(bob) + u"', true)"_s});

        // His own password he may change; the shared login, which is nobody's own, may change
        // anybody's, but no rights.
        as(bob).execute(u"UPDATE LU_USER SET User_Password = 'new' WHERE USER_ID = 'bob'"_s);
        EXPECT_EQ(
            db().scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = 'bob'"_s).toString(),
            u"new"_s);
        as(u"shared"_s)
            .execute(u"UPDATE LU_USER SET User_Password = 's' WHERE USER_ID = 'carol'"_s);
        expectRefused(u"shared"_s, {u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'"_s});

        // Rows of the everyday work: tasks, mail, presence.
        const qlonglong task = bx::test::addTaskRow(as(bob), {{u"SCR_Title"_s, u"From bob"_s}});
        as(u"carol"_s)
            .execute(u"UPDATE SCR SET SCR_Title = 'Edited' WHERE SCR_Number = ?"_s, {task});
        as(bob).insertNumbered(u"MAIL"_s, u"Mail_Number"_s, {u"Title"_s, u"Owner_User_ID"_s},
                               {u"Hello"_s, bob});
        Presence::writeHeartbeat(as(bob), bob, QDateTime::currentDateTimeUtc());
        Presence::writeHeartbeat(as(bob), bob, QDateTime::currentDateTimeUtc());
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM LOGIN"_s).toInt(), 1);

        // Another user's attachment: read, replaced (the old value freed) and deleted.
        attachFor(u"carol"_s, 502, "carol's");
        EXPECT_EQ(read(bob, 502), QByteArray("carol's"));
        const qlonglong old =
            db().scalar(u"SELECT OLE_Data FROM ATTACH WHERE Attach_Number = 502"_s).toLongLong();
        write(bob, 502, "bob's");
        EXPECT_EQ(read(u"carol"_s, 502), QByteArray("bob's"));
        EXPECT_EQ(
            db().scalar(u"SELECT count(*) FROM pg_largeobject_metadata WHERE oid = ?"_s, {old})
                .toInt(),
            0);
        as(bob).execute(u"DELETE FROM ATTACH WHERE Attach_Number = 502"_s);
    }
};

} // namespace

TEST_P(ServerRolesTest, AnOrdinaryUsersLoginWorksWithRowsAndNothingElse)
{
    makeCurrent();
    expectOrdinaryRights();
    // Objects made by later steps belong to the owner role too, not to the login that ran them
    // (extensions' functions are the extension's).
    const QString owner = bx::test::kScriptDatabaseName + u"_owner"_s;
    const QString logins = bx::test::kScriptDatabaseName + u"_roles"_s;
    EXPECT_EQ(db().scalar(u"SELECT string_agg(p.proname, ',') FROM pg_proc p JOIN "
                          "pg_namespace n ON n.oid = p.pronamespace WHERE "
                          "n.nspname = current_schema() AND "
                          "pg_get_userbyid(p.proowner) NOT IN (?, ?) AND NOT "
                          "EXISTS (SELECT 1 FROM pg_depend d WHERE d.objid = "
                          "p.oid AND d.deptype = 'e')"_s,
                          {owner, logins})
                  .toString(),
              QString());
    EXPECT_EQ(db().scalar(u"SELECT string_agg(tablename, ',') FROM pg_tables WHERE "
                          "schemaname = current_schema() AND tableowner <> ?"_s,
                          {owner})
                  .toString(),
              QString());
}

// A file one user attached is opened, saved back and deleted by another user's login through the
// attachment logic; the deletion frees the stored value.
TEST_P(ServerRolesTest, AnotherUsersLoginWorksWithAnAttachedFile)
{
    makeCurrent();
    const QString carol = u"carol"_s;
    const qlonglong task = bx::test::addTaskRow(as(carol), {});
    QByteArray bytes(70'000, 'c');
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    PendingAttachment pending;
    pending.type = AttachmentType::File;
    pending.title = u"Carol's plan"_s;
    pending.owner = carol;
    pending.sourcePath = u"/home/carol/plan.txt"_s;
    const Outcome<qlonglong> added =
        attachments::add(as(carol), {task, {}, 0}, pending, &source, bytes.size());
    ASSERT_TRUE(added);

    PgDatabase& bob = as(u"bob"_s);
    Outcome<attachments::ViewerCopy> copy = attachments::exportForViewer(bob, *added);
    ASSERT_TRUE(copy);
    QFile file(copy->path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(file.readAll() == bytes);
    file.write("bob's addition");
    file.close();
    attachments::ViewerCopy edited = *copy;
    ASSERT_TRUE(attachments::saveBack(bob, edited, {}));
    EXPECT_TRUE(read(carol, int(*added)) == bytes + "bob's addition");

    const QVariant object =
        db().scalar(u"SELECT OLE_Data FROM ATTACH WHERE Attach_Number = ?"_s, {*added});
    bx::test::ScriptedPrompt prompt;
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(attachments::deleteAttachment(bob, prompt, task, *added, true));
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM pg_largeobject_metadata WHERE oid = ?"_s, {object})
                  .toInt(),
              0);
    attachments::removeViewerCopies();
}

TEST_P(ServerRolesTest, AnAdministratorsLoginDoesTheUserWindowsWorkWithoutCreateRole)
{
    makeCurrent();
    bx::test::ScriptedPrompt prompt;
    UserDraft dave;
    dave.userId = u"dave"_s;
    dave.userName = u"Dave"_s;
    dave.password = u"secret9"_s;

    // What an ordinary user's login may not do to users, whatever the program lets him try, is
    // expectOrdinaryRights's.
    const auto ann = sessionOf(u"ann"_s);
    ann->user.record = *loadUser(ann->db(), u"ann"_s);
    ASSERT_FALSE(saveUser(*ann, dave));
    EXPECT_TRUE(canConnect(u"dave"_s));
    // A rename takes his queued e-mail along, the guard of the outbox notwithstanding.
    as(u"dave"_s).execute(
        u"INSERT INTO MAIL_OUTBOX (Outbox_Number, Recipient, Queued_By, Personal, "
        "State) VALUES (800, 'x@example.org', 'dave', 1, 'P')"_s);
    UserDraft renamed = *loadUserDraft(ann->db(), u"dave"_s);
    renamed.userId = u"dan"_s;
    renamed.flags.insert(u"Ext12"_s, true);
    ASSERT_FALSE(saveUser(*ann, renamed));
    EXPECT_EQ(
        db().scalar(u"SELECT Queued_By FROM MAIL_OUTBOX WHERE Outbox_Number = 800"_s).toString(),
        u"dan"_s);
    EXPECT_TRUE(canConnect(u"dan"_s));
    EXPECT_FALSE(canConnect(u"dave"_s));
    ASSERT_TRUE(disableUser(*ann, prompt, u"dan"_s));
    EXPECT_FALSE(canConnect(u"dan"_s));
    ASSERT_TRUE(enableUser(*ann, u"dan"_s));
    EXPECT_TRUE(canConnect(u"dan"_s));
    prompt.answer(PromptAnswer::Ok);
    ASSERT_TRUE(deleteUser(*ann, prompt, u"dan"_s));
    EXPECT_FALSE(db().loginRoles()->roleExists(role(u"dan"_s)));

    // Only this database's users' logins, and no way to the server's own powers.
    LoginRoles& roles = *as(u"ann"_s).loginRoles();
    EXPECT_THROW(roles.setRolePassword(serverParams().user, u"x"_s), DbError);
    EXPECT_THROW(roles.ensureLogin(u"other_db_admin"_s, true), DbError);
    expectRefused(u"ann"_s, {u"ALTER ROLE "_s + role(u"ann"_s) + u" CREATEROLE"_s,
                             u"GRANT pg_execute_server_program TO "_s + role(u"ann"_s),
                             u"SET ROLE "_s + bx::test::kScriptDatabaseName + u"_roles"_s,
                             u"CREATE ROLE "_s + role(u"eve"_s)});
}

TEST_P(ServerRolesTest, AnOldDatabaseAnswersTheSameAfterTheUpgrade)
{
    makeOldThenUpgrade();
    EXPECT_EQ(read(u"bob"_s, 501), QByteArray("before the upgrade"));
    expectOrdinaryRights();
    EXPECT_FALSE(
        db().scalar(u"SELECT rolcreaterole FROM pg_roles WHERE rolname = ?"_s, {role(u"ann"_s)})
            .toBool());
    PgDatabase& ann = as(u"ann"_s);
    ann.execute(u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'"_s);
    Transaction tx(ann);
    ann.loginRoles()->setLoginAllowed(role(u"carol"_s), false);
    tx.commit();
    EXPECT_FALSE(canConnect(u"carol"_s));
    EXPECT_TRUE(
        db().scalar(u"SELECT count(*) = 0 FROM pg_db_role_setting s JOIN "
                    "pg_database d ON d.oid = s.setdatabase WHERE d.datname = "
                    "current_database() AND array_to_string(s.setconfig, ',') LIKE '%lo_compat%'"_s)
            .toBool());
}

// What a login may not write it may not write by any path: the statement fails, or the rows
// stay as they were (the server hides rows a policy keeps from a change).
TEST_P(ServerRolesTest, ConfigurationIsWrittenOnlyByTheRightsWriters)
{
    makeCurrent();
    db().execute(u"INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES ('r', 'good')"_s);
    db().execute(u"INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                 "Action_Name, SCR_Number) VALUES ('LC', 'S1', 'Check', 0)"_s);
    const struct
    {
        const char* sql;
        bool lena; ///< what the lifecycle designer may do; nobody else may
    } cases[] = {
        {"UPDATE LU_RULES SET SCRIPT = 'evil' WHERE RULE_NAME = 'r'", false},
        {"INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES ('r2', 'evil')", false},
        {"UPDATE SYSTEM SET Query_Wait = 99", false},
        {"INSERT INTO LU_PRIORITY (Priority) VALUES ('evil')", false},
        {"UPDATE Vars SET VarValue = '1' WHERE VarName = 'BuildNum'", false},
        {"INSERT INTO Vars (VarName, VarValue) VALUES ('NotCreateNewLogin', 'YES')", false},
        {"INSERT INTO LIFECYCLE (Lifecycle_ID, Owner_ID) VALUES ('LC2', 'x')", true},
        {"UPDATE LIFECYCLE_ACTION SET Action_Name = 'Skip' WHERE SCR_Number = 0", true},
    };
    const auto snapshot = [&] {
        return db()
            .scalar(
                u"SELECT (SELECT string_agg(RULE_NAME || '=' || SCRIPT, ',') FROM LU_RULES) || "
                "COALESCE((SELECT string_agg(Query_Wait::text, ',') FROM SYSTEM), '') || "
                "(SELECT count(*) FROM LU_PRIORITY) || (SELECT string_agg(VarName || '=' || "
                "COALESCE(VarValue, ''), ',' ORDER BY VarName) FROM Vars) || (SELECT count(*) "
                "FROM LIFECYCLE) || (SELECT string_agg(Action_Name, ',') FROM LIFECYCLE_ACTION)"_s)
            .toString();
    };
    for (const auto& c : cases) {
        for (const char* id : {"bob", "lena"}) {
            const QString before = snapshot();
            // A refusal shows in the rows the statement leaves.
            tryRun(QLatin1String(id), QString::fromLatin1(c.sql));
            const bool changed = snapshot() != before;
            EXPECT_EQ(changed, c.lena && QLatin1String(id) == "lena"_L1) << id << ": " << c.sql;
        }
    }
    // A task's own copy of the action items belongs to everybody's work.
    as(u"bob"_s).execute(u"INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                         "Action_Name, SCR_Number) VALUES ('LC', 'S1', 'Check', 7)"_s);
    as(u"bob"_s).execute(u"DELETE FROM LIFECYCLE_ACTION WHERE SCR_Number = 7"_s);
}

// Stored analyses are shared configuration: every login reads them, only an analyst's writes.
TEST_P(ServerRolesTest, AnalysesAreWrittenOnlyByAnalysts)
{
    makeCurrent();
    db().loginRoles()->setRights(role(u"carol"_s), {u"analysts"_s});
    Analysis a;
    a.title = u"Mine"_s;
    a.query = u"SELECT SCR_Status AS Status, 1 AS Tasks FROM SCR"_s;
    a.items = {AnalysisItem::dimension(u"Status"_s, u"Status"_s),
               AnalysisItem::fact(u"Tasks"_s, u"Tasks"_s, olap::Aggregate::Sum)};
    EXPECT_THROW(writeAnalysis(as(u"bob"_s), a, false), DbError);
    const qlonglong id = writeAnalysis(as(u"carol"_s), a, true);
    const std::optional<Analysis> read = loadAnalysis(as(u"bob"_s), id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->items, a.items);
    EXPECT_THROW(deleteAnalysis(as(u"bob"_s), id), DbError);
    EXPECT_TRUE(loadAnalysis(db(), id));
    deleteAnalysis(as(u"carol"_s), id);
    EXPECT_FALSE(loadAnalysis(db(), id));
}

// Stored reports (ATTACH rows of type "R") are the report designers'; those of no workshop, which
// every workshop shares, the designers' of shared reports. Any other attachment is everybody's.
TEST_P(ServerRolesTest, StoredReportsAreWrittenOnlyByReportDesigners)
{
    makeCurrent();
    bx::test::addWorkshop(db(), 7);
    LoginRoles& roles = *db().loginRoles();
    roles.setRights(role(u"carol"_s), {u"reporters"_s});
    roles.setRights(role(u"lena"_s), {u"reporters"_s, u"globalreports"_s});
    // 901 a shared report, 902 workshop 7's, 903 a memo of workshop 7.
    const auto reset = [&] {
        db().execute(u"DELETE FROM ATTACH WHERE Attach_Number >= 900"_s);
        db().executeScript(u"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Group_ID, "
                           "Attach_Title) VALUES (901, 0, 'R', NULL, 's'), (902, 0, 'R', 7, 'w'), "
                           "(903, 0, 'M', 7, 'm')"_s);
    };
    const auto snapshot = [&] {
        return db()
            .scalar(u"SELECT string_agg(Attach_Number || ':' || Attach_Type || ':' "
                    "|| COALESCE(Group_ID::text, '-') || ':' || Attach_Title, ',' "
                    "ORDER BY Attach_Number) FROM ATTACH WHERE Attach_Number >= 900"_s)
            .toString();
    };
    const struct
    {
        const char* sql;
        bool carol; ///< what a report designer may do
        bool lena;  ///< what a designer of shared reports may do
    } cases[] = {
        {"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Group_ID, Attach_Title) "
         "VALUES (904, 0, 'R', 7, 'n')",
         true, true},
        {"UPDATE ATTACH SET Attach_Title = 'x' WHERE Attach_Number = 902", true, true},
        {"DELETE FROM ATTACH WHERE Attach_Number = 902", true, true},
        {"INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Group_ID, Attach_Title) "
         "VALUES (904, 0, 'R', NULL, 'n')",
         false, true},
        {"UPDATE ATTACH SET Attach_Title = 'x' WHERE Attach_Number = 901", false, true},
        {"UPDATE ATTACH SET Group_ID = NULL WHERE Attach_Number = 902", false, true},
        {"DELETE FROM ATTACH WHERE Attach_Number = 901", false, true},
        // A memo made into a report is a new report.
        {"UPDATE ATTACH SET Attach_Type = 'R' WHERE Attach_Number = 903", true, true},
    };
    for (const auto& c : cases) {
        for (const char* id : {"bob", "carol", "lena"}) {
            reset();
            const QString before = snapshot();
            // A refusal shows in the rows the statement leaves.
            tryRun(QLatin1String(id), QString::fromLatin1(c.sql));
            const QLatin1String who(id);
            const bool allowed = who == "lena"_L1 ? c.lena : who == "carol"_L1 ? c.carol : false;
            EXPECT_EQ(snapshot() != before, allowed) << id << ": " << c.sql;
        }
    }
    // Every login reads the reports and writes the other attachments.
    reset();
    EXPECT_EQ(as(u"bob"_s)
                  .scalar(u"SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R' AND "
                          "Attach_Number >= 900"_s)
                  .toInt(),
              2);
    as(u"bob"_s).execute(u"UPDATE ATTACH SET Attach_Title = 'y' WHERE Attach_Number = 903"_s);
    EXPECT_EQ(
        db().scalar(u"SELECT Attach_Title FROM ATTACH WHERE Attach_Number = 903"_s).toString(),
        u"y"_s);
}

TEST_P(ServerRolesTest, NoLoginChangesAnotherUsersPasswordByWayOfARoleOrUnknownToTheProgram)
{
    makeCurrent();
    const QString users = usersRole();
    db().execute(u"UPDATE LU_USER SET User_Password = 'kept' WHERE USER_ID = 'ann'"_s);
    expectRefused(u"bob"_s, {u"SET ROLE %1; UPDATE LU_USER SET User_Password = 'x' WHERE "
                             "USER_ID = 'ann'"_s.arg(users)});
    // A login made by hand and given the users role is nobody's: it changes no password and
    // sees and sends no mail.
    const QString mallory = role(u"mallory"_s);
    db().executeScript(u"CREATE ROLE %1 LOGIN; GRANT %2 TO %1"_s.arg(mallory, users));
    static_cast<PgDatabase&>(db()).setRolePassword(mallory, password());
    as(u"bob"_s).insertNumbered(u"MAIL"_s, u"Mail_Number"_s, {u"Title"_s, u"Owner_User_ID"_s},
                                {u"Hello"_s, u"bob"_s});
    expectRefused(u"mallory"_s,
                  {u"UPDATE LU_USER SET User_Password = 'x' WHERE USER_ID = 'ann'"_s,
                   u"INSERT INTO MAIL (Mail_Number, Owner_User_ID) VALUES (9, 'ann')"_s});
    EXPECT_EQ(as(u"mallory"_s).scalar(u"SELECT count(*) FROM MAIL"_s).toInt(), 0);
    EXPECT_EQ(db().scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = 'ann'"_s).toString(),
              u"kept"_s);
}

TEST_P(ServerRolesTest, MailAndTheOutboxBelongToTheirUsers)
{
    makeCurrent();
    bx::test::ScriptedPrompt prompt;
    Mailbox bobsBox(as(u"bob"_s), {u"bob"_s, {}, {}}, 0, m_clock);
    ASSERT_TRUE(bobsBox.send({u"carol"_s}, u"Lunch?"_s, prompt));
    Mailbox carolsBox(as(u"carol"_s), {u"carol"_s, {}, {}}, 0, m_clock);
    ASSERT_EQ(carolsBox.list(MailBox::Inbox).rows.size(), 1);
    const MailList sent = bobsBox.list(MailBox::Sent);
    ASSERT_EQ(sent.rows.size(), 1);
    EXPECT_EQ(sent.rows.first().party, u"carol"_s);
    EXPECT_TRUE(carolsBox.list(MailBox::Sent).rows.isEmpty());

    // A message for someone else names its real sender; each user reads and deletes his own.
    as(u"bob"_s).insertNumbered(u"MAIL"_s, u"Mail_Number"_s,
                                {u"Title"_s, u"Owner_User_ID"_s, u"Sender"_s},
                                {u"From ann, honest"_s, u"carol"_s, u"ann"_s});
    EXPECT_EQ(db().scalar(u"SELECT Sender FROM MAIL WHERE Title = 'From ann, honest'"_s).toString(),
              u"bob"_s);
    EXPECT_EQ(as(u"carol"_s).scalar(u"SELECT count(*) FROM MAIL"_s).toInt(), 2);
    as(u"carol"_s).execute(u"DELETE FROM MAIL"_s);
    as(u"carol"_s).execute(u"UPDATE MAIL SET Title = 'x'"_s);
    EXPECT_EQ(db().scalar(u"SELECT string_agg(Owner_User_ID || ':' || Title, ',') FROM MAIL"_s)
                  .toString(),
              u"bob:Lunch?"_s);

    // The outbox: a row is queued by the login's own user whatever the client wrote; a personal
    // row is seen by its user's client only; a shared one is delivered by any, but not changed.
    for (const char* personal : {"1", "0"})
        as(u"bob"_s).execute(
            u"INSERT INTO MAIL_OUTBOX (Outbox_Number, Recipient, Subject, Body, "
            "Queued_By, Personal, State) VALUES (?, 'x@example.org', 's', 'b', 'carol', ?, 'P')"_s,
            {QString::fromLatin1(personal).toInt() + 900, QString::fromLatin1(personal).toInt()});
    EXPECT_EQ(
        db().scalar(u"SELECT string_agg(DISTINCT Queued_By, ',') FROM MAIL_OUTBOX"_s).toString(),
        u"bob"_s);
    PgDatabase& carol = as(u"carol"_s);
    EXPECT_EQ(
        carol.scalar(u"SELECT string_agg(Outbox_Number::text, ',') FROM MAIL_OUTBOX"_s).toString(),
        u"900"_s);
    EXPECT_THROW(carol.execute(u"UPDATE MAIL_OUTBOX SET Body = 'forged'"_s), DbError);
    EXPECT_EQ(carol.execute(u"UPDATE MAIL_OUTBOX SET Claim_Token = 'c'"_s), 1);
    EXPECT_EQ(carol.execute(u"DELETE FROM MAIL_OUTBOX"_s), 0);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM MAIL_OUTBOX WHERE Body = 'b'"_s).toInt(), 2);
}

// Another database whose name begins with this one's: its owner role and its logins share the
// prefix of this database's logins. Neither a role made by hand: the functions made it not.
TEST_P(ServerRolesTest, TheLoginFunctionsTouchOnlyTheLoginsTheyMade)
{
    makeCurrent();
    const QString otherOwner = role(u"test_owner"_s);
    const QString otherAdmin = role(u"test_admin"_s);
    const QString byHand = role(u"mallory"_s);
    db().executeScript(u"CREATE ROLE %1 NOLOGIN; CREATE ROLE %2 LOGIN; GRANT %1 TO "
                       "%2; CREATE ROLE %3 LOGIN"_s.arg(otherOwner, otherAdmin, byHand));
    LoginRoles& roles = *as(u"ann"_s).loginRoles();
    const std::function<void()> attempts[] = {
        [&] { roles.ensureLogin(otherOwner, false); },
        [&] { roles.ensureLogin(byHand, true); },
        [&] { roles.setRolePassword(otherAdmin, u"x"_s); },
        [&] { roles.setLoginAllowed(otherAdmin, false); },
        [&] { roles.renameRole(otherAdmin, role(u"gone"_s)); },
        [&] { roles.setRights(otherAdmin, {u"lifecycles"_s}); },
        [&] { roles.dropRole(otherOwner); },
    };
    for (const auto& attempt : attempts) {
        Transaction tx(as(u"ann"_s));
        EXPECT_THROW(attempt(), DbError);
    }
    EXPECT_EQ(
        db().scalar(u"SELECT string_agg(r.rolname || ':' || r.rolcanlogin || "
                    "':' || (SELECT count(*) FROM pg_auth_members m WHERE "
                    "m.member = r.oid), ',' ORDER BY r.rolname) FROM "
                    "pg_roles r WHERE rolname IN (?, ?, ?)"_s,
                    {otherOwner, otherAdmin, byHand})
            .toString(),
        QStringList({byHand + u":true:0"_s, otherAdmin + u":true:1"_s, otherOwner + u":false:0"_s})
            .join(u','));
    db().executeScript(
        u"DROP ROLE %2; DROP ROLE %1; DROP ROLE %3"_s.arg(otherOwner, otherAdmin, byHand));
}

TEST_P(ServerRolesTest, AnUpgradeRunsAsTheOwnerAndRefusesWhatTheProgramDidNotMake)
{
    makeCurrent();
    const QString owner = bx::test::kScriptDatabaseName + u"_owner"_s;
    const QString ann = role(u"ann"_s);
    // An administrator plants code under a name the program uses, where an upgrade writes.
    as(u"ann"_s).executeScript(
        u"CREATE TABLE planted_log (who text); GRANT INSERT ON planted_log TO PUBLIC; "
        "CREATE OR REPLACE FUNCTION scr_vtrig() RETURNS trigger LANGUAGE "
        "plpgsql AS $$ BEGIN INSERT INTO planted_log VALUES (current_user); "
        "BEGIN EXECUTE 'ALTER ROLE %1 SUPERUSER'; EXCEPTION WHEN OTHERS THEN "
        "NULL; END; RETURN NEW; END $$; "
        "CREATE TRIGGER scr_vtrig AFTER INSERT OR UPDATE ON Vars FOR EACH ROW "
        "EXECUTE FUNCTION scr_vtrig()"_s.arg(ann));
    db().execute(u"DELETE FROM Vars WHERE VarName IN ('UPGRADE/UpgClass82', 'BuildNum')"_s);
    bx::test::ScriptedPrompt prompt;
    UpgradeLog log(QDir(program()).filePath(u"UpgradeLog.txt"_s));
    auto upgrade = [&] {
        Upgrader upgrader(db(), prompt, log, {program(), &m_clock}, true);
        upgrader.load();
        const bool done = upgrader.run();
        return done ? QString() : upgrader.lastError();
    };
    EXPECT_EQ(upgrade(), QString());
    EXPECT_EQ(db().scalar(u"SELECT string_agg(DISTINCT who, ',') FROM planted_log"_s).toString(),
              owner);
    EXPECT_FALSE(db().scalar(u"SELECT rolsuper FROM pg_roles WHERE rolname = ?"_s, {ann}).toBool());

    // Code under names of its own is refused before any step runs, and named.
    as(u"ann"_s).executeScript(
        u"CREATE FUNCTION planted_fn() RETURNS trigger LANGUAGE plpgsql AS $$ "
        "BEGIN RETURN NEW; END $$; CREATE TRIGGER planted AFTER INSERT ON SCR FOR "
        "EACH ROW EXECUTE FUNCTION planted_fn()"_s);
    db().execute(u"DELETE FROM Vars WHERE VarName = 'BuildNum'"_s);
    const QString refused = upgrade();
    EXPECT_TRUE(refused.contains("trigger planted on scr"_L1) &&
                refused.contains("function planted_fn()"_L1))
        << refused.toStdString();
    EXPECT_TRUE(db().query(u"SELECT 1 FROM Vars WHERE VarName = 'BuildNum'"_s).isEmpty());

    // So is a schema that belongs to someone who could replace what the functions call.
    as(u"ann"_s).executeScript(u"DROP TRIGGER planted ON SCR"_s);
    const QString schema = db().scalar(u"SELECT current_schema()"_s).toString();
    db().executeScript(u"ALTER SCHEMA %1 OWNER TO %2"_s.arg(schema, ann));
    EXPECT_TRUE(upgrade().contains("belongs to "_L1 + ann)) << upgrade().toStdString();
    db().executeScript(u"ALTER SCHEMA %1 OWNER TO CURRENT_USER"_s.arg(schema));
}

BX_INSTANTIATE_ENGINES(ServerRolesTest);

// Passwords: no user's login reads a stored one, yet the log-on, the rehash of a cheaper hash and
// the password change work through the owner's functions, which tell no more than yes or no.
TEST_P(ServerRolesTest, AUsersLoginReadsNoPasswordYetLogsOnRehashesAndChangesHis)
{
    makeCurrent();
    const QString bob = u"bob"_s;
    const auto stored = [&](const QString& id) {
        return db()
            .scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {id})
            .toString();
    };
    // "old pw" hashed with 8 MiB and one pass, far below today's limits.
    const QString cheap = StoredPassword::kHashPrefix +
                          u"$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/cQ$"
                          "dkpU5hepa1aQgn0dgdWCuBLrtVfTZ79rn7ZBF2mLS9E"_s;
    db().execute(u"UPDATE LU_USER SET User_Password = ? WHERE USER_ID = ?"_s, {cheap, bob});

    for (const char* login : {"bob", "shared"})
        expectRefused(QLatin1String(login),
                      {u"SELECT User_Password FROM LU_USER"_s, u"SELECT * FROM LU_USER"_s,
                       u"SELECT u FROM LU_USER u"_s,
                       u"SELECT 1 FROM LU_USER WHERE User_Password LIKE '$%'"_s,
                       u"COPY LU_USER TO STDOUT"_s});
    PgDatabase& mine = as(bob);
    EXPECT_EQ(mine.scalar(u"SELECT count(*) FROM LU_USER"_s).toInt(), 5);
    ASSERT_TRUE(loadUserDraft(as(u"shared"_s), u"carol"_s));
    EXPECT_EQ(as(u"ann"_s)
                  .scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {bob})
                  .toString(),
              cheap)
        << "the tables' owner reads it";

    // Only the hash's setting comes back; a wrong password and a forged value are refused.
    EXPECT_EQ(mine.passwordSetting(bob), StoredPassword::settingOf(cheap));
    EXPECT_FALSE(mine.passwordMatches(bob, QString()));
    EXPECT_EQ(validateLogin(mine, u"BOB"_s, u"wrong"_s, nullptr), LoginResult::WrongPassword);
    EXPECT_FALSE(mine.replacePassword(bob, cheap, u"clear"_s));
    UserRecord record;
    ASSERT_EQ(validateLogin(mine, u"BOB"_s, u" Old PW"_s, &record), LoginResult::Ok);
    EXPECT_TRUE(rehashOldPassword(mine, record.userId, u"old pw"_s));
    EXPECT_NE(stored(bob), cheap);
    EXPECT_TRUE(StoredPassword::matches(stored(bob), u"old pw"_s));

    // The password change: the row and his own login.
    const auto session = sessionOf(bob);
    const QString typed = u"New Secret9"_s;
    ASSERT_EQ(changePassword(*session, typed, typed), std::nullopt);
    EXPECT_EQ(validateLogin(session->db(), bob, u"new secret9"_s, nullptr), LoginResult::Ok);
    EXPECT_EQ(validateLogin(session->db(), bob, u"old pw"_s, nullptr), LoginResult::WrongPassword);

    // Of the password functions, which run as the owner, all but the setting's answer yes or no.
    EXPECT_EQ(db().scalar(u"SELECT string_agg(p.proname || ':' || "
                          "format_type(p.prorettype, NULL), ',' ORDER BY "
                          "p.proname) FROM pg_proc p JOIN pg_namespace n ON n.oid "
                          "= p.pronamespace WHERE n.nspname = current_schema() "
                          "AND p.proname LIKE 'bx\\_password\\_%' AND "
                          "p.prosecdef AND has_function_privilege(?, p.oid, 'EXECUTE')"_s,
                          {usersRole()})
                  .toString(),
              u"bx_password_check:boolean,bx_password_rehash:boolean,bx_password_setting:text"_s);
}
