#include "core/settings/SystemSettings.h"

#include "core/UserRights.h"
#include "core/settings/MailPlainLogin.h"
#include "core/settings/PersonalMailSettings.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/Vars.h"
#include "support/EngineFixture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::EngineTest;

namespace {

class SystemSettingsTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString text =
            isServer() ? QStringLiteral("citext") : QStringLiteral("TEXT COLLATE NOCASE");
        db().executeScript(
            QStringLiteral(
                "CREATE TABLE SYSTEM (MAX_STORAGE integer, Chunk_Size integer, Query_Wait integer, "
                "Edit_Attachments smallint, GetParentParams smallint, NoLogon smallint, "
                "ShowApproverName smallint, Show_Custom smallint, Label_Custom %1, Reports_Folder "
                "%1, "
                "SMTPServer %1, POPServer %1, SMTPAuth smallint, SMTPLeave smallint, SMTPUser %1, "
                "SMTPPwd %1, VoIPServerIP %1, Mand_Target_Date smallint, Mand_Category smallint, "
                "Mand_Priority smallint, Mand_Contact smallint); "
                "CREATE TABLE Vars (VarName %1 PRIMARY KEY, VarValue %1)")
                .arg(text));
        m_admin.userId = QStringLiteral("admin");
    }

    SystemSettingsInput goodInput() const
    {
        SystemSettingsInput in;
        in.chunkSize = QStringLiteral("2000");
        in.queryWait = QStringLiteral("30");
        return in;
    }

    QTemporaryDir m_home;
    SettingsStore m_settings{m_home.filePath(QStringLiteral("MRBX.conf"))};
    UserRecord m_admin;
};

} // namespace

TEST_P(SystemSettingsTest, LoadingAppliesDefaultsAndLimits)
{
    db().execute(
        QStringLiteral(
            "INSERT INTO SYSTEM (Chunk_Size, Query_Wait, Mand_Priority, Label_Custom, SMTPServer) "
            "VALUES (?, NULL, ?, ?, ?)"),
        {500, true, QStringLiteral("Cost centre"), QStringLiteral("smtp.example")});
    SystemSettings s;
    ASSERT_TRUE(s.reload(db(), m_settings, QStringLiteral("/opt/bx")));
    EXPECT_EQ(s.chunkSize, 1000) << "a size below 1000 is used as 1000";
    EXPECT_EQ(s.queryWait, 10) << "Null query timeout is 10 seconds";
    EXPECT_TRUE(s.mandPriority);
    EXPECT_FALSE(s.mandCategory);
    EXPECT_EQ(s.labelCustom, QStringLiteral("Cost centre"));
    EXPECT_EQ(s.reportsFolder(), QStringLiteral("/opt/bx/QV Reports"));

    db().execute(
        QStringLiteral("UPDATE SYSTEM SET Chunk_Size = 4096, Query_Wait = 25, Reports_Folder = ?"),
        {QStringLiteral("/srv/reports/;/srv/more")});
    ASSERT_TRUE(s.reload(db(), m_settings, QStringLiteral("/opt/bx")));
    EXPECT_EQ(s.chunkSize, 4096);
    EXPECT_EQ(s.queryWait, 25);
    EXPECT_EQ(s.reportsFolders,
              (QStringList{QStringLiteral("/srv/reports"), QStringLiteral("/srv/more")}));
}

TEST_P(SystemSettingsTest, PersonalMailSettingsReplaceTheSystemOnes)
{
    db().execute(
        QStringLiteral(
            "INSERT INTO SYSTEM (SMTPServer, POPServer, SMTPUser, SMTPAuth) VALUES (?, ?, ?, ?)"),
        {QStringLiteral("smtp.corp"), QStringLiteral("pop.corp"), QStringLiteral("corp"), true});
    m_settings.set(SettingsKeys::kSmtp, QStringLiteral("SMTP Server Name"),
                   QStringLiteral("smtp.home"));
    m_settings.set(SettingsKeys::kSmtp, QStringLiteral("SMTP User Name"),
                   QStringLiteral("o'brien"));
    m_settings.set(SettingsKeys::kSmtp, QStringLiteral("SMTP Auth"), QStringLiteral("0"));
    m_settings.set(SettingsKeys::kSmtp, QStringLiteral("SMTP Leave"), QStringLiteral("1"));

    SystemSettings s;
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpServer, QStringLiteral("smtp.corp"))
        << "personal values apply only when chosen";

    m_settings.set(SettingsKeys::kSmtp, QStringLiteral("SMTP My Setting"), QStringLiteral("1"));
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpServer, QStringLiteral("smtp.home"));
    EXPECT_EQ(s.popServer, QString());
    EXPECT_EQ(s.smtpUser, QStringLiteral("o'brien"));
    EXPECT_FALSE(s.smtpAuth);
    EXPECT_TRUE(s.smtpLeave);
}

