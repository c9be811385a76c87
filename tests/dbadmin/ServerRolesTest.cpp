#include "core/PasswordCipher.h"
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
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerCleanup.h"
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

namespace {

/**
 * A server database of the current build with three users, each with a login of his own: "ann"
 * an administrator, "bob" and "carol" ordinary users; and a shared login that is nobody's own.
 * Every check connects as one of the logins, as a plain SQL client would.
 */
class ServerRolesTest : public bx::test::EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!isServer())
            GTEST_SKIP() << "roles belong to the server engine";
        QDir(tempDir()).mkdir(QStringLiteral("program"));
    }

    void TearDown() override
    {
        if (isServer() && !IsSkipped()) {
            m_connections.clear();
            // A failed case may leave a large object of a login behind.
            bx::test::dropRoles(static_cast<PgDatabase&>(db()),
                                bx::test::processDatabase() + QStringLiteral("\\_%"), true);
        }
        EngineTest::TearDown();
    }

    QString program() const { return tempDir() + QStringLiteral("/program"); }

    static QString role(const QString& id)
    {
        return serverRoleName(bx::test::processDatabase(), id);
    }

    void addUserRows()
    {
        bx::test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob"),
                                  QStringLiteral("carol"), QStringLiteral("lena")});
        db().execute(QStringLiteral("UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'ann'"));
        // Lena designs lifecycles.
        db().execute(
            QStringLiteral("UPDATE LU_USER SET Allow_Create_Lifecycle = 1 WHERE USER_ID = 'lena'"));
    }

    /** The current build, its logins made the way the user windows make them. */
    void makeCurrent()
    {
        bx::test::loadCurrentSchema(db(), program());
        addUserRows();
        LoginRoles& roles = *db().loginRoles();
        for (const char* id : {"ann", "bob", "carol", "lena"}) {
            roles.ensureLogin(role(QLatin1String(id)), QLatin1String(id) == QLatin1String("ann"));
            roles.setRolePassword(role(QLatin1String(id)), password());
        }
        roles.setRights(role(QStringLiteral("lena")), {QStringLiteral("lifecycles")});
        static_cast<PgDatabase&>(db()).ensureSharedLogin(role(QStringLiteral("shared")),
                                                         usersRole());
        roles.setRolePassword(role(QStringLiteral("shared")), password());
    }

    /**
     * A database as the previous build left it: the users role owning every table with every
     * right, CREATE on the schema, the administrator's login holding CREATEROLE and large objects
     * readable through lo_compat_privileges; then the upgrade.
     */
    void makeOldThenUpgrade()
    {
        const bx::test::FixedClock clock;
        UpgradeLog log(QDir(program()).filePath(QStringLiteral("UpgradeLog.txt")));
        bx::test::loadBaseSchema(db());
        bx::test::applySteps(db(), log, {program(), &clock}, 0, 77);
        addUserRows();
        const QString users = usersRole();
        db().executeScript(
            QStringLiteral("DO $$ DECLARE t record; BEGIN FOR t IN SELECT tablename FROM "
                           "pg_tables WHERE schemaname = current_schema() LOOP EXECUTE "
                           "format('ALTER TABLE %I OWNER TO %I', t.tablename, '%1'); END LOOP; "
                           "END $$")
                .arg(users));
        db().executeScript(
            QStringLiteral("GRANT ALL ON ALL TABLES IN SCHEMA %1 TO %2; GRANT USAGE, CREATE ON "
                           "SCHEMA %1 TO %2; ALTER DATABASE %3 SET lo_compat_privileges TO on")
                .arg(db().scalar(QStringLiteral("SELECT current_schema()")).toString(), users,
                     bx::test::processDatabase()));
        for (const char* id : {"ann", "bob", "carol", "lena", "shared"}) {
            const QString r = role(QLatin1String(id));
            db().executeScript(QStringLiteral("CREATE ROLE %1 LOGIN%2; GRANT %3 TO %1")
                                   .arg(r,
                                        QLatin1String(id) == QLatin1String("ann")
                                            ? QStringLiteral(" CREATEROLE")
                                            : QString(),
                                        users));
            static_cast<PgDatabase&>(db()).setRolePassword(r, password());
        }
        // Carol's attachment from before, streamed under the old setting.
        attachFor(QStringLiteral("carol"), 501, "before the upgrade");
        bx::test::applySteps(db(), log, {program(), &clock}, 78);
        // Sessions opened before keep the old setting; the checks use new ones.
        m_connections.clear();
    }

    static QString usersRole() { return bx::test::kScriptDatabaseName + QStringLiteral("_users"); }
    /** Every login's password, as the user windows derive it from the typed one. */
    static QString password() { return PasswordCipher::loginPassword(QStringLiteral("secret9")); }

    std::unique_ptr<PgDatabase> tryConnect(const QString& id)
    {
        PgConnectParams p = serverParams();
        p.user = role(id);
        p.password = password();
        return PgDatabase::connect(p);
    }

    PgDatabase& as(const QString& id)
    {
        auto& slot = m_connections[id];
        if (!slot)
            slot = tryConnect(id);
        return *slot;
    }

    bool canConnect(const QString& id)
    {
        try {
            tryConnect(id);
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
        as(id).execute(
            QStringLiteral("INSERT INTO ATTACH (Attach_Number, Attach_Owner) VALUES (?, ?)"),
            {number, id});
        write(id, number, text);
    }

    QByteArray read(const QString& id, int number)
    {
        return bx::test::attachContent(as(id), number);
    }

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
        const QString bob = QStringLiteral("bob");
        expectRefused(
            bob,
            {QStringLiteral("UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'bob'"),
             QStringLiteral("UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'"),
             QStringLiteral("UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = 'carol'"),
             QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'bob' WHERE USER_ID = 'bob'"),
             QStringLiteral("UPDATE LU_USER SET User_Password = 'x' WHERE USER_ID = 'carol'"),
             QStringLiteral("INSERT INTO LU_USER (USER_ID, Ext12) VALUES ('mallory', 1)"),
             QStringLiteral("DELETE FROM LU_USER WHERE USER_ID = 'carol'"),
             QStringLiteral("DROP TABLE SCR"), QStringLiteral("ALTER TABLE SCR ADD COLUMN x int"),
             QStringLiteral("ALTER TABLE LU_USER DISABLE TRIGGER USER"),
             QStringLiteral("TRUNCATE MAIL"), QStringLiteral("CREATE TABLE planted (i int)"),
             QStringLiteral("CREATE FUNCTION planted() RETURNS int LANGUAGE sql AS 'SELECT 1'"),
             QStringLiteral("CREATE TRIGGER planted AFTER INSERT ON SCR FOR EACH ROW EXECUTE "
                            "FUNCTION bx_attach_unlink()"),
             QStringLiteral("ALTER ROLE ") + role(bob) + QStringLiteral(" CREATEROLE"),
             QStringLiteral("SET ROLE ") + bx::test::kScriptDatabaseName + QStringLiteral("_owner"),
             QStringLiteral("SELECT bx_login_ensure('") + role(bob) + QStringLiteral("', true)")});

        // His own password he may change; the shared login, which is nobody's own, may change
        // anybody's, but no rights.
        as(bob).execute(
            QStringLiteral("UPDATE LU_USER SET User_Password = 'new' WHERE USER_ID = 'bob'"));
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = "
                                             "'bob'"))
                      .toString(),
                  QStringLiteral("new"));
        as(QStringLiteral("shared"))
            .execute(QStringLiteral("UPDATE LU_USER SET User_Password = 's' WHERE USER_ID = "
                                    "'carol'"));
        expectRefused(QStringLiteral("shared"),
                      {QStringLiteral("UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'")});

        // Rows of the everyday work: tasks, mail, presence.
        const qlonglong task = bx::test::addTaskRow(
            as(bob), {{QStringLiteral("SCR_Title"), QStringLiteral("From bob")}});
        as(QStringLiteral("carol"))
            .execute(QStringLiteral("UPDATE SCR SET SCR_Title = 'Edited' WHERE SCR_Number = ?"),
                     {task});
        as(bob).insertNumbered(QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
                               {QStringLiteral("Title"), QStringLiteral("Owner_User_ID")},
                               {QStringLiteral("Hello"), bob});
        Presence::writeHeartbeat(as(bob), bob, QDateTime::currentDateTimeUtc());
        Presence::writeHeartbeat(as(bob), bob, QDateTime::currentDateTimeUtc());
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM LOGIN")).toInt(), 1);

        // Another user's attachment: read, replaced (the old value freed) and deleted.
        attachFor(QStringLiteral("carol"), 502, "carol's");
        EXPECT_EQ(read(bob, 502), QByteArray("carol's"));
        const qlonglong old =
            db().scalar(QStringLiteral("SELECT OLE_Data FROM ATTACH WHERE Attach_Number = 502"))
                .toLongLong();
        write(bob, 502, "bob's");
        EXPECT_EQ(read(QStringLiteral("carol"), 502), QByteArray("bob's"));
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata WHERE "
                                             "oid = ?"),
                              {old})
                      .toInt(),
                  0);
        as(bob).execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = 502"));
    }

