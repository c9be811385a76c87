#include "core/settings/IniFile.h"

#include "core/settings/CompanyTexts.h"
#include "support/FuzzFinds.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& bytes, const QString& name = u"test.ini"_s)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST_F(IniFileTest, NamesIgnoreCaseAndValuesAreTrimmed)
{
    const IniFile ini(write("[CompanyData]\r\n"
                            "  NAME   =   Acme Tools  \r\n"
                            "[ Other ]\r\n"
                            "name=other\r\n"));
    EXPECT_EQ(ini.value(s("companydata"), s("name")), s("Acme Tools"));
    EXPECT_EQ(ini.value(s("COMPANYDATA"), s("Name")), s("Acme Tools"));
    EXPECT_EQ(ini.value(s("other"), s("NAME")), s("other"));
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTrimmedDefault)
{
    const QString path = write("[A]\nempty=\nkey=v\n");
    EXPECT_EQ(IniFile::read(m_dir.filePath(s("missing.ini")), s("A"), s("key"), s("  dflt ")),
              s("dflt"));
    EXPECT_EQ(IniFile::read(path, s("B"), s("key"), s("dflt")), s("dflt"));
    EXPECT_EQ(IniFile::read(path, s("A"), s("other"), s(" dflt")), s("dflt"));
    // A key that is present but empty is not missing: it gives the empty text.
    EXPECT_EQ(IniFile::read(path, s("A"), s("empty"), s("dflt")), QString());
    EXPECT_FALSE(IniFile(m_dir.filePath(s("missing.ini"))).isLoaded());
}

TEST_F(IniFileTest, ValuesAreCutTo249Characters)
{
    const QByteArray exact(249, 'x');
    const QByteArray blankAtCut = QByteArray(248, 'y') + "  tail";
    const IniFile ini(write("[A]\nlong=" + exact + "overflow\nblank=" + blankAtCut + "\n"));
    EXPECT_EQ(ini.value(s("A"), s("long")), QString::fromLatin1(exact));
    EXPECT_EQ(ini.value(s("A"), s("blank")), QString(248, u'y'));
    EXPECT_EQ(ini.value(s("A"), s("missing"), QString(300, u'd')).size(), 249);
}

// A character beyond the first plane is two UTF-16 units: a cut between them would leave half a
// character (a find of the fuzz target ini_file), so the cut falls before it.
TEST_F(IniFileTest, TheCutNeverSplitsACharacter)
{
    const IniFile ini = IniFile::fromBytes(test::fuzzFind("ini_file", "pair-at-the-cut.ini"));
    const QString value = ini.value(s("s"), s("k"));
    EXPECT_EQ(value, QString(248, u'a'));
    EXPECT_TRUE(QStringView(value).isValidUtf16());
}

TEST_F(IniFileTest, ValuesKeepSpecialCharactersAndLoseSurroundingQuotes)
{
    const IniFile ini(write("; a comment line\n"
                            "[A]\n"
                            "  ; key=commented out\n"
                            "path=C:\\Data\\Reports\\\n"
                            "list=a, b,c;d\n"
                            "eq=x=y\n"
                            "quoted=\"  padded  \"\n"
                            "half=\"open\n"
                            "inner=say \"hi\" now\n"
                            "no equals sign here\n"
                            "key=first\n"
                            "KEY=second\n"));
    EXPECT_FALSE(ini.contains(s("A"), s("; key")));
    EXPECT_FALSE(ini.contains(s("A"), s("key=commented out")));
    EXPECT_EQ(ini.value(s("A"), s("path")), s("C:\\Data\\Reports\\"));
    EXPECT_EQ(ini.value(s("A"), s("list")), s("a, b,c;d"));
    EXPECT_EQ(ini.value(s("A"), s("eq")), s("x=y"));
    EXPECT_EQ(ini.value(s("A"), s("quoted")), s("padded"));
    EXPECT_EQ(ini.value(s("A"), s("half")), s("\"open"));
    EXPECT_EQ(ini.value(s("A"), s("inner")), s("say \"hi\" now"));
    EXPECT_EQ(ini.value(s("A"), s("key")), s("first"));
}

TEST_F(IniFileTest, FileEncodings)
{
    // Windows-1252: 0xE9 is e-acute in both it and Latin-1; 0x80 is the euro sign only in 1252.
    const IniFile legacy(write("[A]\nname=Caf\xE9 \x80 5\n", s("legacy.ini")));
    EXPECT_EQ(legacy.value(s("A"), s("name")), s("Café € 5"));

    const IniFile utf8(write("\xEF\xBB\xBF[A]\nname=Café € 5\n", s("utf8.ini")));
    EXPECT_EQ(utf8.value(s("a"), s("name")), s("Café € 5"));

    const QString utf16Text = s("[A]\r\nname=Café € 5\r\n");
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : utf16Text) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    const IniFile wide(write(utf16, s("wide.ini")));
    EXPECT_EQ(wide.value(s("A"), s("name")), s("Café € 5"));
}

TEST_F(IniFileTest, CompanyTextsFromPartialFileKeepBuiltIns)
{
    const CompanyTexts builtIn = CompanyTexts::builtIn();
    const CompanyTexts t = CompanyTexts::load(write("[companydata]\n"
                                                    "name = Acme\n"
                                                    "Email=\n"
                                                    "WebAddress3=\"https://acme.example\"\n"
                                                    "[Other]\n"
                                                    "FullName=wrong section\n",
                                                    CompanyTexts::fileName()));
    EXPECT_EQ(t.name, s("Acme"));
    EXPECT_EQ(t.webAddress3, s("https://acme.example"));
    EXPECT_EQ(t.email, QString()); // present but empty, as a profile read gives it
    EXPECT_EQ(t.fullName, builtIn.fullName);

    const CompanyTexts none = CompanyTexts::load(m_dir.filePath(s("absent.ini")));
    EXPECT_EQ(none.name, builtIn.name);
    EXPECT_FALSE(builtIn.name.isEmpty());
}
