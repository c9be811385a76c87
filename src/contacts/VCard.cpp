#include "contacts/VCard.h"

#include <QStringDecoder>

namespace bx::vcard {

using contacts::Contact;

namespace {

// --- Writing ------------------------------------------------------------------------------------

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

QString components(const QStringList& parts)
{
    QStringList out;
    for (const QString& p : parts)
        out << escaped(p);
    return out.join(QLatin1Char(';'));
}

/** One content line, folded so that no line passes 75 octets, never inside a character. */
void appendLine(QByteArray& out, const QString& line)
{
    const QByteArray bytes = line.toUtf8();
    qsizetype start = 0;
    qsizetype room = 75;
    while (bytes.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        out += bytes.mid(start, cut - start) + "\r\n ";
        start = cut;
        room = 74; // the leading blank of a continuation counts
    }
    out += bytes.mid(start) + "\r\n";
}

// --- Reading ------------------------------------------------------------------------------------

/** A content line after unfolding, with the line of the file it began on. */
struct RawLine
{
    QByteArray text;
    int line = 0;
};

struct Property
{
    QByteArray name;         ///< upper case, group removed
    QList<QByteArray> types; ///< TYPE values and bare words, upper case
    QByteArray encoding;     ///< upper case
    QByteArray charset;      ///< as given
    QByteArray value;        ///< raw, undecoded
    int line = 0;
};

struct Fault
{
    int line;
    QString what;
};

bool isQuotedPrintable(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

QList<RawLine> unfold(const QByteArray& bytes)
{
    QList<RawLine> lines;
    QList<QByteArray> raw = bytes.split('\n');
    bool softBreak = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QByteArray line = raw.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        const int number = static_cast<int>(i) + 1;
        if (softBreak && !lines.isEmpty()) {
            lines.last().text.chop(1); // the "=" of the soft break
            lines.last().text += line.startsWith(' ') || line.startsWith('\t') ? line.mid(1) : line;
        } else if ((line.startsWith(' ') || line.startsWith('\t')) && !lines.isEmpty()) {
            lines.last().text += line.mid(1);
        } else if (line.trimmed().isEmpty()) {
            softBreak = false;
            continue;
        } else {
            lines.append({line, number});
        }
        softBreak = isQuotedPrintable(lines.last().text) && lines.last().text.endsWith('=');
    }
    return lines;
}

/** The parts of a text split at `separator` outside double quotes. */
QList<QByteArray> splitUnquoted(const QByteArray& text, char separator)
{
    QList<QByteArray> parts{QByteArray()};
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == separator && !quoted)
            parts.append(QByteArray());
        else
            parts.last() += c;
    }
    return parts;
}

std::optional<Property> property(const RawLine& raw, Fault& fault)
{
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < raw.text.size(); ++i) {
        const char c = raw.text.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) {
        fault = {raw.line, QStringLiteral("a line without a property name and value")};
        return std::nullopt;
    }
    Property p;
    p.line = raw.line;
    p.value = raw.text.mid(colon + 1);
    QList<QByteArray> head = splitUnquoted(raw.text.left(colon), ';');
    QByteArray name = head.takeFirst().trimmed().toUpper();
    name = name.mid(name.lastIndexOf('.') + 1);
    if (name.isEmpty()) {
        fault = {raw.line, QStringLiteral("a property without a name")};
        return std::nullopt;
    }
    p.name = name;
    for (const QByteArray& param : std::as_const(head)) {
        const qsizetype eq = param.indexOf('=');
        const QByteArray key = (eq < 0 ? QByteArray("TYPE") : param.left(eq)).trimmed().toUpper();
        QByteArray value = eq < 0 ? param : param.mid(eq + 1);
        value = value.trimmed();
        if (value.startsWith('"') && value.endsWith('"') && value.size() >= 2)
            value = value.mid(1, value.size() - 2);
        if (eq < 0 && value.toUpper() == "QUOTED-PRINTABLE")
            p.encoding = value.toUpper();
        else if (key == "TYPE")
            for (const QByteArray& t : value.split(','))
                p.types << t.trimmed().toUpper();
        else if (key == "ENCODING")
            p.encoding = value.toUpper();
        else if (key == "CHARSET")
            p.charset = value;
    }
    return p;
}

