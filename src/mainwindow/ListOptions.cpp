#include "mainwindow/ListOptions.h"

#include "core/Prompt.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "reports/TimeSheets.h"

namespace bx {

namespace {

const QString kFieldList = QStringLiteral("Field List");
const QString kOptions = QStringLiteral("Options");
const QString kProfiles = QStringLiteral("Options\\Profiles");
const QString kProfilePrefix = QStringLiteral("Options\\Profiles\\");
/**
 * A field the options offer that no column of SCR holds: the time booked on the task, added to
 * the rows of a list that shows it (ListOptions::addActualHours).
 */
const QString kActualHours = QStringLiteral("SCR_ActualHours");

/** The tree part of the font section of each node kind, in NodeKind order. */
const char* const kFontParts[kNodeKindCount] = {
    "TeamTree\\CatFont",         "TeamTree\\UserFont",   "TeamTree\\FolderFont",
    "TeamTree\\TaskFont",        "TeamTree\\AttachFont", "TeamTree\\TaskNewFont",
    "TeamTree\\TaskOverDueFont", "TeamTree\\GroupFont",  "TeamTree\\DocFont"};

const char* const kNodeCaptions[kNodeKindCount] = {
    "Team View",    "User",     "Folder",          "Task", "Attachment", "Unviewed Task",
    "Overdue Task", "Workshop", "Shared Documents"};

QString fontPart(int kind)
{
    return QString::fromLatin1(kFontParts[kind]);
}

/** Where one value of a set lives: the current settings, or the single section of a profile. */
struct Place
{
    QString profileSection; ///< empty: the current settings

