#include "core/settings/SettingsStore.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace bx;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList namesOf(const QList<SettingValue>& values)
{
    QStringList names;
    for (const SettingValue& v : values)
        names.append(v.name);
    return names;
}

QStringList g_warnings;

void catchWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings.append(text);
}

class SettingsStoreTest : public ::testing::Test
{
protected:
    // A folder that does not exist yet, so that every test also covers its creation.
    QString path() const { return m_dir.filePath(s("config/brindlepax/MRBX.conf")); }

    unsigned mode() const
    {
        struct stat st = {};
        EXPECT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
        return st.st_mode & 0777;
    }

    void writeRaw(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(SettingsStoreTest, NamesWithSeparatorsAndQuotesKeepTheirOrderAcrossReload)
{
    const QStringList sections = {s("SQL"),
                                  s("SQL\\Srv"),
                                  s("SQL\\myhost:5432\\DB\\o'brien db"),
                                  s("Options\\TeamTree\\UserFont"),
                                  s("Access Form 1"),
                                  s("a/b \"c\"")};
    {
        SettingsStore store(path());
        for (const QString& section : sections)
            EXPECT_TRUE(store.set(section, s("Zulu"), section));
        store.set(s("SQL"), s("Alpha"), s("2"));
        store.set(s("SQL"), s("Mike"), s("3"));
        store.set(s("SQL"), s("zulu"), s("updated in place"));
    }
    const SettingsStore reread(path());
    EXPECT_EQ(reread.sections(), sections);
    EXPECT_EQ(namesOf(reread.values(s("sql"))), (QStringList{s("Zulu"), s("Alpha"), s("Mike")}));
    EXPECT_EQ(reread.get(s("SQL"), s("ZULU")), s("updated in place"));
    for (const QString& section : sections.mid(1))
        EXPECT_EQ(reread.get(section, s("Zulu")), section);
}

TEST_F(SettingsStoreTest, AnyCharacterRoundTripsInSectionsKeysAndValues)
{
    const QStringList odd = {s("/home/o'brien/data=x/pax.db"),
                             s("C:\\data\\[x].mdb"),
                             s("[looks like a section]"),
                             s("#not a comment"),
                             s(";nor this"),
                             s("two\nlines\r\nand a CR\r"),
                             s("  leading and trailing  "),
                             s(" "),
                             s("100% and %41 and %"),
                             s("= starts with equals ="),
                             s("tab\there ]"),
                             s("Café € ünïcode"),
                             QString(QChar(u'\0')) + s("nul"),
                             QString()};
    {
        SettingsStore store(path());
        for (qsizetype i = 0; i < odd.size(); ++i) {
            store.set(s("MSAccess\\DB"), odd.at(i), odd.at(odd.size() - 1 - i));
            store.set(odd.at(i), s("k"), odd.at(i));
        }
    }
    const SettingsStore reread(path());
    const QList<SettingValue> values = reread.values(s("MSAccess\\DB"));
    ASSERT_EQ(values.size(), odd.size());
    for (qsizetype i = 0; i < odd.size(); ++i) {
        EXPECT_EQ(values.at(i).name, odd.at(i));
        EXPECT_EQ(values.at(i).value, odd.at(odd.size() - 1 - i));
        EXPECT_EQ(reread.get(odd.at(i), s("k"), s("missing")), odd.at(i));
    }
}

TEST_F(SettingsStoreTest, LookupIgnoresCaseAndMissingValuesGiveTheDefault)
{
    SettingsStore store(path());
    store.set(s("SQL"), s("SQLDBName"), s("pax"));
    EXPECT_EQ(store.get(s("sql"), s("sqldbname")), s("pax"));
    EXPECT_TRUE(store.contains(s("Sql"), s("SQLDBNAME")));
    EXPECT_EQ(store.get(s("SQL"), s("other"), s("brindlepax")), s("brindlepax"));
    EXPECT_EQ(store.get(s("nowhere"), s("SQLDBName"), s("d")), s("d"));
    EXPECT_EQ(store.get(s("SQL"), s("other")), QString());

    store.set(s("sql"), s("SQLDBNAME"), s("other"));
    EXPECT_EQ(store.sections(), QStringList{s("SQL")});
    EXPECT_EQ(namesOf(store.values(s("SQL"))), QStringList{s("SQLDBName")});
}

TEST_F(SettingsStoreTest, RemovingTouchesOnlyWhatItNames)
{
    SettingsStore store(path());
    store.set(s("SQL\\Srv"), s("old-host"), QString());
    store.set(s("SQL\\Srv\\More"), s("k"), s("v"));
    store.set(s("SQL"), s("bODBC"), s("True"));
    store.set(s("SQL"), s("SQLDBName"), s("pax"));

    EXPECT_TRUE(store.removeSection(s("sql\\srv")));
    EXPECT_EQ(store.sections(), (QStringList{s("SQL\\Srv\\More"), s("SQL")}));

    EXPECT_TRUE(store.remove(s("SQL"), s("bodbc")));
    EXPECT_EQ(namesOf(store.values(s("SQL"))), QStringList{s("SQLDBName")});
    EXPECT_TRUE(store.remove(s("SQL"), s("never there")));

    const SettingsStore reread(path());
    EXPECT_EQ(reread.sections(), (QStringList{s("SQL\\Srv\\More"), s("SQL")}));
    EXPECT_FALSE(reread.contains(s("SQL"), s("bODBC")));
}

TEST_F(SettingsStoreTest, FileIsPrivateToTheUser)
{
    SettingsStore store(path());
    store.set(s("LOGIN"), s("PASSWORD"), s("x"));
    EXPECT_EQ(mode(), 0600u);

    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadOther));
    store.set(s("LOGIN"), s("PASSWORD"), s("y"));
    EXPECT_EQ(mode(), 0600u);
}

