#include "messaging/IncomingMail.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "messaging/GMimeSupport.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <fcntl.h>

namespace bx {

namespace {

using gmime::Ptr;

// A message without a parsable structure is shown as its raw text, up to this much.
constexpr qint64 kMaxRawText = 4 * 1024 * 1024;

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString ignored = decoder(bytes);
    return !decoder.hasError();
}

QByteArray decoded(GMimePart* part, GMimeFilter* filter)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return {};
    }
    Ptr<GMimeStream> memory(g_mime_stream_mem_new());
    Ptr<GMimeStream> filtered(g_mime_stream_filter_new(memory.get()));
    if (filter != nullptr) {
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter);
    }
    g_mime_data_wrapper_write_to_stream(content, filtered.get());
    g_mime_stream_flush(filtered.get());
    const GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

QString converted(GMimePart* part, const char* charset)
{
    Ptr<GMimeFilter> filter(g_mime_filter_charset_new(charset, "utf-8"));
    return filter ? QString::fromUtf8(decoded(part, filter.get())) : QString();
}

// Text in no declared character set, or in one that is only a name here: UTF-8 when it is valid
// UTF-8, else the Western single-byte set that mislabelled mail almost always is.
QString bestEffort(GMimePart* part, const QByteArray& raw)
{
    if (isUtf8(raw)) {
        return QString::fromUtf8(raw);
    }
    if (part != nullptr) {
        const QString western = converted(part, "windows-1252");
        if (!western.isEmpty()) {
            return western;
        }
    }
    return QString::fromLatin1(raw);
}

QString textOf(GMimePart* part)
{
    const char* declared = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    const QByteArray charset = declared != nullptr
                                   ? QByteArray(g_mime_charset_canon_name(declared)).toLower()
                                   : QByteArray();
    if (charset == "utf-8") {
        return QString::fromUtf8(decoded(part, nullptr));
    }
    if (charset.isEmpty() || charset == "us-ascii" || charset == "iso-8859-1") {
        return bestEffort(part, decoded(part, nullptr));
    }
    Ptr<GMimeFilter> filter(g_mime_filter_charset_new(charset.constData(), "utf-8"));
    if (!filter) {
        return bestEffort(part, decoded(part, nullptr));
    }
    return QString::fromUtf8(decoded(part, filter.get()));
}

// Header text on one line, without the control characters a mailer may have let through.
QString oneLine(const char* utf8)
{
    QString text = QString::fromUtf8(utf8);
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char(' ');
        }
    }
    text.remove(QChar(0));
    return text.simplified();
}

QString senderOf(InternetAddressList* list)
{
    const int count = list != nullptr ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            const QString member =
                senderOf(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            if (!member.isEmpty()) {
                return member;
            }
            continue;
        }
        const QString name = oneLine(internet_address_get_name(address));
        const QString mailbox =
            oneLine(internet_address_mailbox_get_idn_addr(INTERNET_ADDRESS_MAILBOX(address)));
        if (name.isEmpty() || mailbox.isEmpty()) {
            return name.isEmpty() ? mailbox : name;
        }
        return name + QStringLiteral(" <") + mailbox + QLatin1Char('>');
    }
    return {};
}

struct Parts
{
    QList<GMimePart*> plain;
    QList<GMimePart*> html;
    QStringList attachments;
};

QString unnamed(GMimeObject* object)
{
    char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object));
    const QString name = QStringLiteral("(%1)").arg(QString::fromUtf8(type));
    g_free(type);
    return name;
}

