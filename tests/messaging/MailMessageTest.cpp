#include "messaging/MailMessage.h"

#include "support/SinkMail.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>
#include <memory>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QDateTime kDate = QDateTime(QDate(2026, 3, 9), QTime(14, 5, 7), QTimeZone(3600));

OutgoingMail mail(QString fromName, QString subject)
{
    return {std::move(fromName),
            u"pat@example.org"_s,
            {u"obrien@example.net"_s, u"x.y@example.com"_s},
            std::move(subject),
            text("Hello,\nthe task is done.\n"),
            QString(),
            QString(),
            {}};
}

class MailMessageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { gmime::init(); }

    static QByteArray compose(const OutgoingMail& m)
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const auto result = writeMailMessage(m, kDate, buffer);
        EXPECT_TRUE(result) << (result.refusal() ? result.refusal()->message.toStdString() : "");
        return buffer.data();
    }

    static gmime::Ptr<GMimeMessage> parse(const QByteArray& bytes)
    {
        return test::parseMessage(bytes);
    }

    // Every line ends in CR LF and is at most 998 octets; every octet is 7-bit.
    static void expectWireForm(const QByteArray& bytes)
    {
        qsizetype start = 0;
        while (start < bytes.size()) {
            const qsizetype lf = bytes.indexOf('\n', start);
            ASSERT_GT(lf, start) << "bare LF or missing line end at " << start;
            ASSERT_EQ(bytes[lf - 1], '\r') << "bare LF at " << lf;
            const QByteArray line = bytes.mid(start, lf - 1 - start);
            EXPECT_LE(line.size(), 998);
            EXPECT_FALSE(line.contains('\r')) << line.constData();
            for (const char c : line) {
                ASSERT_EQ(c & 0x80, 0) << line.constData();
            }
            start = lf + 1;
        }
    }

    QTemporaryDir m_dir;
};

TEST_F(MailMessageTest, HeadersRoundTripAndStayOnShortCrLfLines)
{
    const QString longSubject = text("Überprüfung der Aufgabe für Åsa Ölund ").repeated(12);
    const QList<std::pair<QString, QString>> cases = {
        {u"Pat O'Brien"_s, u"O'Brien's \"quoted\" task; a, b"_s},
        {text("Zoë Åström-東京"), text("Grüße — 東京の会議")},
        {text("Renée\r\nBcc: victim@example.com"), longSubject},
        {u"Pat"_s, u"Done\r\nBcc: victim@example.com"_s},
    };
    for (const auto& [name, subject] : cases) {
        SCOPED_TRACE(subject.toStdString());
        OutgoingMail m = mail(name, subject);
        m.body = text("Zeile eins\r\n") + QString(5000, u'x') + text("\nÄnde\n");
        const QByteArray bytes = compose(m);
        expectWireForm(bytes);
        EXPECT_FALSE(bytes.contains("\r\nBcc:"));
        EXPECT_EQ(bytes.count("\r\nMIME-Version: 1.0\r\n"), 1);

        const auto parsed = parse(bytes);
        ASSERT_TRUE(parsed);
        // A line break in the subject is gone, not just hidden by the header's encoding.
        EXPECT_EQ(text(g_mime_message_get_subject(parsed.get())),
                  QString(subject).replace(u"\r\n"_s, u"  "_s).trimmed());
        InternetAddress* from =
            internet_address_list_get_address(g_mime_message_get_from(parsed.get()), 0);
        EXPECT_EQ(text(internet_address_get_name(from)), QString(name).replace(u"\r\n"_s, u"  "_s));
        EXPECT_STREQ(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(from)),
                     "pat@example.org");
        InternetAddressList* to = g_mime_message_get_to(parsed.get());
        ASSERT_EQ(internet_address_list_length(to), 2);
        EXPECT_STREQ(internet_address_mailbox_get_addr(
                         INTERNET_ADDRESS_MAILBOX(internet_address_list_get_address(to, 1))),
                     "x.y@example.com");
        EXPECT_EQ(g_date_time_to_unix(g_mime_message_get_date(parsed.get())),
                  kDate.toSecsSinceEpoch());

        GMimeObject* body = g_mime_message_get_mime_part(parsed.get());
        ASSERT_TRUE(GMIME_IS_TEXT_PART(body));
        EXPECT_STREQ(g_mime_object_get_content_type_parameter(body, "charset"), "utf-8");
        gchar* bodyText = g_mime_text_part_get_text(GMIME_TEXT_PART(body));
        EXPECT_EQ(text(bodyText).remove(u'\r'), QString(m.body).remove(u'\r'));
        g_free(bodyText);
    }
}