TEST_F(SettingsStoreTest, SecondStoreOnTheSameFileSeesSavedChanges)
{
    SettingsStore first(path());
    SettingsStore second(path());
    first.set(s("RECENT"), s("RECENT1"), s("Team A"));
    EXPECT_EQ(second.get(s("RECENT"), s("RECENT1")), s("Team A"));

    // The second store must not write back its stale picture of the file.
    second.set(s("RECENT"), s("RECENT2"), s("Team B"));
    EXPECT_EQ(first.get(s("RECENT"), s("RECENT1")), s("Team A"));
    EXPECT_EQ(first.get(s("RECENT"), s("RECENT2")), s("Team B"));

    first.removeSection(s("RECENT"));
    EXPECT_TRUE(second.sections().isEmpty());
}

// A batch writes its changes once, at its end; until then other stores see the file as it was.
TEST_F(SettingsStoreTest, BatchSavesOnceAtItsEnd)
{
    SettingsStore first(path());
    SettingsStore second(path());
    first.set(s("Fonts"), s("Size"), s("8"));
    {
        SettingsStore::Batch outer(first);
        first.set(s("Fonts"), s("Size"), s("10"));
        {
            SettingsStore::Batch inner(first);
            first.set(s("Fonts"), s("Name"), s("O'Brien Sans"));
        }
        first.remove(s("Fonts"), s("Missing"));
        EXPECT_EQ(first.get(s("Fonts"), s("Name")), s("O'Brien Sans"));
        EXPECT_EQ(second.get(s("Fonts"), s("Size")), s("8"));
        EXPECT_FALSE(second.contains(s("Fonts"), s("Name")));
        EXPECT_TRUE(outer.commit());
        EXPECT_EQ(second.get(s("Fonts"), s("Size")), s("10"));
    }
    EXPECT_EQ(SettingsStore(path()).get(s("Fonts"), s("Name")), s("O'Brien Sans"));
}