private:
    std::map<QString, std::unique_ptr<PgDatabase>> m_connections;
};

} // namespace

TEST_P(ServerRolesTest, AnOrdinaryUsersLoginWorksWithRowsAndNothingElse)
{
    makeCurrent();
    expectOrdinaryRights();
    // Objects made by later steps belong to the owner role too, not to the login that ran them
    // (extensions' functions are the extension's).
    const QString owner = bx::test::kScriptDatabaseName + QStringLiteral("_owner");
    const QString logins = bx::test::kScriptDatabaseName + QStringLiteral("_roles");
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(p.proname, ',') FROM pg_proc p JOIN "
                                         "pg_namespace n ON n.oid = p.pronamespace WHERE "
                                         "n.nspname = current_schema() AND "
                                         "pg_get_userbyid(p.proowner) NOT IN (?, ?) AND NOT "
                                         "EXISTS (SELECT 1 FROM pg_depend d WHERE d.objid = "
                                         "p.oid AND d.deptype = 'e')"),
                          {owner, logins})
                  .toString(),
              QString());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(tablename, ',') FROM pg_tables WHERE "
                                         "schemaname = current_schema() AND tableowner <> ?"),
                          {owner})
                  .toString(),
              QString());
}

// A file one user attached is opened, saved back and deleted by another user's login through the
// attachment logic; the deletion frees the stored value.
TEST_P(ServerRolesTest, AnotherUsersLoginWorksWithAnAttachedFile)
{
    makeCurrent();
    const QString carol = QStringLiteral("carol");
    const qlonglong task = bx::test::addTaskRow(as(carol), {});
    QByteArray bytes(70'000, 'c');
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    PendingAttachment pending;
    pending.type = AttachmentType::File;
    pending.title = QStringLiteral("Carol's plan");
    pending.owner = carol;
    pending.sourcePath = QStringLiteral("/home/carol/plan.txt");
    const Outcome<qlonglong> added =
        attachments::add(as(carol), {task, {}, 0}, pending, &source, bytes.size());
    ASSERT_TRUE(added);

    PgDatabase& bob = as(QStringLiteral("bob"));
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

    const QVariant object = db().scalar(
        QStringLiteral("SELECT OLE_Data FROM ATTACH WHERE Attach_Number = ?"), {*added});
    bx::test::ScriptedPrompt prompt;
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(attachments::deleteAttachment(bob, prompt, task, *added, true));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata WHERE oid "
                                         "= ?"),
                          {object})
                  .toInt(),
              0);
    attachments::removeViewerCopies();
}

