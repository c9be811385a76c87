#pragma once

#include <QList>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace bx {

class SettingsStore;

/**
 * The main window's layout as the user left it, kept per user in the settings store:
 *  - section "Access Form": "Bevel1" and "Bevel2" (the sizes of the panes either side of the
 *    splitter between tree and list, and between list and preview, as "250,750"), "Preview" ("H"
 *    or "V"), "ShowPreview" (True/False), "Left", "Top", "Width", "Height" (the window's normal
 *    geometry) and "Maximized" (True/False);
 *  - section "Access Form\Grid Columns": the width of each task grid column, by SCR column name;
 *  - section "Access Form 2": the message-tree column widths "Title", "Owner" and "Date";
 *  - section "TaskForm": the task editor's size, "Widht" and "Height".
 *
 * A value that is missing or cannot be used (not a number, a negative size, an orientation other
 * than H or V, a splitter without two sizes) leaves its member at the default below, which tells
 * the window to choose for itself.
 */
struct WindowLayout
{
    QList<int> treeSplit;    ///< Bevel1: tree, list; empty = not kept
    QList<int> previewSplit; ///< Bevel2: list, preview; empty = not kept
    QString previewOrientation = QStringLiteral("H");
    bool previewShown = true;
    QRect geometry; ///< the window's normal geometry; invalid = not kept
    bool maximized = false;
    /** Task grid column widths by SCR column name. Saving leaves other columns' widths alone. */
    QMap<QString, int> gridColumnWidths;
    /** Message-tree column widths by messageColumns() name. */
    QMap<QString, int> messageColumnWidths;
    QSize taskFormSize; ///< invalid = not kept

    static QString formSection() { return QStringLiteral("Access Form"); }
    static QString gridColumnsSection() { return QStringLiteral("Access Form\\Grid Columns"); }
    static QString messageSection() { return QStringLiteral("Access Form 2"); }
    static QString taskFormSection() { return QStringLiteral("TaskForm"); }
    /** "Title", "Owner", "Date". */
    static QStringList messageColumns();

    static WindowLayout load(const SettingsStore& store);
    /** Writes everything that is kept, in one save. Members at their "not kept" value are not
     * written, so an earlier value stays. */
    void save(SettingsStore& store) const;

    bool operator==(const WindowLayout&) const = default;
};

} // namespace bx
