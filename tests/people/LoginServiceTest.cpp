#include "people/LoginService.h"

#include "core/Session.h"
#include "core/StoredPassword.h"
#include "core/db/DatabaseOpener.h"
#include "people/PasswordChange.h"
#include "people/UserStore.h"
#include "support/AttachContent.h"
#include "support/PeopleBuilders.h"
#include "support/SampleFiles.h"
#include "support/SessionTest.h"

#include <QDir>
#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <limits>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kOld = u"Right Pw1"_s;

/** Stored forms made once per process: each hash takes a noticeable moment. */
const QString& storedHash(const QString& typed)
{
    static QMap<QString, QString> made;
    auto it = made.find(typed);
    if (it == made.end())
        it = made.insert(typed, StoredPassword::forStorage(typed));
    return *it;
}

/**
 * A database of the current schema with a few users beside the delivered "admin", and a session
 * logged on as "alice" over a second connection. On the server engine alice has her own login
 * role, named after the process database as the program's logins are.
 */
class LoginServiceTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString insert = u"INSERT INTO LU_USER (USER_ID, User_Name, "
                               "User_Password, Disabled) VALUES (?, ?, ?, ?)"_s;
        db().execute(insert, {u"alice"_s, u"Alice"_s, storedHash(kOld), false});
        db().execute(insert, {u"dora"_s, u"Dora"_s, storedHash(kOld), true});
        db().execute(insert, {u"O'Brien"_s, u"Pat O'Brien"_s, storedHash(u"it's mine"_s), false});
        db().execute(insert, {u"ghost"_s, QVariant(), QVariant(), false});
        db().execute(insert, {u"nopw"_s, u"No Pw"_s, QString(), false});

        session.user.userId = u"Alice"_s;
        session.user.password = kOld;
        if (isServer()) {
            session.connection.sqlDatabaseName = bx::test::processDatabase();
            m_role = serverRoleName(session.connection.sqlDatabaseName, u"alice"_s);
            db().executeScript(u"DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN "
                               "PASSWORD '%2'"_s.arg(m_role, PasswordCipher::loginPassword(kOld)));
        }
    }

    void TearDown() override
    {
        session.closeDatabase();
        if (!m_role.isEmpty())
            db().executeScript(u"DROP ROLE IF EXISTS "_s + m_role);
        SessionTest::TearDown();
    }

    QString programDir() const { return tempDir() + u"/program"_s; }

    QList<QVariantList> users()
    {
        return db().query(u"SELECT * FROM LU_USER ORDER BY USER_ID"_s).rows();
    }

    QString storedPassword()
    {
        return db()
            .scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {u"alice"_s})
            .toString();
    }

    /** Whether alice's role accepts the enciphered form of a typed password. */
    bool roleAccepts(const QString& typed) { return bx::test::roleAccepts(m_role, typed); }

    QString m_role;
};

} // namespace

TEST_P(LoginServiceTest, ValidationRefusesInOrderAndWritesNothing)
{
    const QList<QVariantList> before = users();
    const struct
    {
        const char* id;
        const char* typed;
        LoginResult result;
        const char* text;
        PromptIcon icon;
    } cases[] = {
        {"   ", "", LoginResult::NoUserId, "Please specify a User ID", PromptIcon::None},
        {"nobody", "Right Pw1", LoginResult::UnknownUser, "Invalid Password or User Name.",
         PromptIcon::Critical},
        // A row with neither name nor password counts as none.
        {"ghost", "", LoginResult::UnknownUser, "Invalid Password or User Name.",
         PromptIcon::Critical},
        {"alice", "Right Pw2", LoginResult::WrongPassword, "Invalid Password or User Name. ",
         PromptIcon::Critical},
        // Disabled shows only to whoever knows the password.
        {"dora", "wrong", LoginResult::WrongPassword, "Invalid Password or User Name. ",
         PromptIcon::Critical},
        {"DORA", " right pw1", LoginResult::Disabled, "User is disabled", PromptIcon::None},
        // A user without password is matched by an empty one only.
        {"nopw", "x", LoginResult::WrongPassword, "Invalid Password or User Name. ",
         PromptIcon::Critical},
    };
    for (const auto& c : cases) {
        UserRecord record;
        EXPECT_EQ(validateLogin(db(), QString::fromUtf8(c.id), QString::fromUtf8(c.typed), &record),
                  c.result)
            << c.id;
        EXPECT_EQ(messageFor(c.result).text, QString::fromUtf8(c.text));
        EXPECT_EQ(messageFor(c.result).icon, c.icon);
        EXPECT_TRUE(record.userId.isEmpty()) << "only a successful check hands out the row";
    }
    UserRecord record;
    EXPECT_EQ(validateLogin(db(), u" ALICE "_s, u"rIGHT pW1  "_s, &record), LoginResult::Ok);
    EXPECT_EQ(record.userName, u"Alice"_s);
    EXPECT_EQ(validateLogin(db(), u"nopw"_s, u"  "_s, nullptr), LoginResult::Ok);
    // Stored forms compare exactly, though the column ignores letter case.
    EXPECT_TRUE(db().passwordMatches(u"alice"_s, storedHash(kOld)));
    EXPECT_FALSE(db().passwordMatches(u"alice"_s, storedHash(kOld).toUpper()));
    EXPECT_FALSE(db().passwordMatches(u"ALICE"_s, storedHash(kOld)))
        << "the ID as the row spells it";
    EXPECT_EQ(users(), before);
}