TEST_P(ServerRolesTest, AnAdministratorsLoginDoesTheUserWindowsWorkWithoutCreateRole)
{
    makeCurrent();
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    const bx::test::FixedClock clock;
    bx::test::ScriptedPrompt prompt;
    auto sessionOf = [&](const QString& id) {
        auto session = std::make_unique<Session>(settings, clock);
        session->setDatabase(tryConnect(id));
        session->connection.serverFlag = true;
        session->connection.sqlDatabaseName = bx::test::processDatabase();
        session->user.userId = id;
        session->user.record = *loadUser(session->db(), id);
        return session;
    };
    UserDraft dave;
    dave.userId = QStringLiteral("dave");
    dave.userName = QStringLiteral("Dave");
    dave.password = QStringLiteral("secret9");

    // What an ordinary user's login may not do to users, whatever the program lets him try, is
    // expectOrdinaryRights's.
    const auto ann = sessionOf(QStringLiteral("ann"));
    ASSERT_FALSE(saveUser(*ann, dave));
    EXPECT_TRUE(canConnect(QStringLiteral("dave")));
    // A rename takes his queued e-mail along, the guard of the outbox notwithstanding.
    as(QStringLiteral("dave"))
        .execute(QStringLiteral(
            "INSERT INTO MAIL_OUTBOX (Outbox_Number, Recipient, Queued_By, Personal, "
            "State) VALUES (800, 'x@example.org', 'dave', 1, 'P')"));
    UserDraft renamed = *loadUserDraft(ann->db(), QStringLiteral("dave"));
    renamed.userId = QStringLiteral("dan");
    renamed.flags.insert(QStringLiteral("Ext12"), true);
    ASSERT_FALSE(saveUser(*ann, renamed));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Queued_By FROM MAIL_OUTBOX WHERE Outbox_Number = "
                                         "800"))
                  .toString(),
              QStringLiteral("dan"));
    EXPECT_TRUE(canConnect(QStringLiteral("dan")));
    EXPECT_FALSE(canConnect(QStringLiteral("dave")));
    ASSERT_TRUE(disableUser(*ann, prompt, QStringLiteral("dan")));
    EXPECT_FALSE(canConnect(QStringLiteral("dan")));
    ASSERT_TRUE(enableUser(*ann, QStringLiteral("dan")));
    EXPECT_TRUE(canConnect(QStringLiteral("dan")));
    prompt.answer(PromptAnswer::Ok);
    ASSERT_TRUE(deleteUser(*ann, prompt, QStringLiteral("dan")));
    EXPECT_FALSE(db().loginRoles()->roleExists(role(QStringLiteral("dan"))));

    // Only this database's users' logins, and no way to the server's own powers.
    LoginRoles& roles = *as(QStringLiteral("ann")).loginRoles();
    EXPECT_THROW(roles.setRolePassword(serverParams().user, QStringLiteral("x")), DbError);
    EXPECT_THROW(roles.ensureLogin(QStringLiteral("other_db_admin"), true), DbError);
    expectRefused(
        QStringLiteral("ann"),
        {QStringLiteral("ALTER ROLE ") + role(QStringLiteral("ann")) +
             QStringLiteral(" CREATEROLE"),
         QStringLiteral("GRANT pg_execute_server_program TO ") + role(QStringLiteral("ann")),
         QStringLiteral("SET ROLE ") + bx::test::kScriptDatabaseName + QStringLiteral("_roles"),
         QStringLiteral("CREATE ROLE ") + role(QStringLiteral("eve"))});
}

