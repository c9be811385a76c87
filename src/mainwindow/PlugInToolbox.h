#pragma once

#include "core/Refusal.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

namespace plugins {

/** One row of LU_ACTIVEX: a plug-in the main window opens in a tab of its own. */
struct PlugInDefinition
{
    qlonglong id = 0;         ///< ID; 0 for a plug-in not saved yet
    QString label;            ///< caption of its button, menu entry and tab
    QString progId;           ///< ActiveX_Control_Name: what the plug-in library creates
    QString plugInName;       ///< Plugin_Name: the name its widget is given
    bool showToolBox = false; ///< offered on the main window's toolbar
    bool separate = false;    ///< a button of its own rather than an entry of the plug-ins' menu
    QByteArray icon;          ///< the picture file as stored; empty for none

    bool operator==(const PlugInDefinition&) const = default;
};

/** One plug-in on the main window's toolbar. */
struct ToolboxEntry
{
    qlonglong id = 0;
    QString label;
    bool separate = false; ///< its own button; otherwise an entry of the plug-ins' menu
    QImage icon;           ///< never null: the default picture stands in for a missing one
};

/** The picture shown for a plug-in without one of its own, or with one that does not decode. */
QImage defaultPlugInIcon();

/** `stored` (any format Qt reads: ICO, BMP, JPEG, PNG, ...) decoded, else the default picture. */
QImage plugInIcon(const QByteArray& stored);

/** The plug-ins offered on the toolbar (ShowToolBox), each once, by label. @throws DbError */
QList<ToolboxEntry> toolboxEntries(Database& db);

/** Plug-in `id`; std::nullopt when no row has it (any more). @throws DbError */
std::optional<PlugInDefinition> readPlugIn(Database& db, qlonglong id);

/** What a plug-in whose row has gone says when it is opened. */
QString plugInNotRegisteredMessage(const QString& label);

/** The controls of the plug-in editor a refusal puts the focus on. */
enum class PlugInField
{
    None,
    ControlName,
};

/** Administration of LU_ACTIVEX: administrators only, each change in one transaction. */
class PlugInStore
{
public:
    PlugInStore(Session& session, Prompt& prompt);

    /**
     * Saves `draft`, every column of it: as a new row (a new ID) when its id is 0, else over row
     * `draft.id`. The control name is required; no other row may hold both its control name and
     * label; the control name of a plug-in attached to tasks stays as it is.
     * @return the row's ID
     */
    Outcome<qlonglong, PlugInField> save(PlugInDefinition draft);

    /**
     * Deletes plug-in `id` after "Are you sure?", unless a task has it attached; "No item
     * selected" when `id` is 0.
     */
    Outcome<> remove(qlonglong id);

private:
    Session& m_session;
    Prompt& m_prompt;
};

} // namespace plugins
} // namespace bx
