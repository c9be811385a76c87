#pragma once

#include "core/Refusal.h"
#include "core/ui/SessionDialog.h"

#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QToolBar;
class QTreeWidget;

namespace bx {

/** Sets up a list of keyed rows: its column captions, flat rows, its commands as its context menu.
 */
void setUpKeyedList(QTreeWidget& list, const QStringList& captions);

/**
 * Adds command `key` (its object name and caption; `tip` its tooltip) to `tools`, running `run`;
 * with `onRow`, also to the context menu of `list`, for the selected row.
 */
QAction* addListCommand(QToolBar& tools, QTreeWidget& list, const char* key, const char* tip,
                        std::function<void()> run, bool onRow);

/**
 * Makes the row of `key` (the first column, compared without case) the current one.
 * @return false when no row holds it
 */
bool selectByKey(QTreeWidget& list, const QString& key);

/** The key of the selected row; "" when no row is selected. */
QString selectedKey(const QTreeWidget& list);

/**
 * A designer window: one row per stored item, its key (name or ID) in the first column, the
 * window's commands in the toolbar "Toolbar1" above the list and, those that act on a row, as the
 * list's context menu; "Close" ("cmdClose") below. A command that needs a row says the window's
 * `noSelection` text when none is selected.
 */
class KeyedListDialog : public SessionDialog
{
public:
    /**
     * Makes the row of `key` (compared without case) the current one.
     * @return false when no row holds it
     */
    bool select(const QString& key);

protected:
    KeyedListDialog(Session& session, Prompt& prompt, const char* name, const QString& title,
                    const char* listName, const QStringList& captions, QString noSelection,
                    QWidget* parent);

    /** Adds command `key` (its object name and caption; `tip` its tooltip), running `run`. */
    void addCommand(const char* key, const char* tip, std::function<void()> run, bool onRow);
    /** The key of the selected row; "" when no row is selected. */
    QString selectedKey() const;
    /** The selected key, or the `noSelection` text said and "". */
    QString requireSelection();
    /**
     * Delete: the selected item through `remove`, which asks first; its refusal or database
     * failure is shown. Returns whether the item was deleted, so that the list is read again.
     */
    bool deleteSelected(const std::function<Outcome<>(const QString& key)>& remove);

    QTreeWidget* m_list;

private:
    QToolBar* m_tools;
    QString m_noSelection;
};

} // namespace bx
