#include "messaging/MailMessage.h"

#include "messaging/GMimeSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QSaveFile>

#include <fcntl.h>

namespace bx {

namespace {

template <typename T> using GPtr = gmime::Ptr<T>;

// A GMime output stream over a QIODevice, so that GMime writes the message piece by piece
// wherever the caller wants it instead of building it in memory first.
struct DeviceStream
{
    GMimeStream parent;
    QIODevice* device;
    bool writeFailed;
};

DeviceStream* deviceStream(GMimeStream* stream)
{
    return reinterpret_cast<DeviceStream*>(stream);
}

ssize_t deviceRead(GMimeStream*, char*, size_t)
{
    return -1;
}

ssize_t deviceWrite(GMimeStream* stream, const char* buf, size_t len)
{
    DeviceStream* self = deviceStream(stream);
    const qint64 written = self->device->write(buf, static_cast<qint64>(len));
    if (written != static_cast<qint64>(len)) {
        self->writeFailed = true;
        return -1;
    }
    stream->position += written;
    return static_cast<ssize_t>(written);
}

int deviceFlush(GMimeStream*)
{
    return 0;
}

int deviceClose(GMimeStream*)
{
    return 0;
}

gboolean deviceEos(GMimeStream*)
{
    return FALSE;
}

int deviceReset(GMimeStream*)
{
    return -1;
}

gint64 deviceSeek(GMimeStream*, gint64, GMimeSeekWhence)
{
    return -1;
}

gint64 deviceTell(GMimeStream* stream)
{
    return stream->position;
}

gint64 deviceLength(GMimeStream*)
{
    return -1;
}

GMimeStream* deviceSubstream(GMimeStream*, gint64, gint64)
{
    return nullptr;
}

void deviceStreamClassInit(gpointer klass, gpointer)
{
    auto* streamClass = static_cast<GMimeStreamClass*>(klass);
    streamClass->read = deviceRead;
    streamClass->write = deviceWrite;
    streamClass->flush = deviceFlush;
    streamClass->close = deviceClose;
    streamClass->eos = deviceEos;
    streamClass->reset = deviceReset;
    streamClass->seek = deviceSeek;
    streamClass->tell = deviceTell;
    streamClass->length = deviceLength;
    streamClass->substream = deviceSubstream;
}

GType deviceStreamType()
{
    static const GType type = g_type_register_static_simple(
        GMIME_TYPE_STREAM, "BxDeviceStream", sizeof(GMimeStreamClass), deviceStreamClassInit,
        sizeof(DeviceStream), nullptr, GTypeFlags(0));
    return type;
}

GPtr<GMimeStream> newDeviceStream(QIODevice& device)
{
    auto* self = static_cast<DeviceStream*>(g_object_new(deviceStreamType(), nullptr));
    self->device = &device;
    self->writeFailed = false;
    g_mime_stream_construct(&self->parent, 0, -1);
    return GPtr<GMimeStream>(&self->parent);
}

bool isBareAddress(const QString& address)
{
    static const QString separators = QStringLiteral("<>,;\"()\\");
    for (const QChar c : address) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.isSpace() || separators.contains(c)) {
            return false;
        }
    }
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    return at > 0 && at < address.size() - 1;
}

bool isMessageId(const QString& id)
{
    if (id.size() < 5 || !id.startsWith(QLatin1Char('<')) || !id.endsWith(QLatin1Char('>'))) {
        return false;
    }
    const QString inner = id.mid(1, id.size() - 2);
    return isBareAddress(inner) && inner.count(QLatin1Char('@')) == 1;
}

RefusalOf<> badAddress(const QString& address)
{
    return {notAnAddress(address)};
}

// Header text on one line: a line break in a subject, a name or an attachment's file name must not
// start a header of its own.
QByteArray headerText(const QString& text)
{
    QString flat = text;
    for (QChar& c : flat) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char(' ');
        }
    }
    return flat.trimmed().toUtf8();
}

InternetAddress* mailbox(const QString& name, const QString& address)
{
    InternetAddress* box =
        internet_address_mailbox_new(headerText(name).constData(), address.toUtf8().constData());
    internet_address_set_charset(box, "utf-8");
    return box;
}

