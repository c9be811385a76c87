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
#include <QStackedWidget>
#include <QTabWidget>

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

} // namespace

void applyWindowCustomisation(Session& session, QWidget& window, const QString& caption)
{
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
            if (sameName(*w, row.controlName))
                apply(*w, row);
        }
        for (QAction* a : actions) {
            if (sameName(*a, row.controlName))
                apply(*a, row);
        }
    }
}

} // namespace bx
