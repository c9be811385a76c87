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
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {

class SystemSettingsTest : public EngineTest
{
protected:
    void arrange() override
    {
        const QString text = isServer() ? u"citext"_s : u"TEXT COLLATE NOCASE"_s;
        db().executeScript(
            u"CREATE TABLE SYSTEM (MAX_STORAGE integer, Chunk_Size integer, Query_Wait integer, "
            "Edit_Attachments smallint, GetParentParams smallint, NoLogon smallint, "
            "ShowApproverName smallint, Show_Custom smallint, Label_Custom %1, Reports_Folder "
            "%1, "
            "SMTPServer %1, POPServer %1, SMTPAuth smallint, SMTPLeave smallint, SMTPUser %1, "
            "SMTPPwd %1, VoIPServerIP %1, Mand_Target_Date smallint, Mand_Category smallint, "
            "Mand_Priority smallint, Mand_Contact smallint); "
            "CREATE TABLE Vars (VarName %1 PRIMARY KEY, VarValue %1)"_s.arg(text));
        m_admin.userId = u"admin"_s;
    }

    SystemSettingsInput goodInput() const
    {
        SystemSettingsInput in;
        in.chunkSize = u"2000"_s;
        in.queryWait = u"30"_s;
        return in;
    }

    QTemporaryDir m_home;
    SettingsStore m_settings{m_home.filePath(u"MRBX.conf"_s)};
    UserRecord m_admin;
};

} // namespace

TEST_P(SystemSettingsTest, LoadingAppliesDefaultsAndLimits)
{
    db().execute(
        u"INSERT INTO SYSTEM (Chunk_Size, Query_Wait, Mand_Priority, Label_Custom, SMTPServer) "
        "VALUES (?, NULL, ?, ?, ?)"_s,
        {500, true, u"Cost centre"_s, u"smtp.example"_s});
    SystemSettings s;
    ASSERT_TRUE(s.reload(db(), m_settings, u"/opt/bx"_s));
    EXPECT_EQ(s.chunkSize, 1000) << "a size below 1000 is used as 1000";
    EXPECT_EQ(s.queryWait, 10) << "Null query timeout is 10 seconds";
    EXPECT_TRUE(s.mandPriority);
    EXPECT_FALSE(s.mandCategory);
    EXPECT_EQ(s.labelCustom, u"Cost centre"_s);
    EXPECT_EQ(s.reportsFolder(), u"/opt/bx/QV Reports"_s);

    db().execute(u"UPDATE SYSTEM SET Chunk_Size = 4096, Query_Wait = 25, Reports_Folder = ?"_s,
                 {u"/srv/reports/;/srv/more"_s});
    ASSERT_TRUE(s.reload(db(), m_settings, u"/opt/bx"_s));
    EXPECT_EQ(s.chunkSize, 4096);
    EXPECT_EQ(s.queryWait, 25);
    EXPECT_EQ(s.reportsFolders, (QStringList{u"/srv/reports"_s, u"/srv/more"_s}));
}

TEST_P(SystemSettingsTest, PersonalMailSettingsReplaceTheSystemOnes)
{
    db().execute(
        u"INSERT INTO SYSTEM (SMTPServer, POPServer, SMTPUser, SMTPAuth) VALUES (?, ?, ?, ?)"_s,
        {u"smtp.corp"_s, u"pop.corp"_s, u"corp"_s, true});
    m_settings.set(u"SMTP"_s, u"SMTP Server Name"_s, u"smtp.home"_s);
    m_settings.set(u"SMTP"_s, u"SMTP User Name"_s, u"o'brien"_s);
    m_settings.set(u"SMTP"_s, u"SMTP Auth"_s, u"0"_s);
    m_settings.set(u"SMTP"_s, u"SMTP Leave"_s, u"1"_s);

    SystemSettings s;
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpServer, u"smtp.corp"_s) << "personal values apply only when chosen";

    m_settings.set(u"SMTP"_s, u"SMTP My Setting"_s, u"1"_s);
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpServer, u"smtp.home"_s);
    EXPECT_EQ(s.popServer, QString());
    EXPECT_EQ(s.smtpUser, u"o'brien"_s);
    EXPECT_FALSE(s.smtpAuth);
    EXPECT_TRUE(s.smtpLeave);
}