GPtr<GMimePart> bodyPart(const QString& body)
{
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QByteArray utf8 = text.toUtf8();

    GPtr<GMimeStream> content(
        g_mime_stream_mem_new_with_buffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    GPtr<GMimePart> part(GMIME_PART(g_mime_text_part_new_with_subtype("plain")));
    g_mime_part_set_content(part.get(), wrapper.get());
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", "utf-8");
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    return part;
}

void utf8Parameter(GMimeParamList* params, const char* name)
{
    if (GMimeParam* param = g_mime_param_list_get_parameter(params, name)) {
        g_mime_param_set_charset(param, "utf-8");
        g_mime_param_set_encoding_method(param, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    }
}

void setAttachmentName(GMimePart* part, const QString& name)
{
    GMimeObject* object = GMIME_OBJECT(part);
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(object, "attachment");
    g_mime_part_set_filename(part, headerText(name).constData());
    utf8Parameter(
        g_mime_content_disposition_get_parameters(g_mime_object_get_content_disposition(object)),
        "filename");
    utf8Parameter(g_mime_content_type_get_parameters(g_mime_object_get_content_type(object)),
                  "name");
}

RefusalOf<> unreadable(const QString& path, const QString& why)
{
    return {QStringLiteral("The file %1 could not be read: %2").arg(path, why)};
}

// The attachment part, reading the file from disk only while the message is written.
Outcome<GPtr<GMimePart>> attachmentPart(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return unreadable(path, info.exists() ? QStringLiteral("it is not a file")
                                              : QStringLiteral("it does not exist"));
    }
    GError* error = nullptr;
    GPtr<GMimeStream> file(
        g_mime_stream_fs_open(QFile::encodeName(path).constData(), O_RDONLY, 0, &error));
    if (!file) {
        const QString why = QString::fromUtf8(error != nullptr ? error->message : "");
        g_clear_error(&error);
        return unreadable(path, why);
    }
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(file.get(), GMIME_CONTENT_ENCODING_DEFAULT));

    const QByteArray type =
        QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().toUtf8();
    const qsizetype slash = type.indexOf('/');
    const QByteArray major = slash > 0 ? type.left(slash) : QByteArrayLiteral("application");
    const QByteArray minor = slash > 0 ? type.mid(slash + 1) : QByteArrayLiteral("octet-stream");

    GPtr<GMimePart> part(g_mime_part_new_with_type(major.constData(), minor.constData()));
    g_mime_part_set_content(part.get(), wrapper.get());
    setAttachmentName(part.get(), info.fileName());
    return part;
}

// A text attachment: its type as given when it reads as one ("text/calendar; method=REQUEST"),
// its text as UTF-8.
GPtr<GMimePart> textAttachmentPart(const TextAttachment& attachment)
{
    const QByteArray utf8 = attachment.text.toUtf8();
    GPtr<GMimeStream> content(
        g_mime_stream_mem_new_with_buffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    GPtr<GMimePart> part(g_mime_part_new());
    GMimeContentType* type =
        g_mime_content_type_parse(nullptr, headerText(attachment.type).constData());
    if (type == nullptr || g_mime_content_type_get_media_type(type) == nullptr ||
        g_mime_content_type_get_media_subtype(type) == nullptr) {
        if (type != nullptr)
            g_object_unref(type);
        type = g_mime_content_type_new("application", "octet-stream");
    }
    if (g_mime_content_type_is_type(type, "text", "*"))
        g_mime_content_type_set_parameter(type, "charset", "utf-8");
    g_mime_object_set_content_type(GMIME_OBJECT(part.get()), type);
    g_object_unref(type);
    g_mime_part_set_content(part.get(), wrapper.get());
    setAttachmentName(part.get(), attachment.name);
    return part;
}

GDateTime* gDate(const QDateTime& date)
{
    GTimeZone* zone = g_time_zone_new_offset(date.offsetFromUtc());
    GDateTime* utc = g_date_time_new_from_unix_utc(date.toSecsSinceEpoch());
    GDateTime* local = g_date_time_to_timezone(utc, zone);
    g_date_time_unref(utc);
    g_time_zone_unref(zone);
    return local;
}

} // namespace

