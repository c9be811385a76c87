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

using namespace bx;
using bx::contacts::Contact;
using bx::test::countRows;

namespace {

Contact tricky()
{
    Contact c;
    c.lastName = QStringLiteral("Brontë; Sr.");
    c.firstName = QStringLiteral("Zoë, Ann");
    c.mi = QStringLiteral("Q");
    c.title = QStringLiteral("Head of R&D, Europe");
    c.company = QStringLiteral("Société Générale; Ltd\\");
    c.address = QStringLiteral("1 Rue, Bâtiment 2");
    c.city = QStringLiteral("Zürich");
    c.state = QStringLiteral("ZH");
    c.zip = QStringLiteral("8001");
    c.phoneHome = QStringLiteral("+41 1");
    c.phoneWork = QStringLiteral("+41 2");
    c.phoneCell = QStringLiteral("+41 3");
    c.fax = QStringLiteral("+41 4");
    c.email = QStringLiteral("zoe@example.ch");
    // Long enough to be folded, with multi-byte characters on the way.
    c.notes = QStringLiteral("Line one; with, marks\nLine two: ") + QString(40, QChar(0x00E9)) +
              QStringLiteral(" end");
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
    const QString system = QStringLiteral("/usr/bin/python3");
    return QFile::exists(system) ? system : QStringLiteral("python3");
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
    reader.start(python(), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0) {
        ADD_FAILURE() << reader.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

bool vobjectInstalled()
{
    return QProcess::execute(python(), {QStringLiteral("-c"), QStringLiteral("import vobject")}) ==
           0;
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
    const QString path = dir.filePath(QStringLiteral("one.vcf"));
    ASSERT_TRUE(bx::test::writeFile(path, vcard::write({tricky()})));
    const Contact c = tricky();
    const QJsonObject got = readWithVobject(path);
    const QJsonObject tels{{QStringLiteral("home"), c.phoneHome},
                           {QStringLiteral("work"), c.phoneWork},
                           {QStringLiteral("cell"), c.phoneCell},
                           {QStringLiteral("fax"), c.fax}};
    const QJsonObject expected{
        {QStringLiteral("family"), c.lastName},
        {QStringLiteral("given"), c.firstName},
        {QStringLiteral("additional"), c.mi},
        {QStringLiteral("fn"), QStringLiteral("Zoë, Ann Q Brontë; Sr.")},
        {QStringLiteral("org"), c.company},
        {QStringLiteral("title"), c.title},
        {QStringLiteral("street"), c.address},
        {QStringLiteral("city"), c.city},
        {QStringLiteral("region"), c.state},
        {QStringLiteral("code"), c.zip},
        {QStringLiteral("tels"), tels},
        {QStringLiteral("email"), c.email},
        {QStringLiteral("note"), c.notes},
    };
    EXPECT_EQ(got, expected) << QJsonDocument(got).toJson().toStdString();
}

// No written line passes 75 octets or splits a character (VCardImportTest reads them back).
TEST(VCardTest, WrittenCardsHaveFoldedLines)
{
    const QList<Contact> written = {tricky(), plain(QStringLiteral("Lee"), QStringLiteral("Al"))};
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
    EXPECT_EQ(c.lastName, QStringLiteral("Müller"));
    EXPECT_EQ(c.firstName, QStringLiteral("Jörg"));
    EXPECT_EQ(c.company, QStringLiteral("Big Corp, Inc."));
    EXPECT_EQ(c.fax, QStringLiteral("111"));
    EXPECT_EQ(c.phoneCell, QStringLiteral("222"));
    EXPECT_EQ(c.phoneHome, QStringLiteral("333"));
    EXPECT_EQ(c.notes, QStringLiteral("Café\r\nline two"));
    EXPECT_EQ(read->cards.at(1).lastName, QStringLiteral("Only Formatted"));
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
            QStringLiteral("The vCard data is malformed at line %1: ").arg(c.line)))
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
        user.userId = QStringLiteral("ann");
        user.editContactInfo = true;
    }
    QString fileWith(const QByteArray& bytes)
    {
        const QString path = tempDir() + QStringLiteral("/cards.vcf");
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
    ASSERT_TRUE(contacts::save(db(), user, plain(QStringLiteral("Lee"), QStringLiteral("Al"))));
    const QString path = tempDir() + QStringLiteral("/all.vcf");
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
              QStringLiteral("2 contacts were imported, 1 cards without a name were skipped."));
}

// An oversized file, a malformed one and a user without the right: refused, nothing written.
TEST_P(VCardImportTest, RefusedImportsWriteNothing)
{
    const QByteArray good = vcard::write({plain(QStringLiteral("A"), QStringLiteral("B"))});
    QByteArray big = good;
    big += QByteArray(vcard::kMaxImportBytes - big.size() + 1, '\n');
    UserRecord reader;
    reader.userId = QStringLiteral("bob");
    const struct
    {
        QByteArray bytes;
        const UserRecord* who;
        QString begins;
    } cases[] = {
        {big, &user, QStringLiteral("The file %1 is larger than 8 MiB")},
        {good + "BEGIN:VCARD\r\nN:C;D\r\nX\r\nEND:VCARD\r\n", &user,
         QStringLiteral("%1: The vCard data is malformed at line 8: ")},
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
    EXPECT_EQ(countRows(db(), QStringLiteral("CONTACT")), 1);
}

BX_INSTANTIATE_ENGINES(VCardImportTest);
