#include "core/settings/WindowLayout.h"

#include "core/settings/SettingsStore.h"

#include <climits>
#include <optional>

namespace bx {

namespace {

const QString kBevel1 = QStringLiteral("Bevel1");
const QString kBevel2 = QStringLiteral("Bevel2");
const QString kPreview = QStringLiteral("Preview");
const QString kShowPreview = QStringLiteral("ShowPreview");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kMaximized = QStringLiteral("Maximized");
// The task editor's keys are spelt as they have always been stored.
const QString kTaskFormWidth = QStringLiteral("Widht");
const QString kTaskFormHeight = QStringLiteral("Height");

std::optional<int> number(const QString& text, int minimum)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < minimum)
        return std::nullopt;
    return n;
}

std::optional<int> stored(const SettingsStore& store, const QString& section, const QString& key,
                          int minimum)
{
    if (!store.contains(section, key))
        return std::nullopt;
    return number(store.get(section, key), minimum);
}

/** Two or more sizes, none negative; anything else gives an empty list. */
QList<int> splitSizes(const QString& text)
{
    QList<int> sizes;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const auto n = number(part, 0);
        if (!n)
            return {};
        sizes << *n;
    }
    return sizes.size() >= 2 ? sizes : QList<int>();
}

QString joined(const QList<int>& sizes)
{
    QStringList parts;
    for (const int n : sizes)
        parts << QString::number(n);
    return parts.join(QLatin1Char(','));
}

} // namespace

QStringList WindowLayout::messageColumns()
{
    return {QStringLiteral("Title"), QStringLiteral("Owner"), QStringLiteral("Date")};
}

WindowLayout WindowLayout::load(const SettingsStore& store)
{
    WindowLayout l;
    const QString form = formSection();
    l.treeSplit = splitSizes(store.get(form, kBevel1));
    l.previewSplit = splitSizes(store.get(form, kBevel2));
    const QString orientation = store.get(form, kPreview).trimmed().toUpper();
    if (orientation == QLatin1String("H") || orientation == QLatin1String("V"))
        l.previewOrientation = orientation;
    l.previewShown = store.getBool(form, kShowPreview, true);

    const auto left = stored(store, form, kLeft, INT_MIN);
    const auto top = stored(store, form, kTop, INT_MIN);
    const auto width = stored(store, form, kWidth, 1);
    const auto height = stored(store, form, kHeight, 1);
    if (left && top && width && height)
        l.geometry = QRect(*left, *top, *width, *height);
    l.maximized = store.getBool(form, kMaximized, false);

    for (const SettingValue& v : store.values(gridColumnsSection())) {
        if (const auto w = number(v.value, 1))
            l.gridColumnWidths.insert(v.name, *w);
    }
    for (const QString& column : messageColumns()) {
        if (const auto w = stored(store, messageSection(), column, 1))
            l.messageColumnWidths.insert(column, *w);
    }

    const auto taskWidth = stored(store, taskFormSection(), kTaskFormWidth, 1);
    const auto taskHeight = stored(store, taskFormSection(), kTaskFormHeight, 1);
    if (taskWidth && taskHeight)
        l.taskFormSize = QSize(*taskWidth, *taskHeight);
    return l;
}

void WindowLayout::save(SettingsStore& store) const
{
    SettingsStore::Batch batch(store);
    const QString form = formSection();
    if (!treeSplit.isEmpty())
        store.set(form, kBevel1, joined(treeSplit));
    if (!previewSplit.isEmpty())
        store.set(form, kBevel2, joined(previewSplit));
    const bool vertical =
        previewOrientation.trimmed().compare(QLatin1String("V"), Qt::CaseInsensitive) == 0;
    store.set(form, kPreview, vertical ? QStringLiteral("V") : QStringLiteral("H"));
    store.setBool(form, kShowPreview, previewShown);
    if (geometry.isValid()) {
        store.set(form, kLeft, QString::number(geometry.x()));
        store.set(form, kTop, QString::number(geometry.y()));
        store.set(form, kWidth, QString::number(geometry.width()));
        store.set(form, kHeight, QString::number(geometry.height()));
    }
    store.setBool(form, kMaximized, maximized);

    for (auto it = gridColumnWidths.begin(); it != gridColumnWidths.end(); ++it) {
        if (it.value() > 0)
            store.set(gridColumnsSection(), it.key(), QString::number(it.value()));
    }
    for (const QString& column : messageColumns()) {
        const int w = messageColumnWidths.value(column, 0);
        if (w > 0)
            store.set(messageSection(), column, QString::number(w));
    }
    if (taskFormSize.isValid() && !taskFormSize.isEmpty()) {
        store.set(taskFormSection(), kTaskFormWidth, QString::number(taskFormSize.width()));
        store.set(taskFormSection(), kTaskFormHeight, QString::number(taskFormSize.height()));
    }
}

} // namespace bx