void collect(GMimeObject* object, Parts& parts)
{
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            collect(g_mime_multipart_get_part(multipart, i), parts);
        }
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        const char* file = g_mime_object_get_content_disposition_parameter(object, "filename");
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        const QString subject =
            inner != nullptr ? oneLine(g_mime_message_get_subject(inner)) : QString();
        parts.attachments << (file != nullptr     ? oneLine(file)
                              : subject.isEmpty() ? unnamed(object)
                                                  : subject + QStringLiteral(".eml"));
        return;
    }
    if (!GMIME_IS_PART(object)) {
        return;
    }
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* file = g_mime_part_get_filename(part);
    const bool attached = g_mime_part_is_attachment(part) || file != nullptr;
    if (!attached && g_mime_content_type_is_type(type, "text", "plain")) {
        parts.plain << part;
    } else if (!attached && g_mime_content_type_is_type(type, "text", "html")) {
        parts.html << part;
    } else {
        parts.attachments << (file != nullptr ? oneLine(file) : unnamed(object));
    }
}

// The present, to the second as the Date header gives it.
QDateTime now(const Clock& clock)
{
    const QDateTime local = naive(clock.nowLocal());
    return local.addMSecs(-local.time().msec());
}

QDateTime dateOf(GMimeMessage* message, const Clock& clock)
{
    GDateTime* date = message != nullptr ? g_mime_message_get_date(message) : nullptr;
    if (date == nullptr) {
        return now(clock);
    }
    const QDateTime gmt = naive(QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date), Qt::UTC));
    return GmtConverter(clock).toLocal(gmt);
}

QString rawText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return bestEffort(nullptr, file.read(kMaxRawText));
}

QString rawText(const QByteArray& bytes)
{
    return bestEffort(nullptr, bytes.left(kMaxRawText));
}

QString cleanBody(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.remove(QChar(0));
    return text;
}

/** The message in `stream`; `raw` is its text shown when it has no structure. */
template <typename Raw>
IncomingMail readMessage(GMimeStream* stream, const Raw& raw, const Clock& clock)
{
    IncomingMail mail;
    Ptr<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GMimeParserOptions* options = g_mime_parser_options_new();
    const char* fallback[] = {"utf-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    Ptr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    g_mime_parser_options_free(options);

    GMimeObject* top = message ? g_mime_message_get_mime_part(message.get()) : nullptr;
    if (!message || top == nullptr) {
        mail.date = dateOf(message.get(), clock);
        mail.body = cleanBody(raw());
        return mail;
    }

    mail.title = oneLine(g_mime_message_get_subject(message.get()));
    mail.sender = senderOf(g_mime_message_get_from(message.get()));
    if (mail.sender.isEmpty()) {
        mail.sender = senderOf(g_mime_message_get_sender(message.get()));
    }
    mail.date = dateOf(message.get(), clock);

    Parts parts;
    collect(top, parts);
    QStringList texts;
    for (GMimePart* part : std::as_const(parts.plain)) {
        texts << cleanBody(textOf(part));
    }
    if (texts.isEmpty()) {
        for (GMimePart* part : std::as_const(parts.html)) {
            texts << cleanBody(htmlToText(textOf(part)));
        }
    }
    mail.body = texts.join(QLatin1Char('\n'));
    mail.attachments = parts.attachments;
    if (!mail.attachments.isEmpty()) {
        while (mail.body.endsWith(QLatin1Char('\n'))) {
            mail.body.chop(1);
        }
        if (!mail.body.isEmpty()) {
            mail.body += QStringLiteral("\n\n");
        }
        for (const QString& name : std::as_const(mail.attachments)) {
            mail.body += QStringLiteral("[Attachment: %1]\n").arg(name);
        }
    }
    return mail;
}

} // namespace

// ---- HTML to text -------------------------------------------------------------------------------

namespace {

class PlainText
{
public:
    void character(QChar c)
    {
        if (m_pre > 0) {
            m_out += c;
            return;
        }
        if (c.isSpace() && c.unicode() != 0xa0) {
            m_space = true;
            return;
        }
        if (m_space && !m_out.isEmpty() && !m_out.endsWith(QLatin1Char('\n'))) {
            m_out += QLatin1Char(' ');
        }
        m_space = false;
        m_out += c.unicode() == 0xa0 ? QLatin1Char(' ') : c;
    }
    void text(const QString& s)
    {
        for (const QChar c : s) {
            character(c);
        }
    }
    void lineBreak()
    {
        m_out += QLatin1Char('\n');
        m_space = false;
    }
    void block()
    {
        if (!m_out.isEmpty() && !m_out.endsWith(QLatin1Char('\n'))) {
            m_out += QLatin1Char('\n');
        }
        m_space = false;
    }
    void paragraph()
    {
        block();
        if (!m_out.isEmpty() && !m_out.endsWith(QStringLiteral("\n\n"))) {
            m_out += QLatin1Char('\n');
        }
    }
    void space() { m_space = true; }
    void pre(bool open) { m_pre = std::max(0, m_pre + (open ? 1 : -1)); }