TEST_P(ServerRolesTest, AnOldDatabaseAnswersTheSameAfterTheUpgrade)
{
    makeOldThenUpgrade();
    EXPECT_EQ(read(QStringLiteral("bob"), 501), QByteArray("before the upgrade"));
    expectOrdinaryRights();
    EXPECT_FALSE(db().scalar(QStringLiteral("SELECT rolcreaterole FROM pg_roles WHERE rolname = ?"),
                             {role(QStringLiteral("ann"))})
                     .toBool());
    PgDatabase& ann = as(QStringLiteral("ann"));
    ann.execute(QStringLiteral("UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = 'carol'"));
    Transaction tx(ann);
    ann.loginRoles()->setLoginAllowed(role(QStringLiteral("carol")), false);
    tx.commit();
    EXPECT_FALSE(canConnect(QStringLiteral("carol")));
    EXPECT_TRUE(db().scalar(QStringLiteral("SELECT count(*) = 0 FROM pg_db_role_setting s JOIN "
                                           "pg_database d ON d.oid = s.setdatabase WHERE "
                                           "d.datname = current_database() AND "
                                           "array_to_string(s.setconfig, ',') LIKE "
                                           "'%lo_compat%'"))
                    .toBool());
}

// What a login may not write it may not write by any path: the statement fails, or the rows
// stay as they were (the server hides rows a policy keeps from a change).
TEST_P(ServerRolesTest, ConfigurationIsWrittenOnlyByTheRightsWriters)
{
    makeCurrent();
    db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES ('r', 'good')"));
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                                "Action_Name, SCR_Number) VALUES ('LC', 'S1', 'Check', 0)"));
    auto tryRun = [&](const QString& id, const QString& sql) {
        try {
            as(id).executeScript(sql);
        } catch (const DbError&) {
        }
    };
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
            .scalar(QStringLiteral(
                "SELECT (SELECT string_agg(RULE_NAME || '=' || SCRIPT, ',') FROM LU_RULES) || "
                "COALESCE((SELECT string_agg(Query_Wait::text, ',') FROM SYSTEM), '') || (SELECT "
                "count(*) FROM LU_PRIORITY) || (SELECT string_agg(VarName || '=' || "
                "COALESCE(VarValue, ''), ',' ORDER BY VarName) FROM Vars) || (SELECT count(*) "
                "FROM LIFECYCLE) || (SELECT string_agg(Action_Name, ',') FROM "
                "LIFECYCLE_ACTION)"))
            .toString();
    };
    for (const auto& c : cases) {
        for (const char* id : {"bob", "lena"}) {
            const QString before = snapshot();
            tryRun(QLatin1String(id), QString::fromLatin1(c.sql));
            const bool changed = snapshot() != before;
            EXPECT_EQ(changed, c.lena && QLatin1String(id) == QLatin1String("lena"))
                << id << ": " << c.sql;
        }
    }
    // A task's own copy of the action items belongs to everybody's work.
    as(QStringLiteral("bob"))
        .execute(QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                                "Action_Name, SCR_Number) VALUES ('LC', 'S1', 'Check', 7)"));
    as(QStringLiteral("bob"))
        .execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE SCR_Number = 7"));
}

