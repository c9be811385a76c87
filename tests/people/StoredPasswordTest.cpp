#include "core/StoredPassword.h"

#include "core/settings/SettingsStore.h"
#include "people/RememberedLogon.h"
#include "support/PeopleBuilders.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
namespace SP = bx::StoredPassword;

TEST(StoredPassword, ScramblerKeepsItsFormAndKey)
{
    EXPECT_EQ(SP::scramble({}), QStringLiteral("***"));
    EXPECT_EQ(SP::unscramble(QStringLiteral("***")), QString());
    EXPECT_EQ(SP::unscramble(QStringLiteral("clear pw")), QStringLiteral("clear pw"));
    // A character equal to its key digit scrambles to NUL; surrogate pairs must come back whole.
    const QString text = QStringLiteral("1152 O'Brien ✓ 𝄞");
    EXPECT_EQ(SP::unscramble(SP::scramble(text)), text);
    const QString longText(100, u'x');
    EXPECT_EQ(SP::unscramble(SP::scramble(longText)), longText.left(83));

    // Every client of a database must share the key: scrambling zeros reveals it.
    QString key;
    for (const QChar c : SP::scramble(QString(83, u'0')).mid(3))
        key += QChar(c.unicode() + u'0');
    EXPECT_EQ(key, QStringLiteral("1152804029432035998800554291295608318078835871914406271767248132"
                                  "2006118603794862091"));
}

TEST(StoredPassword, EveryStoredFormMatchesIgnoringCaseAndBlanks)
{
    const QString password = QStringLiteral("Secret Pw1");
    const QString hash = SP::forStorage(password);
    for (const QString& stored : {hash, SP::scramble(password), password}) {
        SCOPED_TRACE(stored.toStdString());
        EXPECT_TRUE(SP::matches(stored, QStringLiteral("  SECRET pw1 ")));
        EXPECT_FALSE(SP::matches(stored, QStringLiteral("secretpw1")));
        EXPECT_FALSE(SP::matches(stored, QString()));
    }
    EXPECT_TRUE(SP::matches(QStringLiteral("***"), QStringLiteral("  ")));
    EXPECT_FALSE(SP::matches(QStringLiteral("***"), QStringLiteral("***")));

    // Salted, and the password is nowhere in it.
    const QString again = SP::forStorage(password);
    EXPECT_NE(again, hash);
    EXPECT_TRUE(again.startsWith(SP::kHashPrefix + QStringLiteral("$argon2id$")));
    EXPECT_FALSE(again.contains(QStringLiteral("secret"), Qt::CaseInsensitive));
    const QString damaged = SP::kHashPrefix + QStringLiteral("garbage");
    EXPECT_FALSE(SP::matches(damaged, damaged));
}

using bx::test::kCheapHash;

TEST(StoredPassword, TheSettingGivesTheStoredHashOfTheRightPasswordOnly)
{
    const QString hash = SP::forStorage(QStringLiteral("Secret Pw1"));
    for (const QString& stored : {hash, kCheapHash}) {
        SCOPED_TRACE(stored.toStdString());
        const QString setting = SP::settingOf(stored);
        EXPECT_EQ(setting + QLatin1Char('$') + stored.section(QLatin1Char('$'), -1), stored);
        const QString typed =
            stored == hash ? QStringLiteral(" SECRET pw1  ") : QStringLiteral("Old PW");
        EXPECT_EQ(SP::hashWithSetting(setting, typed), stored)
            << "the text crypto_pwhash_str gives, to the letter";
        const QString wrong = SP::hashWithSetting(setting, QStringLiteral("secretpw1"));
        EXPECT_TRUE(wrong.startsWith(setting + QLatin1Char('$')));
        EXPECT_NE(wrong, stored);
    }

    // Settings this program does not make give nothing, so that nothing matches them.
    const QString salt = QStringLiteral("$RCRJsvO4dYHhn/ABkFy/cQ");
    for (const QString& setting :
         {QString(), QStringLiteral("clear pw"), SP::kHashPrefix + QStringLiteral("garbage"),
          SP::kHashPrefix + QStringLiteral("$argon2i$v=19$m=8192,t=1,p=1") + salt,
          SP::kHashPrefix + QStringLiteral("$argon2id$v=19$m=8192,t=1,p=2") + salt,
          SP::kHashPrefix + QStringLiteral("$argon2id$v=19$m=8192,t=0,p=1") + salt,
          SP::kHashPrefix + QStringLiteral("$argon2id$v=19$m=4194304,t=1,p=1") + salt,
          SP::kHashPrefix + QStringLiteral("$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/"),
          SP::kHashPrefix +
              QStringLiteral("$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/cQ==")}) {
        EXPECT_EQ(SP::hashWithSetting(setting, QStringLiteral("old pw")), QString())
            << setting.toStdString();
        EXPECT_FALSE(SP::needsRehash(setting)) << "no log-on could store it anew";
    }
    EXPECT_EQ(SP::settingOf(QStringLiteral("clear pw")), QString());
    EXPECT_EQ(SP::settingOf(SP::scramble(QStringLiteral("old pw"))), QString());
}

TEST(RememberedLogon, RoundTripOnlyWhileOn)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    EXPECT_FALSE(RememberedLogon::load(settings).has_value());

    const QString password = QStringLiteral(" 1152 pw%=\\ ");
    RememberedLogon::store(settings, true, QStringLiteral("O'Brien"), password);
    const auto loaded = RememberedLogon::load(SettingsStore(settings.path()));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->userId, QStringLiteral("O'Brien"));
    EXPECT_EQ(loaded->password, password);
    QFile file(settings.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("pw"));

    // Switched off at a log-on: nothing is read, and the password is no longer kept.
    RememberedLogon::store(settings, false, QStringLiteral("O'Brien"), password);
    EXPECT_FALSE(RememberedLogon::load(settings).has_value());
    EXPECT_FALSE(settings.contains(QStringLiteral("LOGIN"), QStringLiteral("PASSWORD")));
}