TEST_P(LoginServiceTest, CheaperHashesAreHashedAnewOnceWithoutOverwritingAChange)
{
    const auto setAlices = [&](const QString& stored) {
        db().execute(u"UPDATE LU_USER SET User_Password = ? WHERE USER_ID = ?"_s,
                     {stored, u"alice"_s});
    };
    EXPECT_FALSE(rehashOldPassword(db(), u"alice"_s, kOld)) << "today's limits";
    EXPECT_EQ(storedPassword(), storedHash(kOld));

    setAlices(bx::test::kCheapHash);
    UserRecord record;
    ASSERT_EQ(validateLogin(db(), u"Alice"_s, u" Old PW"_s, &record), LoginResult::Ok);
    EXPECT_TRUE(rehashOldPassword(db(), record.userId, u" Old PW"_s));
    const QString rehashed = storedPassword();
    EXPECT_NE(rehashed, bx::test::kCheapHash);
    EXPECT_FALSE(StoredPassword::needsRehash(StoredPassword::settingOf(rehashed)));
    EXPECT_EQ(validateLogin(db(), u"alice"_s, u"old pw"_s, nullptr), LoginResult::Ok);
    // Hashed once: a later log-on leaves it as it is.
    EXPECT_FALSE(rehashOldPassword(db(), u"alice"_s, u"old pw"_s));
    EXPECT_EQ(storedPassword(), rehashed);

    // The password was changed elsewhere after this log-on checked it: the change stands.
    setAlices(bx::test::kCheapHash);
    const QString checked =
        StoredPassword::hashWithSetting(db().passwordSetting(u"alice"_s), u"old pw"_s);
    setAlices(storedHash(kOld));
    EXPECT_FALSE(db().replacePassword(u"alice"_s, checked, rehashed));
    EXPECT_EQ(storedPassword(), storedHash(kOld));
    // Only a hash replaces a hash.
    setAlices(bx::test::kCheapHash);
    EXPECT_FALSE(db().replacePassword(u"alice"_s, bx::test::kCheapHash, u"pw"_s));
    EXPECT_EQ(storedPassword(), bx::test::kCheapHash);
}

TEST_P(LoginServiceTest, AnUnknownUserTakesAsLongAsAWrongPassword)
{
    // The fastest of three each, taken in turns, so that a busy machine does not decide it.
    const auto took = [this](const QString& id) {
        QElapsedTimer t;
        t.start();
        validateLogin(db(), id, u"wrong"_s, nullptr);
        return t.nsecsElapsed();
    };
    qint64 wrong = std::numeric_limits<qint64>::max();
    qint64 unknown = wrong;
    for (int i = 0; i < 3; ++i) {
        wrong = std::min(wrong, took(u"alice"_s));
        unknown = std::min(unknown, took(u"nobody"_s));
    }
    // Without the dummy comparison an unknown ID answers about a hundred times sooner.
    EXPECT_GT(unknown, wrong / 4) << unknown << " ns against " << wrong << " ns";
}

TEST_P(LoginServiceTest, UserIdsMatchInAnyCaseBeyondAscii)
{
    db().execute(u"INSERT INTO LU_USER (USER_ID, User_Name, User_Password, "
                 "Disabled) VALUES (?, ?, ?, ?)"_s,
                 {u"zoë"_s, u"Zoë"_s, storedHash(kOld), false});
    UserRecord zoe;
    ASSERT_EQ(validateLogin(db(), u"ZOË"_s, kOld, &zoe), LoginResult::Ok);
    EXPECT_EQ(zoe.userId, u"zoë"_s) << "the row's spelling";
    EXPECT_EQ(validateLogin(db(), u"ZOE"_s, kOld, nullptr), LoginResult::UnknownUser);
}

TEST_P(LoginServiceTest, UserRowReadsWithAdministratorRules)
{
    db().execute(u"UPDATE LU_USER SET Full_Access = ?, Join_Team = ?, Ext12 = ?, "
                 "Ext13 = ?, User_Email = ?"_s,
                 {true, QVariant(), false, false, QVariant()});
    UserRecord obrien;
    ASSERT_EQ(validateLogin(db(), u"o'brien"_s, u"IT'S MINE"_s, &obrien), LoginResult::Ok);
    EXPECT_EQ(obrien.userId, u"O'Brien"_s);
    EXPECT_TRUE(obrien.fullAccess);
    EXPECT_FALSE(obrien.joinTeam);
    EXPECT_FALSE(obrien.administrator);
    EXPECT_EQ(obrien.email, QString());
}