// The personal password is kept scrambled and handed to the mail code in clear; one stored in
// clear by an older client still reads, and turning the personal settings off brings the
// database's back.
TEST_P(SystemSettingsTest, PersonalPasswordIsStoredScrambledAndReadInClear)
{
    db().execute(QStringLiteral("INSERT INTO SYSTEM (SMTPServer, SMTPPwd) VALUES (?, ?)"),
                 {QStringLiteral("smtp.corp"), QStringLiteral("corp pw")});
    PersonalMailSettings mine;
    mine.own = true;
    mine.smtpServer = QStringLiteral("smtp.home");
    mine.password = QStringLiteral("Zoë's pw;%");
    ASSERT_FALSE(mine.save(m_settings).has_value());
    const QString password = QStringLiteral("SMTP Password");
    const QString stored = m_settings.get(SettingsKeys::kSmtp, password);
    EXPECT_FALSE(stored.contains(QStringLiteral("pw")));
    EXPECT_EQ(SettingsStore(m_settings.path()).get(SettingsKeys::kSmtp, password), stored);

    SystemSettings s;
    s.reload(db(), m_settings, {});
    EXPECT_TRUE(s.personalMail);
    EXPECT_EQ(s.smtpServer, QStringLiteral("smtp.home"));
    EXPECT_EQ(s.smtpPwd, mine.password);
    EXPECT_EQ(PersonalMailSettings::load(m_settings).password, mine.password);

    m_settings.set(SettingsKeys::kSmtp, password, QStringLiteral("old clear pw"));
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpPwd, QStringLiteral("old clear pw"));

    mine.own = false;
    mine.password = QString(84, u'x');
    EXPECT_TRUE(mine.save(m_settings).has_value()) << "the scrambler keeps 83 characters";
    EXPECT_EQ(m_settings.get(SettingsKeys::kSmtp, password), QStringLiteral("old clear pw"));
    mine.password.clear();
    ASSERT_FALSE(mine.save(m_settings).has_value());
    s.reload(db(), m_settings, {});
    EXPECT_FALSE(s.personalMail);
    EXPECT_EQ(s.smtpServer, QStringLiteral("smtp.corp"));
    EXPECT_EQ(s.smtpPwd, QStringLiteral("corp pw"));
}

TEST_P(SystemSettingsTest, ColumnsMissingFromAnOlderDatabaseKeepThePreviousValue)
{
    db().execute(QStringLiteral("INSERT INTO SYSTEM (Chunk_Size, Mand_Category) VALUES (3000, 1)"));
    SystemSettings s;
    ASSERT_TRUE(s.reload(db(), m_settings, {}));
    EXPECT_TRUE(s.mandCategory);

    // An older database: a SYSTEM table without the newer columns.
    db().executeScript(
        QStringLiteral("DROP TABLE SYSTEM; CREATE TABLE SYSTEM (Chunk_Size integer)"));
    db().execute(QStringLiteral("INSERT INTO SYSTEM (Chunk_Size) VALUES (5000)"));
    ASSERT_TRUE(s.reload(db(), m_settings, {}));
    EXPECT_EQ(s.chunkSize, 5000);
    EXPECT_TRUE(s.mandCategory);
    EXPECT_EQ(s.queryWait, 10);

    db().executeScript(QStringLiteral("DROP TABLE SYSTEM"));
    EXPECT_FALSE(s.reload(db(), m_settings, {}));
    EXPECT_EQ(s.chunkSize, 5000);
}