// The personal password is kept scrambled and handed to the mail code in clear; one stored in
// clear by an older client still reads, and turning the personal settings off brings the
// database's back.
TEST_P(SystemSettingsTest, PersonalPasswordIsStoredScrambledAndReadInClear)
{
    db().execute(u"INSERT INTO SYSTEM (SMTPServer, SMTPPwd) VALUES (?, ?)"_s,
                 {u"smtp.corp"_s, u"corp pw"_s});
    PersonalMailSettings mine;
    mine.own = true;
    mine.smtpServer = u"smtp.home"_s;
    mine.password = u"Zoë's pw;%"_s;
    ASSERT_FALSE(mine.save(m_settings).has_value());
    const QString password = u"SMTP Password"_s;
    const QString stored = m_settings.get(u"SMTP"_s, password);
    EXPECT_FALSE(stored.contains(u"pw"_s));
    EXPECT_EQ(SettingsStore(m_settings.path()).get(u"SMTP"_s, password), stored);

    SystemSettings s;
    s.reload(db(), m_settings, {});
    EXPECT_TRUE(s.personalMail);
    EXPECT_EQ(s.smtpServer, u"smtp.home"_s);
    EXPECT_EQ(s.smtpPwd, mine.password);
    EXPECT_EQ(PersonalMailSettings::load(m_settings).password, mine.password);

    m_settings.set(u"SMTP"_s, password, u"old clear pw"_s);
    s.reload(db(), m_settings, {});
    EXPECT_EQ(s.smtpPwd, u"old clear pw"_s);

    mine.own = false;
    mine.password = QString(84, u'x');
    EXPECT_TRUE(mine.save(m_settings).has_value()) << "the scrambler keeps 83 characters";
    EXPECT_EQ(m_settings.get(u"SMTP"_s, password), u"old clear pw"_s);
    mine.password.clear();
    ASSERT_FALSE(mine.save(m_settings).has_value());
    s.reload(db(), m_settings, {});
    EXPECT_FALSE(s.personalMail);
    EXPECT_EQ(s.smtpServer, u"smtp.corp"_s);
    EXPECT_EQ(s.smtpPwd, u"corp pw"_s);
}

TEST_P(SystemSettingsTest, ColumnsMissingFromAnOlderDatabaseKeepThePreviousValue)
{
    db().execute(u"INSERT INTO SYSTEM (Chunk_Size, Mand_Category) VALUES (3000, 1)"_s);
    SystemSettings s;
    ASSERT_TRUE(s.reload(db(), m_settings, {}));
    EXPECT_TRUE(s.mandCategory);

    // An older database: a SYSTEM table without the newer columns.
    db().executeScript(u"DROP TABLE SYSTEM; CREATE TABLE SYSTEM (Chunk_Size integer)"_s);
    db().execute(u"INSERT INTO SYSTEM (Chunk_Size) VALUES (5000)"_s);
    ASSERT_TRUE(s.reload(db(), m_settings, {}));
    EXPECT_EQ(s.chunkSize, 5000);
    EXPECT_TRUE(s.mandCategory);
    EXPECT_EQ(s.queryWait, 10);

    db().executeScript(u"DROP TABLE SYSTEM"_s);
    EXPECT_FALSE(s.reload(db(), m_settings, {}));
    EXPECT_EQ(s.chunkSize, 5000);
}

TEST_P(SystemSettingsTest, SaveChecksInTheWindowsOrder)
{
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    const QString memory = u"Allocated memory must be between 2,000 and 32,000"_s;
    for (const char* chunk : {"2000", "32000", " 2500 "}) {
        auto in = goodInput();
        in.chunkSize = QLatin1String(chunk);
        EXPECT_FALSE(SystemSettingsEditor::check(in).has_value()) << chunk;
    }
    for (const char* chunk : {"1999", "32001", "abc"}) {
        auto in = goodInput();
        in.chunkSize = QLatin1String(chunk);
        in.queryWait.clear();
        const auto refusal = SystemSettingsEditor::check(in);
        ASSERT_TRUE(refusal.has_value()) << chunk;
        EXPECT_EQ(refusal->message, memory);
        EXPECT_EQ(refusal->field, SystemSettingsRefusal::Field::ChunkSize);
    }
    auto in = goodInput();
    in.queryWait = u"   "_s;
    const auto refusal = editor.save(in);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message, u"Please define query timeout"_s);
    EXPECT_EQ(refusal->field, SystemSettingsRefusal::Field::QueryWait);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM SYSTEM"_s).toInt(), 0)
        << "a refusal writes nothing";

    // Only an administrator saves: refused first, before the shared login is stored.
    UserRecord ann;
    ann.userId = u"ann"_s;
    const QString server = u"db.example:5433"_s;
    in.sharedLogin = u"bx_shared"_s;
    EXPECT_EQ(SystemSettingsEditor(db(), m_settings, ann, server, u"pax"_s).save(in),
              (SystemSettingsRefusal{UserRights::kNotAdministrator, SystemSettingsField::None}));
    EXPECT_EQ(
        m_settings.get(SettingsKeys::serverSection(server, u"pax"_s), SettingsKeys::kUnsecureLogin),
        QString());
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM SYSTEM"_s).toInt(), 0);
    ann.administrator = true;
    EXPECT_FALSE(SystemSettingsEditor(db(), m_settings, ann, {}, {}).save(goodInput()));
}

