#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

/** One value of a settings section: its name as first stored, and its text. */
struct SettingValue
{
    QString name;
    QString value;
};

/** One section of a settings file: its name as first stored, and its values in stored order. */
struct SettingSection
{
    QString name;
    QList<SettingValue> values;
};

/**
 * The per-user settings of the program, kept under the application name "MRBX": texts addressed by
 * (section, key), in one file per user, by default AppPaths::configDir() + "/MRBX.conf".
 *
 * Names: any character may stand in a section, key or value (section names such as
 * "SQL\myhost:5432\DB\o'brien db" keep their backslashes; database file paths are key names).
 * Sections and keys are found without regard to case and keep the spelling they were first stored
 * with; sections and the values of a section keep the order in which they were added.
 *
 * Saving: every change is written at once, atomically (a complete new file replaces the old one),
 * with file mode 0600; the folder is created when missing. A change that cannot be saved stays in
 * memory, is reported by qWarning, and the call returns false.
 *
 * Sharing: before every read and change the store checks whether the file changed on disk (by
 * identity, size and modification time) and, if so, reads it again. So two stores on one file, in
 * one process or in two, see each other's saved changes; when both change the file at the same
 * moment, the later save wins.
 *
 * A file that cannot be read or is not in the store's format is not used: the store starts empty,
 * reports the problem by qWarning and keeps a copy of the broken file as "<file>.bad" before its
 * first save replaces it.
 *
 * File format (UTF-8, one item per line): "[section]" headers followed by "key=value" lines; lines
 * starting with '#' are comments. Inside names and values, '%', control characters (line breaks
 * among them) and a blank at either end are written as "%" plus two hex digits; in key names also
 * '=' and a leading '[', '#' or ';'. Everything else, backslashes included, is written as it is.
 *
 * Not thread-safe: a store belongs to one thread.
 */
class SettingsStore
{
public:
    /** The application name the values are kept under, "MRBX". */
    static QString applicationName();

    /** AppPaths::configDir() + "/MRBX.conf". */
    static QString defaultPath();

    /** The store of the current user, in defaultPath(). */
    SettingsStore();

    /** A store kept in the given file. The file is read at once if it exists. */
    explicit SettingsStore(QString path);

    /** Same as the default constructor; reads more clearly where the store is made. */
    static SettingsStore openDefault() { return SettingsStore(); }

    const QString& path() const { return m_path; }

    /** The stored text, or `def` when the section or key is missing. */
    QString get(const QString& section, const QString& key, const QString& def = {}) const;

    /** True when the section holds the key. */
    bool contains(const QString& section, const QString& key) const;

    /**
     * Stores a text, adding the section and key when missing (at the end of their lists). An
     * existing key keeps its place and its spelling. Returns false when the file could not be
     * saved.
     */
    bool set(const QString& section, const QString& key, const QString& value);

    /** Deletes one value; the section stays even when it becomes empty. False on a failed save. */
    bool remove(const QString& section, const QString& key);

    /** Deletes a section and its values; sections whose names begin with it are left alone. */
    bool removeSection(const QString& section);

    /** The values of a section in stored order; empty when the section is missing. */
    QList<SettingValue> values(const QString& section) const;

    /** The names of all sections in stored order. */
    QStringList sections() const;

    /**
     * A boolean stored as "True"/"False". Reading ignores case and also takes a number (non-zero
     * is true); a missing or unreadable value gives `def`.
     */
    bool getBool(const QString& section, const QString& key, bool def = false) const;
    bool setBool(const QString& section, const QString& key, bool value);

    /** A check-box state stored as "1" (checked) or "0"; anything else gives `def`. */
    bool getChecked(const QString& section, const QString& key, bool def = false) const;
    bool setChecked(const QString& section, const QString& key, bool checked);

    /**
     * Reads the text of a settings file. On success returns the sections (a section or key met
     * twice, in any case, is kept once, with the last value); a text not in the format gives no
     * sections and sets `problem`, when given, to the line at fault ("line 3", or "line 3 is not
     * UTF-8").
     */
    static std::optional<QList<SettingSection>> parse(const QByteArray& bytes,
                                                      QString* problem = nullptr);

    /** The text of a settings file holding the sections; parse() of it gives them back. */
    static QByteArray format(const QList<SettingSection>& sections);

    /**
     * Holds back saving while it lives: the changes made meanwhile are written in one save when it
     * ends (or at commit()). Other processes' changes are not read in between, so a batch should
     * be short. Batches nest; the outermost one saves.
     */
    class Batch
    {
    public:
        explicit Batch(SettingsStore& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        /** Ends the batch now. @return false when the save failed */
        bool commit();

    private:
        SettingsStore* m_store;
    };

private:
    using Section = SettingSection;

    /** What identifies one state of the file on disk. */
    struct FileStamp
    {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };

    static FileStamp stampOf(const QString& path);
    bool endBatch();
    void refresh() const;
    void load() const;
    bool save();
    Section* findSection(const QString& name) const;

    QString m_path;
    int m_batchDepth = 0;
    bool m_batchDirty = false;
    mutable QList<Section> m_sections;
    mutable FileStamp m_stamp;
    mutable bool m_loaded = false;
};

} // namespace bx
