#include "app/StartLogin.h"
#include "core/BuildInfo.h"
#include "core/Session.h"
#include "core/SingleInstance.h"
#include "core/StoredPassword.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/Vars.h"
#include "mainwindow/ui/Access_Form.h"
#include "people/LoginFlow.h"
#include "people/ui/LOGIN_FORM.h"
#include "support/OpenedUrls.h"
#include "support/QtPrinters.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

/**
 * A user's machine: a settings file, a new embedded database remembered in it, and users
 * "O'Brien" (password "Secret1") and "gone" (disabled, "Secret2").
 */
class LoginWindowTest : public test::WindowTest
{
protected:
    /** Nobody is signed in: the database is only made and remembered, as the wizard leaves it. */
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(makeDatabase(path(), true));
        auto db = SqliteDatabase::open(path());
        const QString add = u"INSERT INTO LU_USER (USER_ID, User_Name, "
                            "User_Password, Disabled) VALUES (?, ?, ?, ?)"_s;
        db->execute(add,
                    {u"O'Brien"_s, u"Pat O'Brien"_s, StoredPassword::forStorage(u"Secret1"_s), 0});
        db->execute(add, {u"gone"_s, u"Gone"_s, StoredPassword::forStorage(u"Secret2"_s), -1});
        key = u"bxtest-%1"_s.arg(QRandomGenerator::global()->generate());
    }

    QString path() const { return dir.filePath(u"pax.db"_s); }

    void setSystem(const char* column, const QVariant& value)
    {
        SqliteDatabase::open(path())->execute(
            u"UPDATE SYSTEM SET "_s + QLatin1String(column) + u" = ?"_s, {value});
    }

    QByteArray fileHash() const
    {
        QFile f(path());
        f.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

    QString key;
};

} // namespace

TEST_F(LoginWindowTest, TwoWordsOnTheCommandLineLogOnWithoutTheLoginWindow)
{
    SingleInstance instance(key);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    start.setDesktopUserName(u"nobody"_s);
    ASSERT_TRUE(start.start({u"o'brien"_s, u"SECRET1"_s}, instance))
        << prompt.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(start.loginWindow(), nullptr);
    ASSERT_NE(start.mainWindow(), nullptr);
    EXPECT_TRUE(start.mainWindow()->isVisible());
    // The user as his row spells him, whatever the letter case typed.
    EXPECT_EQ(start.mainWindow()->windowTitle(),
              u"Brindlepax Brindlepax  : O'Brien (Active) (Viewed & Unviewed)"_s);
    EXPECT_EQ(session.user.record.userName, u"Pat O'Brien"_s);
    EXPECT_TRUE(prompt.records().isEmpty());
    start.mainWindow()->closeWithoutQuestion();
}

// What else the command line may hold is LoginFlowTest's; short of a log-on the window shows.
TEST_F(LoginWindowTest, AUserIdAloneShowsTheLoginWindow)
{
    SingleInstance instance(key);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    start.setDesktopUserName(u"nobody"_s);
    ASSERT_TRUE(start.start({u"O'Brien"_s}, instance));
    ASSERT_NE(start.loginWindow(), nullptr);
    EXPECT_TRUE(start.loginWindow()->isVisible());
    EXPECT_EQ(start.mainWindow(), nullptr);
    EXPECT_EQ(start.loginWindow()->findChild<QLabel*>(u"lblDBHidden"_s)->text(), path());
}

TEST_F(LoginWindowTest, ASecondCopyGivesWayWithAMessage)
{
    SingleInstance first(key);
    ASSERT_TRUE(first.claim());
    SingleInstance second(key);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    EXPECT_FALSE(start.start({}, second));
    EXPECT_EQ(prompt.texts(), QStringList{u"Brindlepax is already running"_s});
    EXPECT_EQ(prompt.last().icon, PromptIcon::None);
    EXPECT_EQ(start.loginWindow(), nullptr);
}