// Stored analyses are shared configuration: every login reads them, only an analyst's writes.
TEST_P(ServerRolesTest, AnalysesAreWrittenOnlyByAnalysts)
{
    makeCurrent();
    db().loginRoles()->setRights(role(QStringLiteral("carol")), {QStringLiteral("analysts")});
    Analysis a;
    a.title = QStringLiteral("Mine");
    a.query = QStringLiteral("SELECT SCR_Status AS Status, 1 AS Tasks FROM SCR");
    a.items = {
        AnalysisItem::dimension(QStringLiteral("Status"), QStringLiteral("Status")),
        AnalysisItem::fact(QStringLiteral("Tasks"), QStringLiteral("Tasks"), olap::Aggregate::Sum)};
    EXPECT_THROW(writeAnalysis(as(QStringLiteral("bob")), a, false), DbError);
    const qlonglong id = writeAnalysis(as(QStringLiteral("carol")), a, true);
    const std::optional<Analysis> read = loadAnalysis(as(QStringLiteral("bob")), id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->items, a.items);
    EXPECT_THROW(deleteAnalysis(as(QStringLiteral("bob")), id), DbError);
    EXPECT_TRUE(loadAnalysis(db(), id));
    deleteAnalysis(as(QStringLiteral("carol")), id);
    EXPECT_FALSE(loadAnalysis(db(), id));
}

// Stored reports (ATTACH rows of type "R") are the report designers'; those of no workshop, which
// every workshop shares, the designers' of shared reports. Any other attachment is everybody's.
TEST_P(ServerRolesTest, StoredReportsAreWrittenOnlyByReportDesigners)
{
    makeCurrent();
    bx::test::addWorkshop(db(), 7);
    LoginRoles& roles = *db().loginRoles();
    roles.setRights(role(QStringLiteral("carol")), {QStringLiteral("reporters")});
    roles.setRights(role(QStringLiteral("lena")),
                    {QStringLiteral("reporters"), QStringLiteral("globalreports")});
    // 901 a shared report, 902 workshop 7's, 903 a memo of workshop 7.
    const auto reset = [&] {
        db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number >= 900"));
        db().executeScript(
            QStringLiteral("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Type, Group_ID, "
                           "Attach_Title) VALUES (901, 0, 'R', NULL, 's'), (902, 0, 'R', 7, 'w'), "
                           "(903, 0, 'M', 7, 'm')"));
    };
    const auto snapshot = [&] {
        return db()
            .scalar(QStringLiteral("SELECT string_agg(Attach_Number || ':' || Attach_Type || ':' "
                                   "|| COALESCE(Group_ID::text, '-') || ':' || Attach_Title, ',' "
                                   "ORDER BY Attach_Number) FROM ATTACH WHERE Attach_Number >= "
                                   "900"))
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
            try {
                as(QLatin1String(id)).executeScript(QString::fromLatin1(c.sql));
            } catch (const DbError&) {
            }
            const QLatin1String who(id);
            const bool allowed = who == QLatin1String("lena")    ? c.lena
                                 : who == QLatin1String("carol") ? c.carol
                                                                 : false;
            EXPECT_EQ(snapshot() != before, allowed) << id << ": " << c.sql;
        }
    }
    // Every login reads the reports and writes the other attachments.
    reset();
    EXPECT_EQ(as(QStringLiteral("bob"))
                  .scalar(QStringLiteral("SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R' AND "
                                         "Attach_Number >= 900"))
                  .toInt(),
              2);
    as(QStringLiteral("bob"))
        .execute(QStringLiteral("UPDATE ATTACH SET Attach_Title = 'y' WHERE Attach_Number = 903"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Attach_Title FROM ATTACH WHERE Attach_Number = "
                                         "903"))
                  .toString(),
              QStringLiteral("y"));
}

TEST_P(ServerRolesTest, NoLoginChangesAnotherUsersPasswordByWayOfARoleOrUnknownToTheProgram)
{
    makeCurrent();
    const QString users = usersRole();
    db().execute(QStringLiteral("UPDATE LU_USER SET User_Password = 'kept' WHERE USER_ID = 'ann'"));
    expectRefused(QStringLiteral("bob"),
                  {QStringLiteral("SET ROLE %1; UPDATE LU_USER SET User_Password = 'x' WHERE "
                                  "USER_ID = 'ann'")
                       .arg(users)});
    // A login made by hand and given the users role is nobody's: it changes no password and
    // sees and sends no mail.
    const QString mallory = role(QStringLiteral("mallory"));
    db().executeScript(QStringLiteral("CREATE ROLE %1 LOGIN; GRANT %2 TO %1").arg(mallory, users));
    static_cast<PgDatabase&>(db()).setRolePassword(mallory, password());
    as(QStringLiteral("bob"))
        .insertNumbered(QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
                        {QStringLiteral("Title"), QStringLiteral("Owner_User_ID")},
                        {QStringLiteral("Hello"), QStringLiteral("bob")});
    expectRefused(QStringLiteral("mallory"),
                  {QStringLiteral("UPDATE LU_USER SET User_Password = 'x' WHERE USER_ID = 'ann'"),
                   QStringLiteral("INSERT INTO MAIL (Mail_Number, Owner_User_ID) VALUES (9, "
                                  "'ann')")});
    EXPECT_EQ(
        as(QStringLiteral("mallory")).scalar(QStringLiteral("SELECT count(*) FROM MAIL")).toInt(),
        0);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = "
                                         "'ann'"))
                  .toString(),
              QStringLiteral("kept"));
}