    QString result() const
    {
        QStringList lines = m_out.split(QLatin1Char('\n'));
        QString out;
        int blank = 0;
        for (QString& line : lines) {
            while (line.endsWith(QLatin1Char(' '))) {
                line.chop(1);
            }
            blank = line.isEmpty() ? blank + 1 : 0;
            if (blank < 2) {
                out += line + QLatin1Char('\n');
            }
        }
        while (out.startsWith(QLatin1Char('\n'))) {
            out.remove(0, 1);
        }
        while (out.endsWith(QLatin1Char('\n'))) {
            out.chop(1);
        }
        return out;
    }

private:
    QString m_out;
    bool m_space = false;
    int m_pre = 0;
};

QString namedEntity(const QString& name)
{
    static const QHash<QString, char16_t> entities{
        {QStringLiteral("amp"), u'&'},         {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},          {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},       {QStringLiteral("nbsp"), u'\u00a0'},
        {QStringLiteral("copy"), u'\u00a9'},   {QStringLiteral("reg"), u'\u00ae'},
        {QStringLiteral("trade"), u'\u2122'},  {QStringLiteral("hellip"), u'\u2026'},
        {QStringLiteral("mdash"), u'\u2014'},  {QStringLiteral("ndash"), u'\u2013'},
        {QStringLiteral("lsquo"), u'\u2018'},  {QStringLiteral("rsquo"), u'\u2019'},
        {QStringLiteral("ldquo"), u'\u201c'},  {QStringLiteral("rdquo"), u'\u201d'},
        {QStringLiteral("bull"), u'\u2022'},   {QStringLiteral("euro"), u'\u20ac'},
        {QStringLiteral("laquo"), u'\u00ab'},  {QStringLiteral("raquo"), u'\u00bb'},
        {QStringLiteral("middot"), u'\u00b7'}, {QStringLiteral("deg"), u'\u00b0'},
        {QStringLiteral("times"), u'\u00d7'},  {QStringLiteral("pound"), u'\u00a3'},
        {QStringLiteral("auml"), u'\u00e4'},   {QStringLiteral("ouml"), u'\u00f6'},
        {QStringLiteral("uuml"), u'\u00fc'},   {QStringLiteral("Auml"), u'\u00c4'},
        {QStringLiteral("Ouml"), u'\u00d6'},   {QStringLiteral("Uuml"), u'\u00dc'},
        {QStringLiteral("szlig"), u'\u00df'},  {QStringLiteral("eacute"), u'\u00e9'},
        {QStringLiteral("egrave"), u'\u00e8'}, {QStringLiteral("agrave"), u'\u00e0'},
        {QStringLiteral("ccedil"), u'\u00e7'}, {QStringLiteral("shy"), u'\0'},
    };
    const auto it = entities.constFind(name);
    if (it == entities.constEnd()) {
        return QStringLiteral("&") + name + QLatin1Char(';');
    }
    return *it == u'\0' ? QString() : QString(QChar(*it));
}

QString numericEntity(const QString& digits)
{
    bool ok = false;
    const uint code = digits.startsWith(QLatin1Char('x'), Qt::CaseInsensitive)
                          ? digits.mid(1).toUInt(&ok, 16)
                          : digits.toUInt(&ok, 10);
    if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
        return QString(QChar(QChar::ReplacementCharacter));
    }
    const char32_t c = code;
    return QString::fromUcs4(&c, 1);
}