QByteArray fromQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int byte = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += static_cast<char>(byte);
                i += 2;
                continue;
            }
        }
        out += in.at(i);
    }
    return out;
}

std::optional<QString> decoded(const Property& p, Fault& fault)
{
    QByteArray bytes = p.value;
    if (p.encoding == "QUOTED-PRINTABLE")
        bytes = fromQuotedPrintable(bytes);
    else if (p.encoding == "B" || p.encoding == "BASE64")
        bytes = QByteArray::fromBase64(bytes);
    const QByteArray charset = p.charset.isEmpty() ? QByteArray("UTF-8") : p.charset;
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid()) {
        fault = {
            p.line,
            QStringLiteral("the character set %1 is not known").arg(QString::fromLatin1(charset))};
        return std::nullopt;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        fault = {p.line, QStringLiteral("text that is not %1").arg(QString::fromLatin1(charset))};
        return std::nullopt;
    }
    return text;
}

/** The value split at unescaped ";" and unescaped. */
QStringList fields(const QString& value)
{
    QStringList out{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            out.last() +=
                next == QLatin1Char('n') || next == QLatin1Char('N') ? QLatin1Char('\n') : next;
        } else if (c == QLatin1Char(';')) {
            out << QString();
        } else {
            out.last() += c;
        }
    }
    for (QString& f : out)
        f = f.trimmed();
    return out;
}

QString joinedText(const QStringList& parts)
{
    QStringList kept;
    for (const QString& p : parts)
        if (!p.isEmpty())
            kept << p;
    return kept.join(QLatin1Char(' '));
}

/** Fills the contact from one property; false with the fault for an undecodable value. */
bool take(Contact& c, const Property& p, Fault& fault)
{
    static const QList<QByteArray> used = {"N",   "FN",  "ORG",   "TITLE",
                                           "ADR", "TEL", "EMAIL", "NOTE"};
    if (!used.contains(p.name))
        return true;
    const std::optional<QString> value = decoded(p, fault);
    if (!value)
        return false;
    const QStringList f = fields(*value);
    const auto part = [&f](int i) { return f.value(i); };
    if (p.name == "N") {
        c.lastName = part(0);
        c.firstName = part(1);
        c.mi = part(2);
    } else if (p.name == "FN" && c.lastName.isEmpty() && c.firstName.isEmpty()) {
        // Only a card without N names the contact by its formatted name.
        c.lastName = joinedText(f);
    } else if (p.name == "ORG" && c.company.isEmpty()) {
        c.company = part(0);
    } else if (p.name == "TITLE" && c.title.isEmpty()) {
        c.title = joinedText(f);
    } else if (p.name == "ADR" && c.address.isEmpty() && c.city.isEmpty()) {
        c.address = joinedText({part(0), part(1), part(2)});
        c.city = part(3);
        c.state = part(4);
        c.zip = part(5);
    } else if (p.name == "TEL") {
        QString number = joinedText(f);
        if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            number = number.mid(4);
        QString* box = &c.phoneWork;
        if (p.types.contains("FAX"))
            box = &c.fax;
        else if (p.types.contains("CELL"))
            box = &c.phoneCell;
        else if (p.types.contains("HOME"))
            box = &c.phoneHome;
        if (box->isEmpty())
            *box = number;
    } else if (p.name == "EMAIL" && c.email.isEmpty()) {
        c.email = joinedText(f);
    } else if (p.name == "NOTE" && c.notes.isEmpty()) {
        c.notes = value->trimmed().isEmpty() ? QString() : fields(*value).join(QLatin1Char(';'));
    }
    return true;
}

