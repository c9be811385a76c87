#include "core/StoredPassword.h"

#include "core/settings/SettingsStore.h"
#include "people/RememberedLogon.h"
#include "support/PeopleBuilders.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
namespace SP = bx::StoredPassword;

TEST(StoredPassword, ScramblerKeepsItsFormAndKey)
{
    EXPECT_EQ(SP::scramble({}), u"***"_s);
    EXPECT_EQ(SP::unscramble(u"***"_s), QString());
    EXPECT_EQ(SP::unscramble(u"clear pw"_s), u"clear pw"_s);
    // A character equal to its key digit scrambles to NUL; surrogate pairs must come back whole.
    const QString text = u"1152 O'Brien ✓ 𝄞"_s;
    EXPECT_EQ(SP::unscramble(SP::scramble(text)), text);
    const QString longText(100, u'x');
    EXPECT_EQ(SP::unscramble(SP::scramble(longText)), longText.left(83));

    // Every client of a database must share the key: scrambling zeros reveals it.
    QString key;
    for (const QChar c : SP::scramble(QString(83, u'0')).mid(3))
        key += QChar(c.unicode() + u'0');
    EXPECT_EQ(key, u"1152804029432035998800554291295608318078835871914406271767248132"
                   "2006118603794862091"_s);
}

TEST(StoredPassword, EveryStoredFormMatchesIgnoringCaseAndBlanks)
{
    const QString password = u"Secret Pw1"_s;
    const QString hash = SP::forStorage(password);
    for (const QString& stored : {hash, SP::scramble(password), password}) {
        SCOPED_TRACE(stored.toStdString());
        EXPECT_TRUE(SP::matches(stored, u"  SECRET pw1 "_s));
        EXPECT_FALSE(SP::matches(stored, u"secretpw1"_s));
        EXPECT_FALSE(SP::matches(stored, QString()));
    }
    EXPECT_TRUE(SP::matches(u"***"_s, u"  "_s));
    EXPECT_FALSE(SP::matches(u"***"_s, u"***"_s));

    // Salted, and the password is nowhere in it.
    const QString again = SP::forStorage(password);
    EXPECT_NE(again, hash);
    EXPECT_TRUE(again.startsWith(SP::kHashPrefix + u"$argon2id$"_s));
    EXPECT_FALSE(again.contains(u"secret"_s, Qt::CaseInsensitive));
    const QString damaged = SP::kHashPrefix + u"garbage"_s;
    EXPECT_FALSE(SP::matches(damaged, damaged));
}

using bx::test::kCheapHash;

TEST(StoredPassword, TheSettingGivesTheStoredHashOfTheRightPasswordOnly)
{
    const QString hash = SP::forStorage(u"Secret Pw1"_s);
    for (const QString& stored : {hash, kCheapHash}) {
        SCOPED_TRACE(stored.toStdString());
        const QString setting = SP::settingOf(stored);
        EXPECT_EQ(setting + QLatin1Char('$') + stored.section(QLatin1Char('$'), -1), stored);
        const QString typed = stored == hash ? u" SECRET pw1  "_s : u"Old PW"_s;
        EXPECT_EQ(SP::hashWithSetting(setting, typed), stored)
            << "the text crypto_pwhash_str gives, to the letter";
        const QString wrong = SP::hashWithSetting(setting, u"secretpw1"_s);
        EXPECT_TRUE(wrong.startsWith(setting + QLatin1Char('$')));
        EXPECT_NE(wrong, stored);
    }

    // Settings this program does not make give nothing, so that nothing matches them.
    const QString salt = u"$RCRJsvO4dYHhn/ABkFy/cQ"_s;
    for (const QString& setting :
         {QString(), u"clear pw"_s, SP::kHashPrefix + u"garbage"_s,
          SP::kHashPrefix + u"$argon2i$v=19$m=8192,t=1,p=1"_s + salt,
          SP::kHashPrefix + u"$argon2id$v=19$m=8192,t=1,p=2"_s + salt,
          SP::kHashPrefix + u"$argon2id$v=19$m=8192,t=0,p=1"_s + salt,
          SP::kHashPrefix + u"$argon2id$v=19$m=4194304,t=1,p=1"_s + salt,
          SP::kHashPrefix + u"$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/"_s,
          SP::kHashPrefix + u"$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/ABkFy/cQ=="_s}) {
        EXPECT_EQ(SP::hashWithSetting(setting, u"old pw"_s), QString()) << setting.toStdString();
        EXPECT_FALSE(SP::needsRehash(setting)) << "no log-on could store it anew";
    }
    EXPECT_EQ(SP::settingOf(u"clear pw"_s), QString());
    EXPECT_EQ(SP::settingOf(SP::scramble(u"old pw"_s)), QString());
}

TEST(RememberedLogon, RoundTripOnlyWhileOn)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(u"MRBX.conf"_s));
    EXPECT_FALSE(RememberedLogon::load(settings).has_value());

    const QString password = u" 1152 pw%=\\ "_s;
    RememberedLogon::store(settings, true, u"O'Brien"_s, password);
    const auto loaded = RememberedLogon::load(SettingsStore(settings.path()));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->userId, u"O'Brien"_s);
    EXPECT_EQ(loaded->password, password);
    QFile file(settings.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("pw"));

    // Switched off at a log-on: nothing is read, and the password is no longer kept.
    RememberedLogon::store(settings, false, u"O'Brien"_s, password);
    EXPECT_FALSE(RememberedLogon::load(settings).has_value());
    EXPECT_FALSE(settings.contains(u"LOGIN"_s, u"PASSWORD"_s));
}
