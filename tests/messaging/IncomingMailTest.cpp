#include "messaging/IncomingMail.h"

#include "support/FixedClock.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

/** A message off the wire and what it must read as; a null expectation is not checked. */
struct MailCase
{
    const char* name;
    QByteArray raw;
    const char* title;
    const char* sender;
    const char* body;
    const char* attachment = nullptr;
};

void PrintTo(const MailCase& c, std::ostream* os)
{
    *os << c.name;
}

// Each case guards one way of decoding a message.
const QList<MailCase>& mailCases()
{
    static const QList<MailCase> cases{
        {"Latin1EncodedWordSubject",
         "From: \"O'Brien, Pat\" <pat@example.org>\r\n"
         "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=\r\n\r\nHi\r\n",
         "Grüße aus Köln", "O'Brien, Pat <pat@example.org>", "Hi\n"},
        {"Utf8Base64SubjectAndBareAddress",
         "From: pat@example.org\r\nSubject: =?UTF-8?B?0J/RgNC40LLQtdGCIOKAkyDmnbHkuqw=?=\r\n\r\nx",
         "Привет – 東京", "pat@example.org", nullptr},
        {"Windows1252Body",
         "Subject: a\r\nContent-Type: text/plain; charset=windows-1252\r\n"
         "Content-Transfer-Encoding: 8bit\r\n\r\n\x80 5 \x93quoted\x94\r\n",
         nullptr, "", "€ 5 “quoted”\n"},
        {"Iso2022JpBody",
         "Subject: jp\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
         "\x1b$BF|K\\8l$N%a!<%k\x1b(B\r\n",
         nullptr, nullptr, "日本語のメール\n"},
        {"UnlabelledLatin1Body", "Subject: a\r\n\r\ncaf\xe9\r\n", nullptr, nullptr, "café\n"},
        {"HtmlOnly",
         "Subject: h\r\nContent-Type: text/html; charset=utf-8\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
         "<html><head><title>T</title></head><body><p>Hello&nbsp;<b>World</b> &amp; =\r\n"
         "friends</p><div>Caf=C3=A9</div>a<br>b</body></html>\r\n",
         nullptr, nullptr, "Hello World & friends\n\nCafé\na\nb"},
        {"PlainPreferredToHtml",
         "Subject: alt\r\nContent-Type: multipart/alternative; boundary=\"b\"\r\n\r\n"
         "--b\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
         "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n",
         nullptr, nullptr, "plain"},
        {"AttachmentListed",
         "Subject: report\r\nContent-Type: multipart/mixed; boundary=\"xx\"\r\n\r\n"
         "--xx\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nSee attached.\r\n"
         "--xx\r\nContent-Type: application/pdf\r\n"
         "Content-Disposition: attachment; filename*=utf-8''Bericht%20%C3%84.pdf\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--xx--\r\n",
         "report", nullptr, "See attached.\n\n[Attachment: Bericht Ä.pdf]\n", "Bericht Ä.pdf"},
        // Headerless text is kept as the body.
        {"NoHeaders", "just some text\r\nsecond line\r\n", "", "", "just some text\nsecond line\n"},
        {"BadBase64",
         "Subject: b64\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!not*base64@@@\r\n", "b64",
         nullptr, nullptr},
        {"UnknownCharsets",
         "Subject: =?x-unknown-42?Q?caf=E9?=\r\n"
         "Content-Type: text/plain; charset=x-unknown-42\r\n\r\ncaf\xe9\r\n",
         nullptr, nullptr, "café\n"},
        {"NulBytes",
         QByteArray("Subject: =?utf-8?Q?x=00y?=\r\n\r\na") + QByteArray(1, '\0') + "b\r\n", nullptr,
         nullptr, "ab\n"},
    };
    return cases;
}

class IncomingMailTest : public ::testing::TestWithParam<MailCase>
{
protected:
    IncomingMail read(const QByteArray& raw)
    {
        const QString path = dir.filePath(u"message.eml"_s);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(raw) == raw.size());
        file.close();
        return readIncomingMail(path, clock);
    }

    QTemporaryDir dir;
    test::FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(12, 0, 0), Qt::UTC), 3600};
};

TEST_P(IncomingMailTest, DecodesWhatItCan)
{
    const MailCase& c = GetParam();
    const IncomingMail mail = read(c.raw);
    if (c.title) {
        EXPECT_EQ(mail.title, text(c.title));
    }
    if (c.sender) {
        EXPECT_EQ(mail.sender, text(c.sender));
    }
    if (c.body) {
        EXPECT_EQ(mail.body, text(c.body));
    }
    EXPECT_EQ(mail.attachments, c.attachment ? QStringList{text(c.attachment)} : QStringList());
    EXPECT_FALSE(mail.body.contains(QChar(0)));
    EXPECT_FALSE(mail.title.contains(QChar(0)));
    EXPECT_FALSE(mail.body.contains(QChar(QChar::ReplacementCharacter))) << mail.body.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Messages, IncomingMailTest, ::testing::ValuesIn(mailCases()),
                         [](const auto& param) { return std::string(param.param.name); });

// Stored dates are local wall-clock time with the clock's base bias; a missing or unreadable
// Date header gives the present.
TEST_F(IncomingMailTest, DateIsLocalTimeOrNow)
{
    const QDateTime now = clock.nowLocal();
    const struct
    {
        QByteArray header;
        QDateTime expected;
    } cases[] = {
        {"Date: Tue, 05 Mar 2024 10:00:00 +0100\r\n", naive(QDate(2024, 3, 5), QTime(10, 0))},
        {"Date: Mon, 04 Mar 2024 23:30:00 -0500\r\n", naive(QDate(2024, 3, 5), QTime(5, 30))},
        {"Date: sometime last week\r\n", now},
        {"", now},
    };
    for (const auto& c : cases) {
        const IncomingMail mail = read(c.header + "Subject: d\r\n\r\nx\r\n");
        EXPECT_EQ(mail.date, c.expected) << c.header.constData();
    }
}

TEST(HtmlToText, DropsMarkupAndKeepsBreaks)
{
    const struct
    {
        const char* html;
        const char* text;
    } cases[] = {
        {"a &lt;b&gt; &#65;&#x42; &unknown; &amp;amp;", "a <b> AB &unknown; &amp;"},
        {"<p>one\n  two</p><p>three</p>", "one two\n\nthree"},
        {"x<br/>y<BR>z<div>w</div>v", "x\ny\nz\nw\nv"},
        {"<style>p { color: red }</style><script>if (a < b) alert(1)</script>shown", "shown"},
        {"<!-- <p>hidden</p> --><a title=\"a>b\" href='x'>link</a> text", "link text"},
        {"<ul><li>first</li><li>second</li></ul>", "- first\n- second"},
        {"<pre>a\n  b</pre>", "a\n  b"},
        {"1 < 2 & 3 > 2", "1 < 2 & 3 > 2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(htmlToText(QString::fromUtf8(c.html)), QString::fromUtf8(c.text)) << c.html;
    }
}

} // namespace
