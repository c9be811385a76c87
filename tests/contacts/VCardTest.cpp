#include "contacts/VCard.h"

#include "core/UserRights.h"
#include "support/ContactRows.h"
#include "support/EngineFixture.h"
#include "support/SampleFiles.h"
#include "support/SessionTest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::contacts::Contact;
using bx::test::countRows;

namespace {

Contact tricky()
{
    Contact c;
    c.lastName = u"Brontë; Sr."_s;
    c.firstName = u"Zoë, Ann"_s;
    c.mi = u"Q"_s;
    c.title = u"Head of R&D, Europe"_s;
    c.company = u"Société Générale; Ltd\\"_s;
    c.address = u"1 Rue, Bâtiment 2"_s;
    c.city = u"Zürich"_s;
    c.state = u"ZH"_s;
    c.zip = u"8001"_s;
    c.phoneHome = u"+41 1"_s;
    c.phoneWork = u"+41 2"_s;
    c.phoneCell = u"+41 3"_s;
    c.fax = u"+41 4"_s;
    c.email = u"zoe@example.ch"_s;
    // Long enough to be folded, with multi-byte characters on the way.
    c.notes = u"Line one; with, marks\nLine two: "_s + QString(40, QChar(0x00E9)) + u" end"_s;
    return c;
}

Contact plain(const QString& last, const QString& first)
{
    Contact c;
    c.lastName = last;
    c.firstName = first;
    return c;
}

/** The system's Python, for which the distribution packages python3-vobject. */
QString python()
{
    const QString system = u"/usr/bin/python3"_s;
    return QFile::exists(system) ? system : u"python3"_s;
}

/** What python3-vobject reads from a file, as JSON. */
QJsonObject readWithVobject(const QString& path)
{
    static const char* script = R"(
import json, sys, vobject
card = next(vobject.readComponents(open(sys.argv[1], encoding='utf-8', newline='').read()))
adr = card.adr.value
tels = {}
for t in card.contents.get('tel', []):
    tels[','.join(t.params.get('TYPE', []))] = t.value
print(json.dumps({'family': card.n.value.family, 'given': card.n.value.given,
    'additional': card.n.value.additional, 'fn': card.fn.value, 'org': card.org.value[0],
    'title': card.title.value, 'street': adr.street, 'city': adr.city, 'region': adr.region,
    'code': adr.code, 'tels': tels, 'email': card.email.value, 'note': card.note.value}))
)";
    QProcess reader;
    reader.start(python(), {u"-c"_s, QString::fromLatin1(script), path});
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0) {
        ADD_FAILURE() << reader.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

bool vobjectInstalled()
{
    return QProcess::execute(python(), {u"-c"_s, u"import vobject"_s}) == 0;
}

} // namespace

TEST(VCardTest, ExportIsReadByAnotherReaderIntact)
{
    if (!vobjectInstalled()) {
        if (bx::test::underCi())
            FAIL() << "python3-vobject is not installed";
        GTEST_SKIP() << "python3-vobject is not installed (scripts/setup.sh --test-tools)";
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"one.vcf"_s);
    ASSERT_TRUE(bx::test::writeFile(path, vcard::write({tricky()})));
    const Contact c = tricky();
    const QJsonObject got = readWithVobject(path);
    const QJsonObject tels{{u"home"_s, c.phoneHome},
                           {u"work"_s, c.phoneWork},
                           {u"cell"_s, c.phoneCell},
                           {u"fax"_s, c.fax}};
    const QJsonObject expected{
        {u"family"_s, c.lastName}, {u"given"_s, c.firstName},
        {u"additional"_s, c.mi},   {u"fn"_s, u"Zoë, Ann Q Brontë; Sr."_s},
        {u"org"_s, c.company},     {u"title"_s, c.title},
        {u"street"_s, c.address},  {u"city"_s, c.city},
        {u"region"_s, c.state},    {u"code"_s, c.zip},
        {u"tels"_s, tels},         {u"email"_s, c.email},
        {u"note"_s, c.notes},
    };
    EXPECT_EQ(got, expected) << QJsonDocument(got).toJson().toStdString();
}

