#include "tasks/ui/WindowCustomisation.h"

#include "core/Session.h"
#include "core/db/DbError.h"
#include "core/ui/StoredText.h"
#include "tasks/WindowCustomRows.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QStackedWidget>
#include <QTabWidget>

#include <algorithm>

namespace bx {

namespace {

bool sameName(const QObject& control, const QString& name)
{
    return control.objectName().compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

/** The tab widget showing `page` as one of its tabs, or null. */
QTabWidget* tabWidgetOf(QWidget& page)
{
    auto* stack = qobject_cast<QStackedWidget*>(page.parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(&page) >= 0 ? tabs : nullptr;
}

void apply(QWidget& control, const WindowCustomRow& row)
{
    if (QTabWidget* tabs = tabWidgetOf(control)) {
        const int index = tabs->indexOf(&control);
        tabs->setTabVisible(index, row.visible);
        if (row.caption)
            tabs->setTabText(index, *row.caption);
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(&control)) {
        menu->menuAction()->setVisible(row.visible);
        if (row.caption)
            menu->setTitle(*row.caption);
        return;
    }
    control.setVisible(row.visible);
    if (!row.caption)
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(&control))
        button->setText(*row.caption);
    else if (auto* label = qobject_cast<QLabel*>(&control)) {
        label->setTextFormat(Qt::PlainText);
        label->setText(*row.caption);
    } else if (auto* group = qobject_cast<QGroupBox*>(&control))
        group->setTitle(*row.caption);
    // Other controls have no caption of their own: only their visibility changes.
}

void apply(QAction& action, const WindowCustomRow& row)
{
    action.setVisible(row.visible);
    if (row.caption)
        action.setText(*row.caption);
}

/** How a control stood before the rows of a caption changed it, as a row would set it. */
WindowCustomRow faceOf(QWidget& control)
{
    if (QTabWidget* tabs = tabWidgetOf(control)) {
        const int index = tabs->indexOf(&control);
        return {{}, tabs->tabText(index), tabs->isTabVisible(index)};
    }
    if (auto* menu = qobject_cast<QMenu*>(&control))
        return {{}, menu->title(), menu->menuAction()->isVisible()};
    std::optional<QString> caption;
    if (auto* button = qobject_cast<QAbstractButton*>(&control))
        caption = button->text();
    else if (auto* label = qobject_cast<QLabel*>(&control))
        caption = label->text();
    else if (auto* group = qobject_cast<QGroupBox*>(&control))
        caption = group->title();
    return {{}, caption, !control.isHidden()};
}

WindowCustomRow faceOf(QAction& action)
{
    return {{}, action.text(), action.isVisible()};
}

/**
 * The controls a window's customisation changed and how they stood before, kept with the window,
 * so that the rows of another caption (the editor moving from a task to a meeting) start from the
 * window as it was built.
 */
class Originals final : public QObject
{
public:
    explicit Originals(QWidget& window)
        : QObject(&window)
    {
        setObjectName(QStringLiteral("WindowCustomisationOriginals"));
    }

    template <typename Control> void keep(Control& control)
    {
        for (const Entry& e : std::as_const(m_entries))
            if (e.control == &control)
                return;
        m_entries.append({&control, faceOf(control)});
    }

    void restore()
    {
        for (const Entry& e : std::as_const(m_entries)) {
            if (auto* widget = qobject_cast<QWidget*>(e.control.data()))
                apply(*widget, e.face);
            else if (auto* action = qobject_cast<QAction*>(e.control.data()))
                apply(*action, e.face);
        }
        m_entries.clear();
    }

private:
    struct Entry
    {
        QPointer<QObject> control;
        WindowCustomRow face;
    };
    QList<Entry> m_entries;
};

QString kindOf(QWidget& control)
{
    if (tabWidgetOf(control))
        return QStringLiteral("Tab");
    if (qobject_cast<QMenu*>(&control))
        return QStringLiteral("Menu");
    if (qobject_cast<QAbstractButton*>(&control))
        return QStringLiteral("Button");
    if (qobject_cast<QLabel*>(&control))
        return QStringLiteral("Label");
    if (qobject_cast<QGroupBox*>(&control))
        return QStringLiteral("Frame");
    return QStringLiteral("Field");
}

} // namespace

QList<CustomisableControl> customisableControls(const QWidget& window)
{
    QList<CustomisableControl> controls;
    QSet<QString> seen;
    const auto addable = [&](const QObject& control) {
        const QString name = control.objectName();
        return !name.trimmed().isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
               !seen.contains(name.toCaseFolded());
    };
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!addable(*w))
            continue;
        seen.insert(w->objectName().toCaseFolded());
        controls.append({w->objectName(), kindOf(*w), faceOf(*w).caption.value_or(QString())});
    }
    for (QAction* a : window.findChildren<QAction*>()) {
        if (!addable(*a))
            continue;
        seen.insert(a->objectName().toCaseFolded());
        controls.append({a->objectName(), QStringLiteral("Command"), a->text()});
    }
    std::sort(controls.begin(), controls.end(),
              [](const CustomisableControl& a, const CustomisableControl& b) {
                  return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
              });
    return controls;
}

void applyWindowCustomisation(Session& session, QWidget& window, const QString& caption)
{
    auto* originals = window.findChild<Originals*>(QStringLiteral("WindowCustomisationOriginals"),
                                                   Qt::FindDirectChildrenOnly);
    if (!originals)
        originals = new Originals(window);
    originals->restore();
    if (!session.isOpen())
        return;
    QList<WindowCustomRow> rows;
    try {
        rows = windowCustomRows(session.db(), caption);
    } catch (const DbError& e) {
        session.errorLog().write(QStringLiteral("Window customisation"), e.text());
        return;
    }
    if (rows.isEmpty())
        return;
    const QList<QWidget*> widgets = window.findChildren<QWidget*>();
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (const WindowCustomRow& row : rows) {
        if (row.controlName.trimmed().isEmpty())
            continue; // would otherwise match every unnamed control
        for (QWidget* w : widgets) {
            if (sameName(*w, row.controlName)) {
                originals->keep(*w);
                apply(*w, row);
            }
        }
        for (QAction* a : actions) {
            if (sameName(*a, row.controlName)) {
                originals->keep(*a);
                apply(*a, row);
            }
        }
    }
}

} // namespace bx