TEST_P(ServerRolesTest, MailAndTheOutboxBelongToTheirUsers)
{
    makeCurrent();
    const bx::test::FixedClock clock;
    bx::test::ScriptedPrompt prompt;
    Mailbox bobsBox(as(QStringLiteral("bob")), {QStringLiteral("bob"), {}, {}}, 0, clock);
    ASSERT_TRUE(bobsBox.send({QStringLiteral("carol")}, QStringLiteral("Lunch?"), prompt));
    Mailbox carolsBox(as(QStringLiteral("carol")), {QStringLiteral("carol"), {}, {}}, 0, clock);
    ASSERT_EQ(carolsBox.list(MailBox::Inbox).rows.size(), 1);
    const MailList sent = bobsBox.list(MailBox::Sent);
    ASSERT_EQ(sent.rows.size(), 1);
    EXPECT_EQ(sent.rows.first().party, QStringLiteral("carol"));
    EXPECT_TRUE(carolsBox.list(MailBox::Sent).rows.isEmpty());

    // A message for someone else names its real sender; each user reads and deletes his own.
    as(QStringLiteral("bob"))
        .insertNumbered(
            QStringLiteral("MAIL"), QStringLiteral("Mail_Number"),
            {QStringLiteral("Title"), QStringLiteral("Owner_User_ID"), QStringLiteral("Sender")},
            {QStringLiteral("From ann, honest"), QStringLiteral("carol"), QStringLiteral("ann")});
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Sender FROM MAIL WHERE Title = 'From ann, "
                                         "honest'"))
                  .toString(),
              QStringLiteral("bob"));
    EXPECT_EQ(
        as(QStringLiteral("carol")).scalar(QStringLiteral("SELECT count(*) FROM MAIL")).toInt(), 2);
    as(QStringLiteral("carol")).execute(QStringLiteral("DELETE FROM MAIL"));
    as(QStringLiteral("carol")).execute(QStringLiteral("UPDATE MAIL SET Title = 'x'"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(Owner_User_ID || ':' || Title, ',') "
                                         "FROM MAIL"))
                  .toString(),
              QStringLiteral("bob:Lunch?"));

    // The outbox: a row is queued by the login's own user whatever the client wrote; a personal
    // row is seen by its user's client only; a shared one is delivered by any, but not changed.
    for (const char* personal : {"1", "0"})
        as(QStringLiteral("bob"))
            .execute(
                QStringLiteral("INSERT INTO MAIL_OUTBOX (Outbox_Number, Recipient, Subject, Body, "
                               "Queued_By, Personal, State) VALUES (?, 'x@example.org', 's', 'b', "
                               "'carol', ?, 'P')"),
                {QString::fromLatin1(personal).toInt() + 900,
                 QString::fromLatin1(personal).toInt()});
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(DISTINCT Queued_By, ',') FROM "
                                         "MAIL_OUTBOX"))
                  .toString(),
              QStringLiteral("bob"));
    PgDatabase& carol = as(QStringLiteral("carol"));
    EXPECT_EQ(carol
                  .scalar(QStringLiteral("SELECT string_agg(Outbox_Number::text, ',') FROM "
                                         "MAIL_OUTBOX"))
                  .toString(),
              QStringLiteral("900"));
    EXPECT_THROW(carol.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET Body = 'forged'")), DbError);
    EXPECT_EQ(carol.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET Claim_Token = 'c'")), 1);
    EXPECT_EQ(carol.execute(QStringLiteral("DELETE FROM MAIL_OUTBOX")), 0);
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT count(*) FROM MAIL_OUTBOX WHERE Body = 'b'")).toInt(),
        2);
}