// No written line passes 75 octets or splits a character (VCardImportTest reads them back).
TEST(VCardTest, WrittenCardsHaveFoldedLines)
{
    const QList<Contact> written = {tricky(), plain(u"Lee"_s, u"Al"_s)};
    const QByteArray bytes = vcard::write(written);
    for (const QByteArray& line : bytes.split('\n')) {
        EXPECT_LE(line.size(), 76) << line.toStdString(); // with its CR
        if (!line.isEmpty()) {
            EXPECT_TRUE(line.endsWith('\r'));
        }
    }
    EXPECT_TRUE(bytes.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
}

// A 3.0 file of another program: folded lines, quoted-printable values broken softly over
// lines, another character set, bare type words, groups; a card without a name is skipped.
TEST(VCardTest, ReadsThreeZeroWithQuotedPrintableAndCharsets)
{
    const QByteArray file =
        "BEGIN:VCARD\r\n"
        "VERSION:3.0\r\n"
        "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=\r\n"
        "=F6rg;;;\r\n"
        "item1.ORG:Big\r\n"
        "  Corp\\, Inc.\r\n"
        "TEL;TYPE=WORK,FAX:111\r\n"
        "TEL;CELL:222\r\n"
        "TEL;type=\"home\":333\r\n"
        "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Caf=C3=A9=0D=0Aline t=\r\n"
        "wo\r\n"
        "PHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\n"
        "END:VCARD\r\n"
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "EMAIL:nobody@example.org\n"
        "END:VCARD\n"
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:Only Formatted\n"
        "END:VCARD\n";
    const Outcome<vcard::ReadCards> read = vcard::read(file);
    ASSERT_TRUE(read) << read.refusal()->message.toStdString();
    ASSERT_EQ(read->cards.size(), 2);
    EXPECT_EQ(read->skipped, 1);
    const Contact& c = read->cards.at(0);
    EXPECT_EQ(c.lastName, u"Müller"_s);
    EXPECT_EQ(c.firstName, u"Jörg"_s);
    EXPECT_EQ(c.company, u"Big Corp, Inc."_s);
    EXPECT_EQ(c.fax, u"111"_s);
    EXPECT_EQ(c.phoneCell, u"222"_s);
    EXPECT_EQ(c.phoneHome, u"333"_s);
    EXPECT_EQ(c.notes, u"Café\r\nline two"_s);
    EXPECT_EQ(read->cards.at(1).lastName, u"Only Formatted"_s);
}

TEST(VCardTest, MalformedDataNamesItsLine)
{
    const struct
    {
        const char* bytes;
        int line;
    } cases[] = {
        {"BEGIN:VCARD\r\nVERSION:4.0\r\nN;no value here\r\nEND:VCARD\r\n", 3},
        {"BEGIN:VCARD\r\nN:A;B\r\n\r\nBEGIN:VCARD\r\n", 4},
        {"N:A;B\r\n", 1},
        {"BEGIN:VCARD\r\nN:A;B\r\nEND:VCARD\r\nEND:VCARD\r\n", 4},
        {"BEGIN:VCARD\r\nVERSION:5.0\r\nEND:VCARD\r\n", 2},
        {"BEGIN:VCARD\r\nN:A;B\r\n", 1},
        {"BEGIN:VCARD\r\nN;CHARSET=NO-SUCH-SET:A;B\r\nEND:VCARD\r\n", 2},
        {"BEGIN:VCARD\r\nN:A;\xff\r\nEND:VCARD\r\n", 2},
    };
    for (const auto& c : cases) {
        const Outcome<vcard::ReadCards> read = vcard::read(QByteArray(c.bytes));
        ASSERT_TRUE(read.refusal()) << c.bytes;
        EXPECT_TRUE(read.refusal()->message.startsWith(
            u"The vCard data is malformed at line %1: "_s.arg(c.line)))
            << read.refusal()->message.toStdString();
    }
}

namespace {

class VCardImportTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        user.userId = u"ann"_s;
        user.editContactInfo = true;
    }
    QString fileWith(const QByteArray& bytes)
    {
        const QString path = tempDir() + u"/cards.vcf"_s;
        EXPECT_TRUE(bx::test::writeFile(path, bytes));
        return path;
    }
    UserRecord user;
};

} // namespace

// Export, then import: the same contacts once more; the counts name the skipped cards.
TEST_P(VCardImportTest, ExportedContactsImportAgain)
{
    ASSERT_TRUE(contacts::save(db(), user, tricky()));
    ASSERT_TRUE(contacts::save(db(), user, plain(u"Lee"_s, u"Al"_s)));
    const QString path = tempDir() + u"/all.vcf"_s;
    const Outcome<int> exported = vcard::exportFile(db(), path);
    ASSERT_TRUE(exported);
    EXPECT_EQ(*exported, 2);
    const Outcome<vcard::Imported> imported = vcard::importFile(db(), user, path);
    ASSERT_TRUE(imported) << imported.refusal()->message.toStdString();
    EXPECT_EQ(imported->added, 2);
    QList<Contact> stored = contacts::all(db());
    ASSERT_EQ(stored.size(), 4);
    for (Contact& c : stored)
        c.key = 0;
    EXPECT_EQ(stored.at(0), stored.at(1));
    EXPECT_EQ(stored.at(0), tricky());
    EXPECT_EQ(vcard::importedSentence({2, 1}),
              u"2 contacts were imported, 1 cards without a name were skipped."_s);
}

// An oversized file, a malformed one and a user without the right: refused, nothing written.
TEST_P(VCardImportTest, RefusedImportsWriteNothing)
{
    const QByteArray good = vcard::write({plain(u"A"_s, u"B"_s)});
    QByteArray big = good;
    big += QByteArray(vcard::kMaxImportBytes - big.size() + 1, '\n');
    UserRecord reader;
    reader.userId = u"bob"_s;
    const struct
    {
        QByteArray bytes;
        const UserRecord* who;
        QString begins;
    } cases[] = {
        {big, &user, u"The file %1 is larger than 8 MiB"_s},
        {good + "BEGIN:VCARD\r\nN:C;D\r\nX\r\nEND:VCARD\r\n", &user,
         u"%1: The vCard data is malformed at line 8: "_s},
        {good, &reader, UserRights::kNoEditContacts},
    };
    for (const auto& c : cases) {
        const QString path = fileWith(c.bytes);
        const Outcome<vcard::Imported> imported = vcard::importFile(db(), *c.who, path);
        ASSERT_TRUE(imported.refusal());
        const QString begins =
            c.begins.contains(QLatin1String("%1")) ? c.begins.arg(path) : c.begins;
        EXPECT_TRUE(imported.refusal()->message.startsWith(begins))
            << imported.refusal()->message.toStdString();
    }
    // Exactly at the limit the file is read.
    big.chop(1);
    EXPECT_TRUE(vcard::importFile(db(), user, fileWith(big)));
    EXPECT_EQ(countRows(db(), u"CONTACT"_s), 1);
}

BX_INSTANTIATE_ENGINES(VCardImportTest);
