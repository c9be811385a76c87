#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

class QDialog;
class QToolBar;

namespace bx {

/** Sets up a designer's list: its column captions, flat rows, its commands as its context menu. */
void setUpKeyedList(QTreeWidget& list, const QStringList& captions);

/**
 * Adds command `key` (its object name and caption; `tip` its tooltip) to `tools`, running `run`;
 * with `onRow`, also to the context menu of `list`, for the selected row.
 */
QAction* addListCommand(QToolBar& tools, QTreeWidget& list, const char* key, const char* tip,
                        std::function<void()> run, bool onRow);

/** Lays out a designer window: `tools` above, the list, and "Close" ("cmdClose") below. */
void layOutDesigner(QDialog& window, QToolBar& tools, QTreeWidget& list);

/**
 * The lists of designer windows show one row per stored item, its key (name or ID) in the first
 * column. Makes the row of `key` (compared without case) the current one.
 * @return false when no row holds it
 */
inline bool selectByKey(QTreeWidget& list, const QString& key)
{
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list.topLevelItem(i);
        if (item->text(0).compare(key, Qt::CaseInsensitive) == 0) {
            list.setCurrentItem(item);
            return true;
        }
    }
    return false;
}

/** The key of the selected row; "" when no row is selected. */
inline QString selectedKey(const QTreeWidget& list)
{
    const QTreeWidgetItem* item = list.currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

} // namespace bx