TEST_F(SettingsStoreTest, DamagedFileStartsEmptyAndIsKept)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    const struct
    {
        QByteArray bytes;
        const char* problem;
    } damaged[] = {{"key=value before any section\n", "line 1"},
                   {"[SQL]\nno equals sign\n", "line 2"},
                   {"[SQL\nbODBC=True\n", "line 1"},
                   {"# fine\n[SQL]\nSQLDBName=\xC3\x28\n", "line 3 is not UTF-8"}};
    for (const auto& [bytes, problem] : damaged) {
        QString named;
        EXPECT_FALSE(SettingsStore::parse(bytes, &named));
        EXPECT_EQ(named, s(problem)) << bytes.constData();

        writeRaw(bytes);
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(&catchWarning);
        SettingsStore store(path());
        qInstallMessageHandler(previous);
        EXPECT_TRUE(store.sections().isEmpty()) << bytes.constData();
        ASSERT_EQ(g_warnings.size(), 1);
        EXPECT_TRUE(g_warnings.first().contains(path()));
        EXPECT_TRUE(g_warnings.first().contains(s(problem))) << g_warnings.first().toStdString();
        EXPECT_EQ(store.get(s("SQL"), s("bODBC"), s("False")), s("False"));

        QFile backup(path() + s(".bad"));
        ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
        EXPECT_EQ(backup.readAll(), bytes);

        EXPECT_TRUE(store.set(s("SQL"), s("bODBC"), s("True")));
        EXPECT_EQ(SettingsStore(path()).get(s("SQL"), s("bODBC")), s("True"));
    }
}

TEST_F(SettingsStoreTest, HandEditedFileIsRead)
{
    QDir().mkpath(QFileInfo(path()).absolutePath());
    writeRaw("# comment\r\n\r\n[SQL]\r\nSQLDBName=pax 100%\r\n[sql]\r\nbODBC=True\r\n");
    const SettingsStore store(path());
    EXPECT_EQ(store.sections(), QStringList{s("SQL")});
    EXPECT_EQ(store.get(s("SQL"), s("SQLDBName")), s("pax 100%"));
    EXPECT_TRUE(store.getBool(s("SQL"), s("bODBC")));
}

TEST_F(SettingsStoreTest, BooleansAndCheckStates)
{
    SettingsStore store(path());
    store.setBool(s("SQL"), s("bODBC"), true);
    store.setBool(s("SQL"), s("secured"), false);
    EXPECT_EQ(store.get(s("SQL"), s("bODBC")), s("True"));
    EXPECT_EQ(store.get(s("SQL"), s("secured")), s("False"));

    store.set(s("Options\\BI"), s("ShowScreen"), s("TRUE"));
    store.set(s("Options\\BI"), s("Legend"), s("false"));
    store.set(s("Options\\BI"), s("Number"), s("-1"));
    store.set(s("Options\\BI"), s("Junk"), s("maybe"));
    EXPECT_TRUE(store.getBool(s("Options\\BI"), s("ShowScreen")));
    EXPECT_FALSE(store.getBool(s("Options\\BI"), s("Legend"), true));
    EXPECT_TRUE(store.getBool(s("Options\\BI"), s("Number")));
    EXPECT_TRUE(store.getBool(s("Options\\BI"), s("Junk"), true));
    EXPECT_TRUE(store.getBool(s("Options\\BI"), s("Missing"), true));

    store.setChecked(s("LOGIN"), s("AUTO"), true);
    EXPECT_EQ(store.get(s("LOGIN"), s("AUTO")), s("1"));
    EXPECT_TRUE(store.getChecked(s("LOGIN"), s("AUTO")));
    store.setChecked(s("LOGIN"), s("AUTO"), false);
    EXPECT_EQ(store.get(s("LOGIN"), s("AUTO")), s("0"));
    store.set(s("LOGIN"), s("AUTO"), QString());
    EXPECT_FALSE(store.getChecked(s("LOGIN"), s("AUTO")));
}