// Another database whose name begins with this one's: its owner role and its logins share the
// prefix of this database's logins. Neither a role made by hand: the functions made it not.
TEST_P(ServerRolesTest, TheLoginFunctionsTouchOnlyTheLoginsTheyMade)
{
    makeCurrent();
    const QString otherOwner = role(QStringLiteral("test_owner"));
    const QString otherAdmin = role(QStringLiteral("test_admin"));
    const QString byHand = role(QStringLiteral("mallory"));
    db().executeScript(QStringLiteral("CREATE ROLE %1 NOLOGIN; CREATE ROLE %2 LOGIN; GRANT %1 TO "
                                      "%2; CREATE ROLE %3 LOGIN")
                           .arg(otherOwner, otherAdmin, byHand));
    LoginRoles& roles = *as(QStringLiteral("ann")).loginRoles();
    const std::function<void()> attempts[] = {
        [&] { roles.ensureLogin(otherOwner, false); },
        [&] { roles.ensureLogin(byHand, true); },
        [&] { roles.setRolePassword(otherAdmin, QStringLiteral("x")); },
        [&] { roles.setLoginAllowed(otherAdmin, false); },
        [&] { roles.renameRole(otherAdmin, role(QStringLiteral("gone"))); },
        [&] { roles.setRights(otherAdmin, {QStringLiteral("lifecycles")}); },
        [&] { roles.dropRole(otherOwner); },
    };
    for (const auto& attempt : attempts) {
        Transaction tx(as(QStringLiteral("ann")));
        EXPECT_THROW(attempt(), DbError);
    }
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT string_agg(r.rolname || ':' || r.rolcanlogin || "
                                   "':' || (SELECT count(*) FROM pg_auth_members m WHERE "
                                   "m.member = r.oid), ',' ORDER BY r.rolname) FROM "
                                   "pg_roles r WHERE rolname IN (?, ?, ?)"),
                    {otherOwner, otherAdmin, byHand})
            .toString(),
        QStringList({byHand + QStringLiteral(":true:0"), otherAdmin + QStringLiteral(":true:1"),
                     otherOwner + QStringLiteral(":false:0")})
            .join(QLatin1Char(',')));
    db().executeScript(QStringLiteral("DROP ROLE %2; DROP ROLE %1; DROP ROLE %3")
                           .arg(otherOwner, otherAdmin, byHand));
}

TEST_P(ServerRolesTest, AnUpgradeRunsAsTheOwnerAndRefusesWhatTheProgramDidNotMake)
{
    makeCurrent();
    const QString owner = bx::test::kScriptDatabaseName + QStringLiteral("_owner");
    const QString ann = role(QStringLiteral("ann"));
    // An administrator plants code under a name the program uses, where an upgrade writes.
    as(QStringLiteral("ann"))
        .executeScript(
            QStringLiteral("CREATE TABLE planted_log (who text); GRANT INSERT ON planted_log TO "
                           "PUBLIC; "
                           "CREATE OR REPLACE FUNCTION scr_vtrig() RETURNS trigger LANGUAGE "
                           "plpgsql AS $$ BEGIN INSERT INTO planted_log VALUES (current_user); "
                           "BEGIN EXECUTE 'ALTER ROLE %1 SUPERUSER'; EXCEPTION WHEN OTHERS THEN "
                           "NULL; END; RETURN NEW; END $$; "
                           "CREATE TRIGGER scr_vtrig AFTER INSERT OR UPDATE ON Vars FOR EACH ROW "
                           "EXECUTE FUNCTION scr_vtrig()")
                .arg(ann));
    db().execute(QStringLiteral("DELETE FROM Vars WHERE VarName IN ('UPGRADE/UpgClass82', "
                                "'BuildNum')"));
    const bx::test::FixedClock clock;
    bx::test::ScriptedPrompt prompt;
    UpgradeLog log(QDir(program()).filePath(QStringLiteral("UpgradeLog.txt")));
    auto upgrade = [&] {
        Upgrader upgrader(db(), prompt, log, {program(), &clock}, true);
        upgrader.load();
        const bool done = upgrader.run();
        return done ? QString() : upgrader.lastError();
    };
    EXPECT_EQ(upgrade(), QString());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(DISTINCT who, ',') FROM "
                                         "planted_log"))
                  .toString(),
              owner);
    EXPECT_FALSE(
        db().scalar(QStringLiteral("SELECT rolsuper FROM pg_roles WHERE rolname = ?"), {ann})
            .toBool());

    // Code under names of its own is refused before any step runs, and named.
    as(QStringLiteral("ann"))
        .executeScript(QStringLiteral(
            "CREATE FUNCTION planted_fn() RETURNS trigger LANGUAGE plpgsql AS $$ "
            "BEGIN RETURN NEW; END $$; CREATE TRIGGER planted AFTER INSERT ON SCR FOR "
            "EACH ROW EXECUTE FUNCTION planted_fn()"));
    db().execute(QStringLiteral("DELETE FROM Vars WHERE VarName = 'BuildNum'"));
    const QString refused = upgrade();
    EXPECT_TRUE(refused.contains(QLatin1String("trigger planted on scr")) &&
                refused.contains(QLatin1String("function planted_fn()")))
        << refused.toStdString();
    EXPECT_TRUE(
        db().query(QStringLiteral("SELECT 1 FROM Vars WHERE VarName = 'BuildNum'")).isEmpty());

    // So is a schema that belongs to someone who could replace what the functions call.
    as(QStringLiteral("ann")).executeScript(QStringLiteral("DROP TRIGGER planted ON SCR"));
    const QString schema = db().scalar(QStringLiteral("SELECT current_schema()")).toString();
    db().executeScript(QStringLiteral("ALTER SCHEMA %1 OWNER TO %2").arg(schema, ann));
    EXPECT_TRUE(upgrade().contains(QLatin1String("belongs to ") + ann)) << upgrade().toStdString();
    db().executeScript(QStringLiteral("ALTER SCHEMA %1 OWNER TO CURRENT_USER").arg(schema));
}