TEST_P(LoginServiceTest, FirstLogonStoresFourReportsOnce)
{
    for (const char* name : {"1.rpx", "2.rpx", "4.rpx", "6.rpx", "9.rpx"})
        ASSERT_TRUE(
            bx::test::writeFile(QDir(programDir()).filePath(QString::fromLatin1(name)), name));
    clock.setStandardOffsetSeconds(3600); // local time one hour ahead of GMT
    const auto reports = [&] {
        return db().query(u"SELECT * FROM ATTACH WHERE Attach_Type = ? "
                          "ORDER BY Attach_Filename"_s,
                          {u"R"_s});
    };
    ASSERT_TRUE(reports().isEmpty());

    storeStandardReportsIfNone(db(), programDir(), clock);
    storeStandardReportsIfNone(db(), programDir(), clock);
    RecordSet rs = reports();
    ASSERT_EQ(rs.rowCount(), 4);
    const char* expected[][2] = {{"1.rpx", "Activities Completed this Week"},
                                 {"4.rpx", "Over Due Tasks"},
                                 {"6.rpx", "Tasks With No Due Date Assigned"},
                                 {"9.rpx", "Who's Working on What Report"}};
    for (const auto& [file, title] : expected) {
        EXPECT_EQ(rs.text(u"Attach_Filename"_s), QString::fromLatin1(file));
        EXPECT_EQ(rs.text(u"Attach_Title"_s), QString::fromLatin1(title));
        EXPECT_EQ(rs.text(u"Attach_Owner"_s), u"admin"_s);
        EXPECT_EQ(rs.dateTime(u"Attach_Date"_s),
                  QDateTime(QDate(2024, 1, 31), QTime(13, 5, 9), Qt::UTC));
        EXPECT_EQ(bx::test::attachContent(db(), rs.value(u"Attach_Number"_s)), QByteArray(file));
        rs.moveNext();
    }
}

TEST_P(LoginServiceTest, PasswordChangeRefusesThenHashesAndReachesTheRole)
{
    const char* refused[][3] = {
        {"      ", "      ", "Please specify a new password"},
        {"abcdef", "ABCDEF", "Password was not retyped correctly"},
        {"  abcde  ", "  abcde  ", "New password must be at least 6 characters long"},
    };
    for (const auto& [password, retyped, refusal] : refused)
        EXPECT_EQ(changePassword(session, QString::fromUtf8(password), QString::fromUtf8(retyped)),
                  QString::fromUtf8(refusal));
    EXPECT_EQ(storedPassword(), storedHash(kOld));

    const QString typed = u"New Secret'9"_s;
    ASSERT_EQ(changePassword(session, typed, typed), std::nullopt);
    EXPECT_TRUE(StoredPassword::isHashed(storedPassword()));
    EXPECT_EQ(session.user.sqlPassword, PasswordCipher::loginPassword(typed));
    EXPECT_EQ(validateLogin(db(), u"alice"_s, u" new SECRET'9"_s, nullptr), LoginResult::Ok);
    EXPECT_EQ(validateLogin(db(), u"alice"_s, kOld, nullptr), LoginResult::WrongPassword);
    if (isServer()) {
        EXPECT_TRUE(roleAccepts(typed));
        EXPECT_FALSE(roleAccepts(kOld));
    }
}

TEST_P(LoginServiceTest, RoleAndRowChangeTogetherOrNotAtAll)
{
    // The row was renamed meanwhile: on the server the role keeps its password too.
    const auto rename = [&](const char* from, const char* to) {
        db().execute(u"UPDATE LU_USER SET USER_ID = ? WHERE USER_ID = ?"_s,
                     {QString::fromLatin1(to), QString::fromLatin1(from)});
    };
    rename("alice", "alice2");
    const QString typed = u"New Secret9"_s;
    try {
        changePassword(session, typed, typed);
        ADD_FAILURE() << "changed without a row";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().startsWith(u"The password was not changed: "_s));
    }
    EXPECT_EQ(session.user.password, kOld);
    if (!isServer())
        return;
    EXPECT_TRUE(roleAccepts(kOld));

    // A role that cannot be changed leaves the row alone.
    rename("alice2", "alice");
    db().executeScript(u"DROP ROLE "_s + m_role);
    EXPECT_THROW(changePassword(session, typed, typed), DbError);
    EXPECT_EQ(storedPassword(), storedHash(kOld));
}

BX_INSTANTIATE_ENGINES(LoginServiceTest);

TEST(LoginService, OnlyTheThreeAdministratorsMayUpgrade)
{
    for (const char* id : {"admin", "ADMIN", "Admin2", " admin3 "})
        EXPECT_TRUE(mayUpgrade(QString::fromLatin1(id))) << id;
    for (const char* id : {"", "admin4", "administrator", "admin 2"})
        EXPECT_FALSE(mayUpgrade(QString::fromLatin1(id))) << id;
}