TEST_F(MailMessageTest, LargeAttachmentRoundTripsThroughAFile)
{
    QByteArray content(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (char& c : content) {
        c = static_cast<char>(random.bounded(256));
    }
    const QString name = text("Rapport d'été über 東京 — ").repeated(4) + u".pdf"_s;
    QFile file(m_dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    OutgoingMail m = mail(u"Pat"_s, u"Report"_s);
    m.attachmentPath = file.fileName();
    const QString out = m_dir.filePath(u"out.eml"_s);
    ASSERT_TRUE(writeMailMessage(m, kDate, out));
    QFile written(out);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    expectWireForm(bytes);
    EXPECT_TRUE(bytes.toLower().contains("filename*0*=utf-8''"))
        << "file name not RFC 2231-encoded";

    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    GMimeObject* top = g_mime_message_get_mime_part(parsed.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    EXPECT_STREQ(g_mime_content_type_get_media_subtype(g_mime_object_get_content_type(top)),
                 "mixed");
    ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(top)), 2);
    GMimeObject* attached = g_mime_multipart_get_part(GMIME_MULTIPART(top), 1);
    ASSERT_TRUE(GMIME_IS_PART(attached));
    EXPECT_EQ(text(g_mime_part_get_filename(GMIME_PART(attached))), name);
    EXPECT_EQ(g_mime_part_get_content_encoding(GMIME_PART(attached)),
              GMIME_CONTENT_ENCODING_BASE64);
    gchar* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(attached));
    EXPECT_STREQ(type, "application/pdf");
    g_free(type);
    EXPECT_TRUE(test::partBytes(attached) == content) << "attachment bytes differ";
}

TEST_F(MailMessageTest, AttachmentNamesLoseControlCharacters)
{
    // A file on disk and a text attachment, each named so as to start a header of its own.
    const QString fileName = u"a\r\nBcc: x@y.z.txt"_s;
    QFile file(m_dir.filePath(fileName));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    file.close();
    OutgoingMail m = mail(u"Pat"_s, u"Hi"_s);
    m.attachmentPath = file.fileName();
    m.textAttachments = {
        {u"b\tc\x7f\x01\nX-Extra: 1.ics"_s, u"text/calendar"_s, u"BEGIN:VCALENDAR"_s}};
    const QByteArray bytes = compose(m);
    expectWireForm(bytes);

    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(g_mime_object_get_header(GMIME_OBJECT(parsed.get()), "Bcc"), nullptr);
    GMimeObject* top = g_mime_message_get_mime_part(parsed.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(top)), 3);
    const QStringList expected{u"a  Bcc: x@y.z.txt"_s, u"b c   X-Extra: 1.ics"_s};
    for (int i = 1; i <= 2; ++i) {
        GMimeObject* part = g_mime_multipart_get_part(GMIME_MULTIPART(top), i);
        EXPECT_EQ(text(g_mime_part_get_filename(GMIME_PART(part))), expected[i - 1]);
        for (const char* header : {"Bcc", "X-Extra"})
            EXPECT_EQ(g_mime_object_get_header(part, header), nullptr) << header;
    }
}

TEST_F(MailMessageTest, RefusesWhatWouldEscapeItsHeaderAndWritesNothing)
{
    const QString old = m_dir.filePath(u"old.eml"_s);
    QFile oldFile(old);
    ASSERT_TRUE(oldFile.open(QIODevice::WriteOnly) && oldFile.write("old") == 3);
    oldFile.close();
    const auto refused = [&](const OutgoingMail& m, const QString& named) {
        SCOPED_TRACE(named.toStdString());
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const auto result = writeMailMessage(m, kDate, buffer);
        ASSERT_TRUE(result.refusal());
        EXPECT_TRUE(result.refusal()->message.contains(named))
            << result.refusal()->message.toStdString();
        EXPECT_TRUE(buffer.data().isEmpty());
        EXPECT_FALSE(writeMailMessage(m, kDate, old));
        ASSERT_TRUE(oldFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(oldFile.readAll(), "old");
        oldFile.close();
    };
    const OutgoingMail good = mail(u"Pat"_s, u"Hi"_s);
    for (const char* bad : {"a@b.com\r\nBcc: c@d.com", "a@b.com, c@d.com", "obrien", "x@"}) {
        OutgoingMail m = good;
        m.to[1] = text(bad);
        refused(m, m.to[1]);
        m = good;
        m.fromAddress = text(bad);
        refused(m, m.fromAddress);
    }
    OutgoingMail m = good;
    m.messageId = u"<a@b>\r\nX: y"_s;
    refused(m, m.messageId);
    m = good;
    m.to.clear();
    refused(m, u"Recipient e-mail address not specified"_s);
    for (const QString& unreadable : {m_dir.filePath(u"gone"_s), m_dir.path()}) {
        m = good;
        m.attachmentPath = unreadable;
        refused(m, unreadable + u" could not be read"_s);
    }
}

TEST_F(MailMessageTest, KeepsAGivenMessageIdAndMakesFreshOnesOtherwise)
{
    OutgoingMail m = mail(u"Pat"_s, u"Hi"_s);
    m.messageId = u"<queued.1@example.org>"_s;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(*writeMailMessage(m, kDate, buffer), m.messageId);
    EXPECT_STREQ(g_mime_message_get_message_id(parse(buffer.data()).get()), "queued.1@example.org");

    const QString first = newMessageId(m.fromAddress);
    EXPECT_NE(first, newMessageId(m.fromAddress));
    EXPECT_TRUE(first.startsWith(u'<') && first.endsWith(u"@example.org>"_s))
        << first.toStdString();
    m.messageId = first;
    EXPECT_FALSE(checkMail(m));
}

TEST_F(MailMessageTest, RefusesWhenTheDeviceCannotBeWritten)
{
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    const auto result = writeMailMessage(mail(u"Pat"_s, u"Hi"_s), kDate, readOnly);
    ASSERT_TRUE(result.refusal());
    EXPECT_TRUE(result.refusal()->message.startsWith(u"The message could not be written"_s));
}

} // namespace