BX_INSTANTIATE_ENGINES(ServerRolesTest);

// Passwords: no user's login reads a stored one, yet the log-on, the rehash of a cheaper hash and
// the password change work through the owner's functions, which tell no more than yes or no.
TEST_P(ServerRolesTest, AUsersLoginReadsNoPasswordYetLogsOnRehashesAndChangesHis)
{
    makeCurrent();
    const QString bob = QStringLiteral("bob");
    const auto stored = [&](const QString& id) {
        return db()
            .scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"), {id})
            .toString();
    };
    // "old pw" hashed with 8 MiB and one pass, far below today's limits.
    const QString cheap = StoredPassword::kHashPrefix +
                          QStringLiteral("$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/cQ$"
                                         "dkpU5hepa1aQgn0dgdWCuBLrtVfTZ79rn7ZBF2mLS9E");
    db().execute(QStringLiteral("UPDATE LU_USER SET User_Password = ? WHERE USER_ID = ?"),
                 {cheap, bob});

    for (const char* login : {"bob", "shared"})
        expectRefused(QLatin1String(login),
                      {QStringLiteral("SELECT User_Password FROM LU_USER"),
                       QStringLiteral("SELECT * FROM LU_USER"),
                       QStringLiteral("SELECT u FROM LU_USER u"),
                       QStringLiteral("SELECT 1 FROM LU_USER WHERE User_Password LIKE '$%'"),
                       QStringLiteral("COPY LU_USER TO STDOUT")});
    PgDatabase& mine = as(bob);
    EXPECT_EQ(mine.scalar(QStringLiteral("SELECT count(*) FROM LU_USER")).toInt(), 5);
    ASSERT_TRUE(loadUserDraft(as(QStringLiteral("shared")), QStringLiteral("carol")));
    EXPECT_EQ(
        as(QStringLiteral("ann"))
            .scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"), {bob})
            .toString(),
        cheap)
        << "the tables' owner reads it";

    // Only the hash's setting comes back; a wrong password and a forged value are refused.
    EXPECT_EQ(mine.passwordSetting(bob), StoredPassword::settingOf(cheap));
    EXPECT_FALSE(mine.passwordMatches(bob, QString()));
    EXPECT_EQ(validateLogin(mine, QStringLiteral("BOB"), QStringLiteral("wrong"), nullptr),
              LoginResult::WrongPassword);
    EXPECT_FALSE(mine.replacePassword(bob, cheap, QStringLiteral("clear")));
    UserRecord record;
    ASSERT_EQ(validateLogin(mine, QStringLiteral("BOB"), QStringLiteral(" Old PW"), &record),
              LoginResult::Ok);
    EXPECT_TRUE(rehashOldPassword(mine, record.userId, QStringLiteral("old pw")));
    EXPECT_NE(stored(bob), cheap);
    EXPECT_TRUE(StoredPassword::matches(stored(bob), QStringLiteral("old pw")));

    // The password change: the row and his own login.
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    const bx::test::FixedClock clock;
    Session session(settings, clock);
    session.setDatabase(tryConnect(bob));
    session.connection.serverFlag = true;
    session.connection.sqlDatabaseName = bx::test::processDatabase();
    session.user.userId = bob;
    const QString typed = QStringLiteral("New Secret9");
    ASSERT_EQ(changePassword(session, typed, typed), std::nullopt);
    EXPECT_EQ(validateLogin(session.db(), bob, QStringLiteral("new secret9"), nullptr),
              LoginResult::Ok);
    EXPECT_EQ(validateLogin(session.db(), bob, QStringLiteral("old pw"), nullptr),
              LoginResult::WrongPassword);

    // Of the password functions, which run as the owner, all but the setting's answer yes or no.
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT string_agg(p.proname || ':' || "
                                         "format_type(p.prorettype, NULL), ',' ORDER BY "
                                         "p.proname) FROM pg_proc p JOIN pg_namespace n ON n.oid "
                                         "= p.pronamespace WHERE n.nspname = current_schema() "
                                         "AND p.proname LIKE 'bx\\_password\\_%' AND "
                                         "p.prosecdef AND has_function_privilege(?, p.oid, "
                                         "'EXECUTE')"),
                          {usersRole()})
                  .toString(),
              QStringLiteral("bx_password_check:boolean,bx_password_rehash:boolean,"
                             "bx_password_setting:text"));
}