TEST_P(SystemSettingsTest, SaveChecksInTheWindowsOrder)
{
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    const QString memory = QStringLiteral("Allocated memory must be between 2,000 and 32,000");
    for (const char* chunk : {"2000", "32000", " 2500 "}) {
        auto in = goodInput();
        in.chunkSize = QLatin1String(chunk);
        EXPECT_FALSE(SystemSettingsEditor::check(in).has_value()) << chunk;
    }
    for (const char* chunk : {"1999", "32001", "", "abc"}) {
        auto in = goodInput();
        in.chunkSize = QLatin1String(chunk);
        in.queryWait.clear();
        const auto refusal = SystemSettingsEditor::check(in);
        ASSERT_TRUE(refusal.has_value()) << chunk;
        EXPECT_EQ(refusal->message, memory);
        EXPECT_EQ(refusal->field, SystemSettingsRefusal::Field::ChunkSize);
    }
    auto in = goodInput();
    in.queryWait = QStringLiteral("   ");
    const auto refusal = editor.save(in);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message, QStringLiteral("Please define query timeout"));
    EXPECT_EQ(refusal->field, SystemSettingsRefusal::Field::QueryWait);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM SYSTEM")).toInt(), 0)
        << "a refusal writes nothing";

    // Only an administrator saves: refused first, before the shared login is stored.
    UserRecord ann;
    ann.userId = QStringLiteral("ann");
    const QString server = QStringLiteral("db.example:5433");
    in.sharedLogin = QStringLiteral("bx_shared");
    EXPECT_EQ(SystemSettingsEditor(db(), m_settings, ann, server, QStringLiteral("pax")).save(in),
              (SystemSettingsRefusal{UserRights::kNotAdministrator, SystemSettingsField::None}));
    EXPECT_EQ(m_settings.get(SettingsKeys::serverSection(server, QStringLiteral("pax")),
                             SettingsKeys::kUnsecureLogin),
              QString());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM SYSTEM")).toInt(), 0);
    ann.administrator = true;
    EXPECT_FALSE(SystemSettingsEditor(db(), m_settings, ann, {}, {}).save(goodInput()));
}

TEST_P(SystemSettingsTest, SaveStoresTrimmedTextsNullsAndOneBlankLabel)
{
    db().execute(QStringLiteral(
        "INSERT INTO SYSTEM (Chunk_Size, SMTPServer, Reports_Folder) VALUES (9000, 'old', '/x')"));
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    auto in = goodInput();
    in.chunkSize = QStringLiteral("32000");
    in.smtpServer = QStringLiteral("   ");
    in.smtpUser = QStringLiteral("  o'brien  ");
    in.labelCustom = QStringLiteral("  ");
    in.mandTargetDate = true;
    in.noLogon = true;
    ASSERT_FALSE(editor.save(in).has_value());

    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM SYSTEM")).toInt(), 1)
        << "the one row is updated";
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("Label_Custom")).toString(),
              QStringLiteral(" "));
    EXPECT_TRUE(db().query(QStringLiteral("SELECT SMTPServer FROM SYSTEM"))
                    .isNull(QStringLiteral("SMTPServer")));
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("SMTPServer")).toString(), QString())
        << "Null reads as empty";
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("SMTPUser")).toString(),
              QStringLiteral("o'brien"));
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("Chunk_Size")).toInt(), 32000);
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("Reports_Folder")).toString(),
              QStringLiteral(" "));
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("Mand_Target_Date")).toInt(),
              db().dialect().trueValue());
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("NoLogon")).toInt(), db().dialect().trueValue());

    const SystemSettingsInput back = editor.load();
    EXPECT_EQ(back.smtpUser, QStringLiteral("o'brien"));
    EXPECT_TRUE(back.mandTargetDate);
    SystemSettings loaded;
    loaded.reload(db(), m_settings, QStringLiteral("/opt/bx"));
    EXPECT_EQ(loaded.reportsFolder(), QStringLiteral("/opt/bx/QV Reports"))
        << "the saved blank means the default folder";
}