// Where the tag that opens at `lt` ends: the ">" outside quoted attribute values.
qsizetype tagEnd(const QString& html, qsizetype lt)
{
    QChar quote;
    for (qsizetype i = lt + 1; i < html.size(); ++i) {
        const QChar c = html.at(i);
        if (!quote.isNull()) {
            if (c == quote) {
                quote = QChar();
            }
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('>')) {
            return i;
        }
    }
    return html.size();
}

bool oneOf(const QString& name, std::initializer_list<const char*> names)
{
    for (const char* n : names) {
        if (name == QLatin1String(n)) {
            return true;
        }
    }
    return false;
}

} // namespace

QString htmlToText(const QString& html)
{
    PlainText out;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = html.at(i);
        if (c == QLatin1Char('&')) {
            qsizetype end = i + 1;
            while (end < n && end - i <= 32 &&
                   (html.at(end).isLetterOrNumber() || html.at(end) == QLatin1Char('#'))) {
                ++end;
            }
            if (end < n && end > i + 1 && html.at(end) == QLatin1Char(';')) {
                const QString name = html.mid(i + 1, end - i - 1);
                out.text(name.startsWith(QLatin1Char('#')) ? numericEntity(name.mid(1))
                                                           : namedEntity(name));
                i = end + 1;
            } else {
                out.character(c);
                ++i;
            }
            continue;
        }
        const QChar next = i + 1 < n ? html.at(i + 1) : QChar();
        if (c != QLatin1Char('<') || !(next.isLetter() || next == QLatin1Char('/') ||
                                       next == QLatin1Char('!') || next == QLatin1Char('?'))) {
            out.character(c);
            ++i;
            continue;
        }
        if (html.mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), i + 4);
            i = close < 0 ? n : close + 3;
            continue;
        }
        const qsizetype end = tagEnd(html, i);
        const bool closing = next == QLatin1Char('/');
        qsizetype nameEnd = i + (closing ? 2 : 1);
        while (nameEnd < end && html.at(nameEnd).isLetterOrNumber()) {
            ++nameEnd;
        }
        const QString name =
            html.mid(i + (closing ? 2 : 1), nameEnd - i - (closing ? 2 : 1)).toLower();
        i = end + 1;

        if (!closing && oneOf(name, {"script", "style", "head", "title", "template"})) {
            const qsizetype close =
                html.indexOf(QStringLiteral("</") + name, i, Qt::CaseInsensitive);
            i = close < 0 ? n : tagEnd(html, close) + 1;
        } else if (name == QLatin1String("br")) {
            out.lineBreak();
        } else if (oneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "table",
                                "ul", "ol", "dl"})) {
            out.paragraph();
        } else if (name == QLatin1String("pre")) {
            out.paragraph();
            out.pre(!closing);
        } else if (name == QLatin1String("li")) {
            out.block();
            if (!closing) {
                out.text(QStringLiteral("- "));
            }
        } else if (oneOf(name, {"div", "tr", "dd", "dt", "hr", "section", "article", "header",
                                "footer", "address", "center", "form", "caption"})) {
            out.block();
        } else if (oneOf(name, {"td", "th"})) {
            out.space();
        }
    }
    return out.result();
}

IncomingMail readIncomingMail(const QString& path, const Clock& clock)
{
    gmime::init();
    GError* error = nullptr;
    Ptr<GMimeStream> stream(
        g_mime_stream_fs_open(QFile::encodeName(path).constData(), O_RDONLY, 0, &error));
    if (!stream) {
        g_clear_error(&error);
        IncomingMail mail;
        mail.date = now(clock);
        return mail;
    }
    return readMessage(
        stream.get(), [&] { return rawText(path); }, clock);
}

IncomingMail readIncomingMail(const QByteArray& bytes, const Clock& clock)
{
    gmime::init();
    Ptr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(bytes.constData(), static_cast<size_t>(bytes.size())));
    return readMessage(
        stream.get(), [&] { return rawText(bytes); }, clock);
}

} // namespace bx
