#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>

namespace bx {

class Prompt;
class Session;
class SettingsStore;

/** A column the task list can show: its caption and the SCR column behind it. */
struct ListField
{
    QString caption;
    QString column;
};

/** The kinds of tree node that have a font of their own, in the order the options list them. */
enum class NodeKind
{
    TeamView,
    User,
    Folder,
    Task,
    Attachment,
    UnviewedTask,
    OverdueTask,
    Workshop,
    SharedDocuments
};
inline constexpr int kNodeKindCount = 9;

/** The font and colour of one node kind. */
struct NodeFont
{
    QString name = QStringLiteral("Tahoma");
    int size = 8;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor color = QColor(Qt::black);
    bool operator==(const NodeFont&) const = default;
};

/** Everything the task list options hold apart from the poll interval. */
struct ListOptionsSet
{
    /** The SCR columns shown, in order. */
    QStringList columns;
    std::array<NodeFont, kNodeKindCount> fonts;

    NodeFont& font(NodeKind kind) { return fonts[static_cast<size_t>(kind)]; }
    const NodeFont& font(NodeKind kind) const { return fonts[static_cast<size_t>(kind)]; }
    bool operator==(const ListOptionsSet&) const = default;
};

/**
 * The task list options of the current user in the settings store: the columns shown ("Field
 * List": caption = column, in order), the font of each node kind ("Options\TeamTree\...Font":
 * Name, Size, Bold, Italic, Underline, Color as a decimal 0xRRGGBB number), the task poll
 * interval ("Options" CheckTasks, minutes) and named profiles ("Options\Profiles\" + name, the
 * same values under "Field List\" and "TeamTree\...Font\" prefixed keys; the last profile chosen
 * is "Options\Profiles" Profile). Profile names are compared without regard to case.
 */
class ListOptions
{
public:
    /** The store is the caller's and must outlive this object. */
    explicit ListOptions(SettingsStore& store);

    /** The fields offered, in order; the custom field is captioned `customLabel` ("Custom" if
     * empty). */
    static QList<ListField> offeredFields(const QString& customLabel = {});
    /** The field "Actual Hours" shows: the time booked on the task, which no column holds. */
    static QString actualHoursField();
    /**
     * Adds the field "Actual Hours" to rows that hold the task number, read in one statement for
     * all of them ("2 h. 5 m."; Null for a task without bookings the user may see).
     * @throws DbError
     */
    static void addActualHours(Session& session, QStringList& names, QList<QVariantList>& rows);
    /** The columns shown when nothing was stored yet. */
    static QStringList defaultColumns();

    static QString nodeCaption(NodeKind kind);
    /** "Options\TeamTree\UserFont" and the like. */
    static QString fontSection(NodeKind kind);
    static NodeFont defaultFont(NodeKind kind);

    /** "Black", "Red", "Green", "Yellow", "Blue", "Magenta", "Cyan", "White". */
    static QStringList colourNames();
    static QColor namedColour(const QString& name);
    /** The name of a colour of the list above, or "Custom". */
    static QString colourName(const QColor& colour);

    /** The caption of the unsaved set in the profile chooser. */
    static QString currentProfileCaption() { return QStringLiteral("Current Profile"); }

    /** The set in use. */
    ListOptionsSet current() const;
    /**
     * Makes the set the one in use. An empty column list is refused with "Please include at least
     * one field in field list." and nothing is stored. Returns whether it was stored.
     */
    bool apply(const ListOptionsSet& set, Prompt& prompt);

    /** The task poll interval in minutes (0 = off). */
    int checkTasks() const;
    void setCheckTasks(int minutes);

    /** The saved profile names, in the order they were first saved. */
    QStringList profiles() const;
    bool hasProfile(const QString& name) const;
    std::optional<ListOptionsSet> profile(const QString& name) const;
    /**
     * Saves the set under the name; when a profile of that name exists the user is asked
     * "Profile with name <name>already exists. Overwrite?" and No leaves it alone. Returns
     * whether it was saved. The name must not be empty.
     */
    bool saveProfile(const QString& name, const ListOptionsSet& set, Prompt& prompt);
    /**
     * Asks "Please Enter Profile Name" (proposing "Profile 1") and saves the set under the name
     * typed; the saved name, or nothing when cancelled, left empty or not overwritten.
     */
    std::optional<QString> saveProfileAs(const ListOptionsSet& set, Prompt& prompt);

    QString lastProfile() const;
    void setLastProfile(const QString& name);

private:
    /** The set of a profile's section, or the current one for an empty section name. */
    ListOptionsSet read(const QString& section) const;
    void write(const QString& section, const ListOptionsSet& set);
    QString profileSection(const QString& name) const;

    SettingsStore& m_store;
};

} // namespace bx