TEST_P(SystemSettingsTest, OnTheServerTheSharedLoginGoesToTheSettingsAndNoLogonIsCleared)
{
    SystemSettingsEditor editor(db(), m_settings, m_admin, QStringLiteral("db.example:5433"),
                                QStringLiteral("o'brien db"));
    auto in = goodInput();
    in.sharedLogin = QStringLiteral("bx_shared");
    in.sharedPassword = QStringLiteral("p'w");
    in.noLogon = true;
    ASSERT_FALSE(editor.save(in).has_value());
    const QString section = QStringLiteral("SQL\\db.example:5433\\DB\\o'brien db");
    EXPECT_EQ(m_settings.get(section, QStringLiteral("UnsecureLogin")),
              QStringLiteral("bx_shared"));
    EXPECT_EQ(SettingsStore(m_settings.path()).get(section, QStringLiteral("UnsecurePwd")),
              QStringLiteral("p'w"));
    EXPECT_EQ(readSystemValue(db(), QStringLiteral("NoLogon")).toInt(), 0);
    EXPECT_EQ(editor.load().sharedLogin, QStringLiteral("bx_shared"));
}

// Per server as typed (case and blanks aside) and per service; only an administrator changes it.
TEST_P(SystemSettingsTest, PlainMailLoginIsAllowedPerServerByAnAdministrator)
{
    using MailPlainLogin::Service;
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    auto in = goodInput();
    in.smtpServer = QStringLiteral(" Mail.Example:587 ");
    in.popServer = QStringLiteral("mail.example");
    in.smtpPlainLogin = true;
    ASSERT_FALSE(editor.save(in).has_value());
    const struct
    {
        Service service;
        const char* server;
        bool allowed;
    } cases[] = {
        {Service::Smtp, "mail.example:587", true}, {Service::Smtp, "MAIL.EXAMPLE:587  ", true},
        {Service::Smtp, "mail.example", false},    {Service::Pop3, "mail.example:587", false},
        {Service::Pop3, "mail.example", false},    {Service::Smtp, "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MailPlainLogin::allowed(db(), c.service, QLatin1String(c.server)), c.allowed)
            << c.server;
    SystemSettingsInput back = editor.load();
    EXPECT_TRUE(back.smtpPlainLogin);
    EXPECT_FALSE(back.popPlainLogin);

    UserRecord ann;
    ann.userId = QStringLiteral("ann");
    EXPECT_EQ(MailPlainLogin::setAllowed(db(), ann, Service::Pop3, in.popServer, true),
              RefusalOf<>{UserRights::kNotAdministrator});
    back.smtpPlainLogin = false;
    back.popPlainLogin = true;
    EXPECT_TRUE(SystemSettingsEditor(db(), m_settings, ann, {}, {}).save(back).has_value());
    EXPECT_FALSE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Smtp, in.smtpServer));

    ASSERT_FALSE(editor.save(back).has_value());
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    EXPECT_FALSE(MailPlainLogin::allowed(db(), Service::Smtp, in.smtpServer));

    // A server renamed takes its permission along; the old name keeps none.
    back.popServer = QStringLiteral("MAIL.example ");
    ASSERT_FALSE(editor.save(back).has_value());
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    back.popServer = QStringLiteral("pop.example");
    ASSERT_FALSE(editor.save(back).has_value());
    EXPECT_FALSE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Pop3, back.popServer));
}

TEST_P(SystemSettingsTest, VarsReadAndWriteByName)
{
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "no row";
    db().execute(QStringLiteral("INSERT INTO Vars (VarName, VarValue) VALUES ('BuildNum', NULL)"));
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "Null";
    Vars::setValue(db(), QStringLiteral("buildnum"), QStringLiteral("75"));
    EXPECT_EQ(Vars::buildNumber(db()), 75);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM Vars")).toInt(), 1)
        << "names ignore case";

    EXPECT_TRUE(Vars::createsUserLogins(db()));
    Vars::setValue(db(), QStringLiteral("NotCreateNewLogin"), QStringLiteral("no"));
    EXPECT_TRUE(Vars::createsUserLogins(db()));
    Vars::setValue(db(), QStringLiteral("NotCreateNewLogin"), QStringLiteral("YES"));
    EXPECT_FALSE(Vars::createsUserLogins(db()));

    Vars::setValue(db(), QStringLiteral("USERS/DEFAULT ASSIGN/o'brien"), QStringLiteral("it's"));
    EXPECT_EQ(Vars::value(db(), QStringLiteral("users/default assign/O'BRIEN")),
              QStringLiteral("it's"));

    db().executeScript(QStringLiteral("DROP TABLE Vars"));
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "an older database without the table";
    EXPECT_FALSE(Vars::contains(db(), QStringLiteral("BuildNum")));
}

BX_INSTANTIATE_ENGINES(SystemSettingsTest);
