#include "core/settings/SettingsStore.h"

#include "core/AppPaths.h"
#include "core/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtDebug>

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace bx {

namespace {

enum class Part
{
    Section,
    Key,
    Value
};

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");
constexpr char kHex[] = "0123456789ABCDEF";

bool needsEscape(const QString& text, qsizetype i, Part part)
{
    const char16_t c = text.at(i).unicode();
    if (c == u'%' || c < 0x20 || c == 0x7F)
        return true;
    // A blank at either end would be lost to any editor that tidies lines.
    if (c == u' ' && (i == 0 || i == text.size() - 1))
        return true;
    if (part != Part::Key)
        return false;
    return c == u'=' || (i == 0 && (c == u'[' || c == u'#' || c == u';'));
}

QString escaped(const QString& text, Part part)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (needsEscape(text, i, part)) {
            // Only ASCII characters are ever escaped, so two hex digits always suffice.
            const char16_t c = text.at(i).unicode();
            out += QLatin1Char('%');
            out += QLatin1Char(kHex[c >> 4]);
            out += QLatin1Char(kHex[c & 0xF]);
        } else {
            out += text.at(i);
        }
    }
    return out;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// A '%' not followed by two hex digits is taken as it stands, so a hand-edited value with a
// plain percent sign still reads back sensibly.
QString unescaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('%') && i + 2 < text.size()) {
            const int hi = hexDigit(text.at(i + 1));
            const int lo = hexDigit(text.at(i + 2));
            if (hi >= 0 && lo >= 0) {
                out += QChar(char16_t(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString SettingsStore::applicationName()
{
    return QStringLiteral("MRBX");
}

QString SettingsStore::defaultPath()
{
    return AppPaths::configDir() + QLatin1Char('/') + applicationName() + QStringLiteral(".conf");
}

SettingsStore::SettingsStore()
    : SettingsStore(defaultPath())
{
}

SettingsStore::SettingsStore(QString path)
    : m_path(std::move(path))
{
    refresh();
}

SettingsStore::FileStamp SettingsStore::stampOf(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

void SettingsStore::refresh() const
{
    // Inside a batch the unsaved changes are the truth; reading the file would lose them.
    if (m_batchDepth > 0 && m_loaded)
        return;
    const FileStamp now = stampOf(m_path);
    if (m_loaded && now == m_stamp)
        return;
    m_stamp = now;
    m_loaded = true;
    load();
}

void SettingsStore::load() const
{
    m_sections.clear();
    if (!m_stamp.exists)
        return;

    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("Cannot read the settings file %1 (%2); starting "
                                               "with empty settings")
                                    .arg(m_path, file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QString problem;
    if (std::optional<QList<Section>> sections = parse(bytes, &problem)) {
        m_sections = std::move(*sections);
        return;
    }
    const QString backup = m_path + QStringLiteral(".bad");
    QFile::remove(backup);
    QFile::copy(m_path, backup);
    qWarning().noquote()
        << QStringLiteral("The settings file %1 is damaged (%2); starting with empty settings. "
                          "A copy was kept as %3")
               .arg(m_path, problem, backup);
}

std::optional<QList<SettingSection>> SettingsStore::parse(const QByteArray& bytes, QString* problem)
{
    const auto refuse = [&](qsizetype lineNumber, const char* what) {
        if (problem != nullptr)
            *problem = QStringLiteral("line %1").arg(lineNumber) + QLatin1String(what);
        return std::nullopt;
    };

    QList<Section> sections;
    Section* current = nullptr;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString line = utf8(lines.at(n));
        if (utf8.hasError())
            return refuse(n + 1, " is not UTF-8");
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 2)
                return refuse(n + 1, "");
            const QString name = unescaped(QStringView(line).mid(1, line.size() - 2));
            const auto found =
                std::find_if(sections.begin(), sections.end(),
                             [&](const Section& s) { return sameName(s.name, name); });
            if (found != sections.end()) {
                current = &*found;
            } else {
                sections.append({name, {}});
                current = &sections.last();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current == nullptr || eq < 0)
            return refuse(n + 1, "");
        const QString key = unescaped(QStringView(line).left(eq));
        const QString value = unescaped(QStringView(line).mid(eq + 1));
        auto it = std::find_if(current->values.begin(), current->values.end(),
                               [&](const SettingValue& v) { return sameName(v.name, key); });
        if (it != current->values.end())
            it->value = value;
        else
            current->values.append({key, value});
    }
    return sections;
}

QByteArray SettingsStore::format(const QList<SettingSection>& sections)
{
    QString text = QStringLiteral("# Brindlepax settings (MRBX), written by the program. '%' and "
                                  "two hex digits stand for one character.\n");
    for (const Section& section : sections) {
        text +=
            QStringLiteral("\n[") + escaped(section.name, Part::Section) + QStringLiteral("]\n");
        for (const SettingValue& v : section.values)
            text += escaped(v.name, Part::Key) + QLatin1Char('=') + escaped(v.value, Part::Value) +
                    QLatin1Char('\n');
    }
    return text.toUtf8();
}

bool SettingsStore::save()
{
    if (m_batchDepth > 0) {
        m_batchDirty = true;
        return true;
    }
    const QString dir = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(dir)) {
        qWarning().noquote() << QStringLiteral("Cannot create the settings folder %1").arg(dir);
        return false;
    }

    // Remembered logins live here: the file is the user's alone from the moment it exists.
    const QString failure = writeWholeFile(m_path, format(m_sections),
                                           QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!failure.isEmpty()) {
        qWarning().noquote()
            << QStringLiteral("Cannot save the settings file %1: %2").arg(m_path, failure);
        return false;
    }
    m_stamp = stampOf(m_path);
    return true;
}

SettingsStore::Section* SettingsStore::findSection(const QString& name) const
{
    for (Section& section : m_sections) {
        if (sameName(section.name, name))
            return &section;
    }
    return nullptr;
}

QString SettingsStore::get(const QString& section, const QString& key, const QString& def) const
{
    refresh();
    if (const Section* s = findSection(section)) {
        for (const SettingValue& v : s->values) {
            if (sameName(v.name, key))
                return v.value;
        }
    }
    return def;
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    refresh();
    const Section* s = findSection(section);
    return s != nullptr && std::any_of(s->values.begin(), s->values.end(),
                                       [&](const auto& v) { return sameName(v.name, key); });
}

SettingsStore::Batch::Batch(SettingsStore& store)
    : m_store(&store)
{
    m_store->refresh();
    ++m_store->m_batchDepth;
}

SettingsStore::Batch::~Batch()
{
    commit();
}

bool SettingsStore::Batch::commit()
{
    if (m_store == nullptr)
        return true;
    SettingsStore* store = std::exchange(m_store, nullptr);
    return store->endBatch();
}

bool SettingsStore::endBatch()
{
    if (--m_batchDepth > 0 || !m_batchDirty)
        return true;
    m_batchDirty = false;
    return save();
}

bool SettingsStore::set(const QString& section, const QString& key, const QString& value)
{
    refresh();
    Section* s = findSection(section);
    if (s == nullptr) {
        m_sections.append({section, {}});
        s = &m_sections.last();
    }
    auto it = std::find_if(s->values.begin(), s->values.end(),
                           [&](const SettingValue& v) { return sameName(v.name, key); });
    if (it == s->values.end())
        s->values.append({key, value});
    else
        it->value = value;
    return save();
}

bool SettingsStore::remove(const QString& section, const QString& key)
{
    refresh();
    Section* s = findSection(section);
    if (s == nullptr)
        return true;
    const auto removed =
        s->values.removeIf([&](const SettingValue& v) { return sameName(v.name, key); });
    return removed == 0 || save();
}

bool SettingsStore::removeSection(const QString& section)
{
    refresh();
    const auto removed =
        m_sections.removeIf([&](const Section& s) { return sameName(s.name, section); });
    return removed == 0 || save();
}

QList<SettingValue> SettingsStore::values(const QString& section) const
{
    refresh();
    const Section* s = findSection(section);
    return s != nullptr ? s->values : QList<SettingValue>();
}

QStringList SettingsStore::sections() const
{
    refresh();
    QStringList names;
    names.reserve(m_sections.size());
    for (const Section& s : std::as_const(m_sections))
        names.append(s.name);
    return names;
}

bool SettingsStore::getBool(const QString& section, const QString& key, bool def) const
{
    const QString text = get(section, key).trimmed();
    if (text.compare(kTrue, Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(kFalse, Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber ? number != 0 : def;
}

bool SettingsStore::setBool(const QString& section, const QString& key, bool value)
{
    return set(section, key, value ? kTrue : kFalse);
}

bool SettingsStore::getChecked(const QString& section, const QString& key, bool def) const
{
    const QString text = get(section, key).trimmed();
    if (text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("0"))
        return false;
    return def;
}

bool SettingsStore::setChecked(const QString& section, const QString& key, bool checked)
{
    return set(section, key, checked ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace bx