TEST_F(LoginWindowTest, DesktopNameLogsOnOnlyWhenAllowedAndNeverAsAdmin)
{
    setSystem("NoLogon", -1);
    SqliteDatabase::open(path())->execute(
        u"INSERT INTO LU_USER (USER_ID, User_Name, User_Password) VALUES ('pat', 'Pat', 'x')"_s);
    {
        StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
        start.setDesktopUserName(u"Pat"_s);
        start.run(0, true, false);
        ASSERT_NE(start.mainWindow(), nullptr) << "the desktop user is logged on";
        EXPECT_EQ(session.user.userId, u"pat"_s);
        EXPECT_EQ(start.loginWindow(), nullptr);
        start.mainWindow()->closeWithoutQuestion();
    }
    for (const char* name : {"Admin", "ADMIN", "gone", "stranger"}) {
        StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
        start.setDesktopUserName(QLatin1String(name));
        start.run(0, true, false);
        EXPECT_EQ(start.mainWindow(), nullptr) << name;
        EXPECT_NE(start.loginWindow(), nullptr) << name;
    }
    setSystem("NoLogon", 0);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    start.setDesktopUserName(u"pat"_s);
    start.run(0, true, false);
    EXPECT_EQ(start.mainWindow(), nullptr) << "not without the system setting";
    EXPECT_TRUE(prompt.records().isEmpty()) << "a failed automatic log-on is silent";
}

TEST_F(LoginWindowTest, ARefusalIsShownAndWritesNothing)
{
    const QByteArray before = fileHash();
    LOGIN_FORM login(session, prompt, QCoreApplication::applicationDirPath());
    auto* user = login.findChild<QLineEdit*>(u"Text1"_s);
    auto* password = login.findChild<QLineEdit*>(u"Text2"_s);
    bool loggedOn = false;
    QObject::connect(&login, &LOGIN_FORM::loggedOn, [&] { loggedOn = true; });
    for (const char* typed : {"gone", ""}) {
        user->setText(QLatin1String(typed));
        password->setText(u"secret2"_s);
        login.findChild<QPushButton*>(u"Command1"_s)->click();
        EXPECT_FALSE(loggedOn) << typed;
    }
    EXPECT_EQ(prompt.texts(), (QStringList{u"User is disabled"_s, u"Please specify a User ID"_s}));
    EXPECT_EQ(fileHash(), before) << "a failed log-on writes nothing to the database";
    EXPECT_EQ(session.user.userId, QString()) << "the previous log-on values stand";
}

// F1 opens the index page of the program's folder it was given, or says that it is missing.
TEST_F(LoginWindowTest, F1OpensTheHelpPageOfTheProgramFolder)
{
    test::OpenedUrls opened;
    const QString folders[] = {QCoreApplication::applicationDirPath(), dir.path()};
    for (const QString& folder : folders) {
        LOGIN_FORM login(session, prompt, folder);
        login.show();
        QApplication::setActiveWindow(&login);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&login));
        QTest::keyClick(&login, Qt::Key_F1);
    }
    const QString page = u"help/index.html"_s;
    EXPECT_EQ(opened.take(),
              QStringList{QUrl::fromLocalFile(QDir(folders[0]).filePath(page)).toString()});
    EXPECT_EQ(prompt.texts(), QStringList{u"File not found: "_s + QDir(folders[1]).filePath(page)});
}

TEST_F(LoginWindowTest, AnOlderDatabaseOffersTheUpgradeInsteadOfTheMainWindow)
{
    {
        auto db = SqliteDatabase::open(path());
        Vars::setValue(*db, u"BuildNum"_s, QString::number(BuildInfo::buildNumber() - 10));
    }
    LOGIN_FORM login(session, prompt, QCoreApplication::applicationDirPath());
    bool loggedOn = false;
    QObject::connect(&login, &LOGIN_FORM::loggedOn, [&] { loggedOn = true; });
    login.findChild<QLineEdit*>(u"Text1"_s)->setText(u"O'Brien"_s);
    login.findChild<QLineEdit*>(u"Text2"_s)->setText(u"Secret1"_s);
    login.LOGIN_Click();
    login.LOGIN_Click();
    EXPECT_FALSE(loggedOn);
    EXPECT_TRUE(login.inUpgradeState());
    EXPECT_TRUE(login.findChild<QPushButton*>(u"Command3"_s)->isVisibleTo(&login));

    // A database without a build number is never older.
    Vars::setValue(session.db(), u"BuildNum"_s, QString());
    login.LOGIN_Click();
    EXPECT_TRUE(loggedOn);
}