QString notAnAddress(const QString& address)
{
    return address + QStringLiteral(" is not a valid e-mail address");
}

bool isMailboxAddress(const QString& address)
{
    return isBareAddress(address);
}

QString newMessageId(const QString& fromAddress)
{
    const qsizetype at = fromAddress.lastIndexOf(QLatin1Char('@'));
    QString host = at >= 0 ? fromAddress.mid(at + 1) : QString();
    if (host.isEmpty() || !isBareAddress(QStringLiteral("x@") + host)) {
        host = QStringLiteral("localhost");
    }
    quint64 random[2];
    QRandomGenerator::system()->fillRange(random);
    const QByteArray bytes(reinterpret_cast<const char*>(random), sizeof random);
    return QStringLiteral("<%1.%2@%3>")
        .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36)
        .arg(QString::fromLatin1(bytes.toHex()), host);
}

std::optional<RefusalOf<>> checkMail(const OutgoingMail& mail)
{
    if (mail.to.isEmpty()) {
        return RefusalOf<>{QStringLiteral("Recipient e-mail address not specified")};
    }
    if (!isBareAddress(mail.fromAddress)) {
        return badAddress(mail.fromAddress);
    }
    for (const QString& address : mail.to) {
        if (!isBareAddress(address)) {
            return badAddress(address);
        }
    }
    if (!mail.messageId.isEmpty() && !isMessageId(mail.messageId)) {
        return RefusalOf<>{
            QStringLiteral("The message identifier \"%1\" is not valid.").arg(mail.messageId)};
    }
    return std::nullopt;
}

Outcome<QString> writeMailMessage(const OutgoingMail& mail, const QDateTime& date, QIODevice& out)
{
    if (auto refusal = checkMail(mail)) {
        return *refusal;
    }
    gmime::init();

    const QString id = mail.messageId.isEmpty() ? newMessageId(mail.fromAddress) : mail.messageId;
    GPtr<GMimeMessage> message(g_mime_message_new(FALSE));
    GMimeObject* top = GMIME_OBJECT(message.get());

    internet_address_list_add(g_mime_message_get_from(message.get()),
                              mailbox(mail.fromName, mail.fromAddress));
    InternetAddressList* to = g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO);
    for (const QString& address : mail.to) {
        internet_address_list_add(to, mailbox(QString(), address));
    }
    g_mime_message_set_subject(message.get(), headerText(mail.subject).constData(), "utf-8");
    GDateTime* when = gDate(date);
    g_mime_message_set_date(message.get(), when);
    g_date_time_unref(when);
    g_mime_message_set_message_id(message.get(), id.mid(1, id.size() - 2).toUtf8().constData());

    GPtr<GMimePart> body = bodyPart(mail.body);
    if (mail.attachmentPath.isEmpty() && mail.textAttachments.isEmpty()) {
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(body.get()));
    } else {
        GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
        if (!mail.attachmentPath.isEmpty()) {
            auto attachment = attachmentPart(mail.attachmentPath);
            if (!attachment) {
                return *attachment.refusal();
            }
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(attachment->get()));
        }
        for (const TextAttachment& text : mail.textAttachments) {
            g_mime_multipart_add(mixed.get(), GMIME_OBJECT(textAttachmentPart(text).get()));
        }
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    }

    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(options, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    GPtr<GMimeStream> stream = newDeviceStream(out);
    const ssize_t written = g_mime_object_write_to_stream(top, options, stream.get());
    g_mime_format_options_free(options);

    if (written < 0 || g_mime_stream_flush(stream.get()) != 0) {
        if (deviceStream(stream.get())->writeFailed) {
            return RefusalOf<>{
                QStringLiteral("The message could not be written: %1").arg(out.errorString())};
        }
        return unreadable(mail.attachmentPath, QString::fromLocal8Bit(g_strerror(errno)));
    }
    return id;
}

Outcome<QString> writeMailMessage(const OutgoingMail& mail, const QDateTime& date,
                                  const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString())};
    }
    Outcome<QString> result = writeMailMessage(mail, date, file);
    if (!result) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString())};
    }
    return result;
}

} // namespace bx