TEST_P(SystemSettingsTest, SaveStoresTrimmedTextsNullsAndOneBlankLabel)
{
    db().execute(
        u"INSERT INTO SYSTEM (Chunk_Size, SMTPServer, Reports_Folder) VALUES (9000, 'old', '/x')"_s);
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    auto in = goodInput();
    in.chunkSize = u"32000"_s;
    in.smtpServer = u"   "_s;
    in.smtpUser = u"  o'brien  "_s;
    in.labelCustom = u"  "_s;
    in.mandTargetDate = true;
    in.noLogon = true;
    ASSERT_FALSE(editor.save(in).has_value());

    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM SYSTEM"_s).toInt(), 1) << "the one row is updated";
    EXPECT_EQ(readSystemValue(db(), u"Label_Custom"_s).toString(), u" "_s);
    EXPECT_TRUE(db().query(u"SELECT SMTPServer FROM SYSTEM"_s).isNull(u"SMTPServer"_s));
    EXPECT_EQ(readSystemValue(db(), u"SMTPUser"_s).toString(), u"o'brien"_s);
    EXPECT_EQ(readSystemValue(db(), u"Chunk_Size"_s).toInt(), 32000);
    EXPECT_EQ(readSystemValue(db(), u"Reports_Folder"_s).toString(), u" "_s);
    EXPECT_EQ(readSystemValue(db(), u"NoLogon"_s).toInt(), db().dialect().trueValue());
    EXPECT_TRUE(editor.load().mandTargetDate);
    SystemSettings loaded;
    loaded.reload(db(), m_settings, u"/opt/bx"_s);
    EXPECT_EQ(loaded.reportsFolder(), u"/opt/bx/QV Reports"_s)
        << "the saved blank means the default folder";
}

TEST_P(SystemSettingsTest, OnTheServerTheSharedLoginGoesToTheSettingsAndNoLogonIsCleared)
{
    SystemSettingsEditor editor(db(), m_settings, m_admin, u"db.example:5433"_s, u"o'brien db"_s);
    auto in = goodInput();
    in.sharedLogin = u"bx_shared"_s;
    in.sharedPassword = u"p'w"_s;
    in.noLogon = true;
    ASSERT_FALSE(editor.save(in).has_value());
    const QString section = u"SQL\\db.example:5433\\DB\\o'brien db"_s;
    EXPECT_EQ(m_settings.get(section, u"UnsecureLogin"_s), u"bx_shared"_s);
    EXPECT_EQ(SettingsStore(m_settings.path()).get(section, u"UnsecurePwd"_s), u"p'w"_s);
    EXPECT_EQ(readSystemValue(db(), u"NoLogon"_s).toInt(), 0);
    EXPECT_EQ(editor.load().sharedLogin, u"bx_shared"_s);
}

// Per server as typed (case and blanks aside) and per service; only an administrator changes it.
TEST_P(SystemSettingsTest, PlainMailLoginIsAllowedPerServerByAnAdministrator)
{
    using MailPlainLogin::Service;
    SystemSettingsEditor editor(db(), m_settings, m_admin, {}, {});
    auto in = goodInput();
    in.smtpServer = u" Mail.Example:587 "_s;
    in.popServer = u"mail.example"_s;
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
    ann.userId = u"ann"_s;
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
    back.popServer = u"MAIL.example "_s;
    ASSERT_FALSE(editor.save(back).has_value());
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    back.popServer = u"pop.example"_s;
    ASSERT_FALSE(editor.save(back).has_value());
    EXPECT_FALSE(MailPlainLogin::allowed(db(), Service::Pop3, in.popServer));
    EXPECT_TRUE(MailPlainLogin::allowed(db(), Service::Pop3, back.popServer));
}

TEST_P(SystemSettingsTest, VarsReadAndWriteByName)
{
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "no row";
    db().execute(u"INSERT INTO Vars (VarName, VarValue) VALUES ('BuildNum', NULL)"_s);
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "Null";
    Vars::setValue(db(), u"buildnum"_s, u"75"_s);
    EXPECT_EQ(Vars::buildNumber(db()), 75);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM Vars"_s).toInt(), 1) << "names ignore case";

    EXPECT_TRUE(Vars::createsUserLogins(db()));
    Vars::setValue(db(), u"NotCreateNewLogin"_s, u"no"_s);
    EXPECT_TRUE(Vars::createsUserLogins(db()));
    Vars::setValue(db(), u"NotCreateNewLogin"_s, u"YES"_s);
    EXPECT_FALSE(Vars::createsUserLogins(db()));

    Vars::setValue(db(), u"USERS/DEFAULT ASSIGN/o'brien"_s, u"it's"_s);
    EXPECT_EQ(Vars::value(db(), u"users/default assign/O'BRIEN"_s), u"it's"_s);

    db().executeScript(u"DROP TABLE Vars"_s);
    EXPECT_EQ(Vars::buildNumber(db()), 0) << "an older database without the table";
    EXPECT_FALSE(Vars::contains(db(), u"BuildNum"_s));
}

BX_INSTANTIATE_ENGINES(SystemSettingsTest);