TEST_F(LoginWindowTest, TheExitQuestionsNoKeepsTheSessionAndYesEndsIt)
{
    SingleInstance instance(key);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    start.setDesktopUserName(u"nobody"_s);
    ASSERT_TRUE(start.start({u"O'Brien"_s, u"Secret1"_s}, instance));
    Access_Form* main = start.mainWindow();
    ASSERT_NE(main, nullptr);
    session.db().execute(u"INSERT INTO LOGIN (User_ID, LastUpdate) VALUES (?, ?)"_s,
                         {u"O'Brien"_s, clock.nowLocal()});
    session.taskFormSize = QSize(640, 480);

    prompt.answer(PromptAnswer::No);
    main->close();
    EXPECT_EQ(prompt.last().text, u"Do you really want to exit Brindlepax?"_s);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(session.db().scalar(u"SELECT count(*) FROM LOGIN"_s).toInt(), 1);
    EXPECT_FALSE(settings.contains(u"TaskForm"_s, u"Widht"_s));

    prompt.answer(PromptAnswer::Yes);
    main->close();
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(session.db().scalar(u"SELECT count(*) FROM LOGIN"_s).toInt(), 0);
    EXPECT_EQ(settings.get(u"TaskForm"_s, u"Widht"_s), u"640"_s);
}

TEST_F(LoginWindowTest, LogOffLogsOnAnotherUserOrBringsThePreviousOneBack)
{
    SingleInstance instance(key);
    StartLogin start(session, prompt, QCoreApplication::applicationDirPath());
    start.setDesktopUserName(u"nobody"_s);
    ASSERT_TRUE(start.start({u"O'Brien"_s, u"Secret1"_s}, instance));
    Access_Form* main = start.mainWindow();
    ASSERT_NE(main, nullptr);
    QAction* logOff = main->findChild<QAction*>(u"mnuLogOff"_s);
    EXPECT_EQ(logOff->text(), u"Log off O'Brien"_s);
    // O'Brien may not design lifecycles. A view command sets and clears its checks and names the
    // view in the caption.
    EXPECT_FALSE(main->findChild<QAction*>(u"LIFECYCLE"_s)->isVisible());
    main->findChild<QAction*>(u"IDM_COMPLETE"_s)->trigger();
    EXPECT_TRUE(main->findChild<QAction*>(u"IDM_COMPLETE"_s)->isChecked());
    EXPECT_FALSE(main->findChild<QAction*>(u"IDM_ACTIVE"_s)->isChecked());
    EXPECT_TRUE(main->windowTitle().endsWith(u" (Complete) (Viewed & Unviewed)"_s))
        << main->windowTitle().toStdString();

    // Cancelled: the previous user goes on, on a database opened again for him.
    QTimer::singleShot(0, [] {
        auto* login = qobject_cast<LOGIN_FORM*>(QApplication::activeModalWidget());
        ASSERT_NE(login, nullptr);
        login->findChild<QPushButton*>(u"Command2"_s)->click();
    });
    logOff->trigger();
    EXPECT_EQ(session.user.userId, u"O'Brien"_s);
    ASSERT_TRUE(session.isOpen());

    // Another user logs on: the window is rebuilt for him.
    QTimer::singleShot(0, [] {
        auto* login = qobject_cast<LOGIN_FORM*>(QApplication::activeModalWidget());
        ASSERT_NE(login, nullptr);
        login->findChild<QLineEdit*>(u"Text1"_s)->setText(u"admin"_s);
        login->findChild<QLineEdit*>(u"Text2"_s)->clear();
        login->findChild<QPushButton*>(u"Command1"_s)->click();
    });
    logOff->trigger();
    EXPECT_EQ(session.user.userId, u"admin"_s);
    EXPECT_EQ(logOff->text(), u"Log off admin"_s);
    EXPECT_TRUE(main->windowTitle().contains(u" : admin (Active)"_s));
    main->closeWithoutQuestion();
}
