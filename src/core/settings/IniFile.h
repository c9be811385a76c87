#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace bx {

/**
 * A read-only INI file with profile-string semantics, as delivered files such as BXComp.ini are
 * written for:
 *
 * - section and key names are compared without regard to case; names are trimmed;
 * - a line whose first non-blank character is ';' is a comment, and so is any line that is
 *   neither a "[section]" header nor a "key=value" pair;
 * - a value is everything after the first '=', trimmed; backslashes, commas, ';' and '=' inside it
 *   are kept as written; one pair of double quotes around the whole value is removed;
 * - a value is cut to at most MaxValueLength characters (and trimmed again after the cut);
 * - when a key appears twice in a section (or a section twice in the file), the first wins;
 * - the file is decoded as UTF-8 (with or without byte-order mark), as UTF-16 when it starts with
 *   a UTF-16 byte-order mark, and otherwise, when it is not valid UTF-8, as Windows-1252.
 *
 * The file is never written. A missing or unreadable file behaves as an empty one.
 */
class IniFile
{
public:
    /** The most characters a read returns. */
    static constexpr int MaxValueLength = 249;

    /** An empty file: every read gives its default. */
    IniFile() = default;

    /** Reads the whole file at once; a missing or unreadable file gives an empty object. */
    explicit IniFile(const QString& path);

    /** The file's content as read from disk (the bytes of a file, before decoding). */
    static IniFile fromBytes(const QByteArray& bytes);

    /** True when the file was found and read. */
    bool isLoaded() const { return m_loaded; }

    /**
     * The value of a key. A key that is present gives its value (possibly empty); a missing
     * section or key gives the default, cut to MaxValueLength characters and trimmed.
     */
    QString value(const QString& section, const QString& key, const QString& def = {}) const;

    /** True when the section holds the key (with any value, even an empty one). */
    bool contains(const QString& section, const QString& key) const;

    /** The sections' names, trimmed and case-folded, in no particular order. */
    QStringList sections() const { return m_sections.keys(); }

    /** The keys of a section, trimmed and case-folded, in no particular order. */
    QStringList keys(const QString& section) const;

    /** One value read straight from a file: IniFile(file).value(section, key, def). */
    static QString read(const QString& file, const QString& section, const QString& key,
                        const QString& def = {});

private:
    void parse(const QByteArray& bytes);

    // Case-folded section name -> case-folded key -> value as found (trimmed, quotes removed).
    QHash<QString, QHash<QString, QString>> m_sections;
    bool m_loaded = false;
};

} // namespace bx