    QString section(const QString& own) const
    {
        return profileSection.isEmpty() ? own : profileSection;
    }
    QString key(const QString& part, const QString& key) const
    {
        return profileSection.isEmpty() ? key : part + QLatin1Char('\\') + key;
    }
};

} // namespace

ListOptions::ListOptions(SettingsStore& store)
    : m_store(store)
{
}

QList<ListField> ListOptions::offeredFields(const QString& customLabel)
{
    const auto f = [](const char* caption, const QString& column) {
        return ListField{QString::fromLatin1(caption), column};
    };
    QList<ListField> fields = {f("Owner", scr::OwnerUserId),
                               f("Requester", scr::RequestId),
                               f("Priority", scr::Priority),
                               f("Status", scr::Status),
                               f("Request Date", scr::RequestDate),
                               f("Date In", scr::OwnerDateIn),
                               f("Viewed", scr::OwnerDateViewed),
                               f("Start Date", scr::StartDate),
                               f("Due Date", scr::OwnerTargetDate),
                               f("Estimated Hours", scr::PercentComplete),
                               f("Recurring Frequency", scr::RecurringFrequency),
                               f("Contact Name", scr::ContactKey),
                               f("Lifecycle Name", scr::LifecycleId),
                               f("Lifecycle Stage", scr::LcStageName),
                               f("Task Number", scr::Number),
                               f("Firm Date", scr::FirmTargetDate),
                               f("Actual Hours", kActualHours),
                               f("Template", scr::Template),
                               f("Lifecycle End Date", scr::LifecycleEndDate)};
    const QString label = customLabel.trimmed();
    fields << ListField{label.isEmpty() ? QStringLiteral("Custom") : label, scr::CustomField};
    return fields;
}

QString ListOptions::actualHoursField()
{
    return kActualHours;
}

void ListOptions::addActualHours(Session& session, QStringList& names, QList<QVariantList>& rows)
{
    const int number = RecordSet(names, {}).columnIndex(scr::Number);
    if (number < 0 || names.contains(kActualHours, Qt::CaseInsensitive))
        return;
    QList<qint64> tasks;
    for (const QVariantList& row : std::as_const(rows))
        tasks << row.value(number).toLongLong();
    const QHash<qint64, qint64> minutes = timesheet::bookedMinutes(session, tasks);
    names << kActualHours;
    for (QVariantList& row : rows) {
        const auto booked = minutes.constFind(row.value(number).toLongLong());
        row << (booked == minutes.cend() ? QVariant() : timesheet::actualHoursText(*booked));
    }
}

QStringList ListOptions::defaultColumns()
{
    return {scr::OwnerUserId,     scr::Priority,        scr::StartDate, scr::OwnerDateIn,
            scr::OwnerDateViewed, scr::OwnerTargetDate, scr::Status,    scr::RequestDate,
            scr::RequestId,       scr::LifecycleEndDate};
}

QString ListOptions::nodeCaption(NodeKind kind)
{
    return QString::fromLatin1(kNodeCaptions[static_cast<int>(kind)]);
}

QString ListOptions::fontSection(NodeKind kind)
{
    return QStringLiteral("Options\\") + fontPart(static_cast<int>(kind));
}

NodeFont ListOptions::defaultFont(NodeKind kind)
{
    NodeFont font;
    font.bold = kind == NodeKind::User;
    font.italic = kind == NodeKind::SharedDocuments;
    return font;
}

QStringList ListOptions::colourNames()
{
    return {QStringLiteral("Black"),  QStringLiteral("Red"),  QStringLiteral("Green"),
            QStringLiteral("Yellow"), QStringLiteral("Blue"), QStringLiteral("Magenta"),
            QStringLiteral("Cyan"),   QStringLiteral("White")};
}

QColor ListOptions::namedColour(const QString& name)
{
    static const QList<QColor> colours = {Qt::black, Qt::red,     Qt::green, Qt::yellow,
                                          Qt::blue,  Qt::magenta, Qt::cyan,  Qt::white};
    const qsizetype i = colourNames().indexOf(name, 0);
    return i >= 0 ? colours[i] : QColor();
}

QString ListOptions::colourName(const QColor& colour)
{
    for (const QString& name : colourNames()) {
        if (namedColour(name).rgb() == colour.rgb())
            return name;
    }
    return QStringLiteral("Custom");
}

ListOptionsSet ListOptions::read(const QString& section) const
{
    const Place place{section};
    ListOptionsSet set;
    const QString fieldPrefix = kFieldList + QLatin1Char('\\');
    for (const SettingValue& v : m_store.values(place.section(kFieldList))) {
        if (!section.isEmpty() && !v.name.startsWith(fieldPrefix, Qt::CaseInsensitive))
            continue;
        if (!v.value.trimmed().isEmpty())
            set.columns << v.value.trimmed();
    }
    if (section.isEmpty() && set.columns.isEmpty())
        set.columns = defaultColumns();
    for (int k = 0; k < kNodeKindCount; ++k) {
        const NodeKind kind = static_cast<NodeKind>(k);
        const QString part = fontPart(k);
        const QString sec = place.section(QStringLiteral("Options\\") + part);
        const auto key = [&](const char* name) {
            return place.key(part, QString::fromLatin1(name));
        };
        const NodeFont def = defaultFont(kind);
        NodeFont& font = set.fonts[static_cast<size_t>(k)];
        font.name = m_store.get(sec, key("Name"), def.name);
        bool ok = false;
        const int size = m_store.get(sec, key("Size")).toInt(&ok);
        font.size = ok && size > 0 ? size : def.size;
        font.bold = m_store.getBool(sec, key("Bold"), def.bold);
        font.italic = m_store.getBool(sec, key("Italic"), def.italic);
        font.underline = m_store.getBool(sec, key("Underline"), def.underline);
        const uint rgb = m_store.get(sec, key("Color")).toUInt(&ok);
        font.color = ok ? QColor::fromRgb(rgb & 0xFFFFFFu) : def.color;
    }
    return set;
}

void ListOptions::write(const QString& section, const ListOptionsSet& set)
{
    // One save for the whole set, not one per value.
    SettingsStore::Batch batch(m_store);
    const Place place{section};
    const QList<ListField> offered = offeredFields();
    if (section.isEmpty())
        m_store.removeSection(kFieldList);
    for (const QString& column : set.columns) {
        QString caption = column;
        for (const ListField& f : offered) {
            if (f.column.compare(column, Qt::CaseInsensitive) == 0)
                caption = f.caption;
        }
        m_store.set(place.section(kFieldList), place.key(kFieldList, caption), column);
    }
    for (int k = 0; k < kNodeKindCount; ++k) {
        const QString part = fontPart(k);
        const QString sec = place.section(QStringLiteral("Options\\") + part);
        const auto key = [&](const char* name) {
            return place.key(part, QString::fromLatin1(name));
        };
        const NodeFont& font = set.fonts[static_cast<size_t>(k)];
        m_store.set(sec, key("Name"), font.name);
        m_store.set(sec, key("Size"), QString::number(font.size));
        m_store.setBool(sec, key("Bold"), font.bold);
        m_store.setBool(sec, key("Italic"), font.italic);
        m_store.setBool(sec, key("Underline"), font.underline);
        m_store.set(sec, key("Color"), QString::number(font.color.rgb() & 0xFFFFFFu));
    }
}

ListOptionsSet ListOptions::current() const
{
    return read({});
}

bool ListOptions::apply(const ListOptionsSet& set, Prompt& prompt)
{
    if (set.columns.isEmpty()) {
        prompt.inform(QStringLiteral("Please include at least one field in field list."));
        return false;
    }
    write({}, set);
    return true;
}

int ListOptions::checkTasks() const
{
    return qMax(0, m_store.get(kOptions, QStringLiteral("CheckTasks")).toInt());
}

void ListOptions::setCheckTasks(int minutes)
{
    m_store.set(kOptions, QStringLiteral("CheckTasks"), QString::number(qMax(0, minutes)));
}

QString ListOptions::profileSection(const QString& name) const
{
    return kProfilePrefix + name;
}

QStringList ListOptions::profiles() const
{
    QStringList names;
    for (const QString& section : m_store.sections()) {
        if (section.startsWith(kProfilePrefix, Qt::CaseInsensitive)) {
            const QString name = section.mid(kProfilePrefix.size());
            if (!name.isEmpty())
                names << name;
        }
    }
    return names;
}

bool ListOptions::hasProfile(const QString& name) const
{
    return !name.isEmpty() && profiles().contains(name, Qt::CaseInsensitive);
}

std::optional<ListOptionsSet> ListOptions::profile(const QString& name) const
{
    if (!hasProfile(name))
        return std::nullopt;
    return read(profileSection(name));
}

bool ListOptions::saveProfile(const QString& name, const ListOptionsSet& set, Prompt& prompt)
{
    if (name.isEmpty())
        return false;
    if (hasProfile(name)) {
        // The missing blank before "already" is how the question has always read.
        if (prompt.ask(QStringLiteral("Profile with name ") + name +
                       QStringLiteral("already exists. Overwrite?")) != PromptAnswer::Yes)
            return false;
        m_store.removeSection(profileSection(name));
    }
    write(profileSection(name), set);
    return true;
}

std::optional<QString> ListOptions::saveProfileAs(const ListOptionsSet& set, Prompt& prompt)
{
    const std::optional<QString> typed =
        prompt.input(QStringLiteral("Please Enter Profile Name"), {}, QStringLiteral("Profile 1"));
    if (!typed)
        return std::nullopt;
    const QString name = typed->trimmed();
    if (!saveProfile(name, set, prompt))
        return std::nullopt;
    return name;
}

QString ListOptions::lastProfile() const
{
    return m_store.get(kProfiles, QStringLiteral("Profile"));
}

void ListOptions::setLastProfile(const QString& name)
{
    m_store.set(kProfiles, QStringLiteral("Profile"), name);
}

} // namespace bx
