#include "core/settings/IniFile.h"

#include <QFile>
#include <QStringDecoder>

#include <array>

namespace bx {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five unassigned bytes there keep
// their Latin-1 meaning, so no byte is ever lost.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b)));
    }
    return text;
}

QString decode(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE)(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE)(bytes.mid(2));

    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

// What a read hands back: at most MaxValueLength characters, trimmed after the cut so that a
// blank at the cut does not survive. A character written as a surrogate pair is never cut in two:
// half of it would be no character at all.
QString clipped(const QString& value)
{
    qsizetype length = qMin(value.size(), qsizetype(IniFile::MaxValueLength));
    if (length < value.size() && value.at(length - 1).isHighSurrogate())
        --length;
    return value.left(length).trimmed();
}

QString fold(const QString& name)
{
    return name.trimmed().toCaseFolded();
}

} // namespace

IniFile::IniFile(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        parse(file.readAll());
}

IniFile IniFile::fromBytes(const QByteArray& bytes)
{
    IniFile ini;
    ini.parse(bytes);
    return ini;
}

void IniFile::parse(const QByteArray& bytes)
{
    const QString text = decode(bytes);
    m_loaded = true;

    QHash<QString, QString>* current = nullptr;
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\n'));
    for (QStringView line : lines) {
        line = line.trimmed(); // also drops the '\r' of CRLF files
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0) {
                current = nullptr;
                continue;
            }
            current = &m_sections[fold(line.mid(1, close - 1).toString())];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current == nullptr || eq < 0)
            continue;
        const QString key = fold(line.left(eq).toString());
        if (!current->contains(key))
            current->insert(key, unquoted(line.mid(eq + 1).trimmed().toString()));
    }
}

QString IniFile::value(const QString& section, const QString& key, const QString& def) const
{
    const auto s = m_sections.constFind(fold(section));
    if (s != m_sections.constEnd()) {
        const auto k = s->constFind(fold(key));
        if (k != s->constEnd())
            return clipped(*k);
    }
    return clipped(def);
}

QStringList IniFile::keys(const QString& section) const
{
    return m_sections.value(fold(section)).keys();
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    const auto s = m_sections.constFind(fold(section));
    return s != m_sections.constEnd() && s->contains(fold(key));
}

QString IniFile::read(const QString& file, const QString& section, const QString& key,
                      const QString& def)
{
    return IniFile(file).value(section, key, def);
}

} // namespace bx