QString faultText(const Fault& fault)
{
    return QStringLiteral("The vCard data is malformed at line %1: %2.")
        .arg(fault.line)
        .arg(fault.what);
}

} // namespace

QByteArray write(const QList<Contact>& contacts)
{
    QByteArray out;
    for (const Contact& c : contacts) {
        appendLine(out, QStringLiteral("BEGIN:VCARD"));
        appendLine(out, QStringLiteral("VERSION:4.0"));
        const QString full = joinedText({c.firstName, c.mi, c.lastName});
        appendLine(out, QStringLiteral("FN:") + escaped(full));
        appendLine(out, QStringLiteral("N:") + components({c.lastName, c.firstName, c.mi, {}, {}}));
        if (!c.company.isEmpty())
            appendLine(out, QStringLiteral("ORG:") + escaped(c.company));
        if (!c.title.isEmpty())
            appendLine(out, QStringLiteral("TITLE:") + escaped(c.title));
        if (!(c.address + c.city + c.state + c.zip).isEmpty())
            appendLine(out, QStringLiteral("ADR;TYPE=work:") +
                                components({{}, {}, c.address, c.city, c.state, c.zip, {}}));
        const struct
        {
            const char* type;
            const QString& number;
        } phones[] = {
            {"home", c.phoneHome}, {"work", c.phoneWork}, {"cell", c.phoneCell}, {"fax", c.fax}};
        for (const auto& phone : phones)
            if (!phone.number.isEmpty())
                appendLine(out, QStringLiteral("TEL;TYPE=%1:").arg(QLatin1String(phone.type)) +
                                    escaped(phone.number));
        if (!c.email.isEmpty())
            appendLine(out, QStringLiteral("EMAIL:") + escaped(c.email));
        if (!c.notes.isEmpty())
            appendLine(out, QStringLiteral("NOTE:") + escaped(c.notes));
        appendLine(out, QStringLiteral("END:VCARD"));
    }
    return out;
}

Outcome<ReadCards> read(const QByteArray& bytes)
{
    ReadCards result;
    std::optional<Contact> card;
    int begun = 0;
    Fault fault{0, {}};
    const QList<RawLine> lines = unfold(bytes);
    for (const RawLine& raw : lines) {
        const std::optional<Property> p = property(raw, fault);
        if (!p)
            return RefusalOf<>{faultText(fault)};
        const QByteArray value = p->value.trimmed().toUpper();
        if (p->name == "BEGIN") {
            if (value != "VCARD" || card)
                return RefusalOf<>{
                    faultText({raw.line, card ? QStringLiteral("a card inside a card")
                                              : QStringLiteral("no card begins")})};
            card = Contact{};
            begun = raw.line;
        } else if (!card) {
            return RefusalOf<>{faultText({raw.line, QStringLiteral("a line outside any card")})};
        } else if (p->name == "END") {
            if (value != "VCARD")
                return RefusalOf<>{faultText({raw.line, QStringLiteral("no card ends")})};
            if (card->lastName.isEmpty() && card->firstName.isEmpty())
                ++result.skipped;
            else
                result.cards.append(*card);
            card.reset();
        } else if (p->name == "VERSION") {
            if (value != "2.1" && value != "3.0" && value != "4.0")
                return RefusalOf<>{
                    faultText({raw.line, QStringLiteral("vCard version %1 is not read")
                                             .arg(QString::fromUtf8(p->value.trimmed()))})};
        } else if (!take(*card, *p, fault)) {
            return RefusalOf<>{faultText(fault)};
        }
    }
    if (card)
        return RefusalOf<>{
            faultText({begun, QStringLiteral("the card that begins here has no end")})};
    return result;
}

QString importedSentence(const Imported& imported)
{
    return QStringLiteral("%1 contacts were imported, %2 cards without a name were skipped.")
        .arg(imported.added)
        .arg(imported.skipped);
}

} // namespace bx::vcard
