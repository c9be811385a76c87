#pragma once

#include "core/Refusal.h"
#include "tasks/PendingAttachment.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace bx {

class Clock;
class Database;
class TaskPlugIn;

namespace plugins {

/** One plug-in of LU_ACTIVEX, as ACTIVEX_FORM offers it. */
struct RegisteredPlugIn
{
    qlonglong id = 0;
    QString label;
    QString progId; ///< ActiveX_Control_Name
    bool operator==(const RegisteredPlugIn&) const = default;
};

/** The plug-ins of LU_ACTIVEX by label. @throws DbError */
QList<RegisteredPlugIn> registeredPlugIns(Database& db);

/**
 * The plug-in attachment of `chosen` (null: none chosen): titled with its label, Attach_Filename
 * its ProgID, for the shared add (which refuses a ProgID the task has already).
 */
Outcome<PendingAttachment> plugInAttachment(const RegisteredPlugIn* chosen, bool showInTabBar,
                                            const QString& user, const Clock& clock);

/** What the task editor shows, as a plug-in is told it. */
struct EditorValues
{
    qlonglong task = 0;
    qlonglong parent = 0;
    QString lifecycleId;
    QDate ownerTargetDate; ///< invalid while the due-date box is empty
    QString category;
    QString priority;
    QString comments; ///< the description as plain text
    QString title;
    QString userId;
    QString customField;
    QDate lifecycleEndDate; ///< invalid while the stage due-date box holds no date
    /** The user may edit the custom tab (Edit_Custom_Tab) and the task is writable. */
    bool edit = false;
};

/**
 * "TO" sends the editor's values in the order plug-ins expect them (the dates only when the boxes
 * hold one); `sendDatabase` sends BXDB and bODBC at their place. "FROM" changes nothing. Another
 * direction is refused.
 */
std::optional<RefusalOf<>> UpdatePluginObject(const QString& direction, TaskPlugIn& plugIn,
                                              const EditorValues& values,
                                              const std::function<void()>& sendDatabase);

/** Tells the plug-in its task and key, then "EDIT" or "VIEW". */
void SET_ACTIVEX(TaskPlugIn& plugIn, const EditorValues& values, const QString& key);

/**
 * The plug-in's first showing: SCR_Parent_Number, the values ("TO"), then SET_ACTIVEX with `key`.
 * @return false when the plug-in answered "CANCEL" (its control is to be hidden)
 */
bool showPlugIn(TaskPlugIn& plugIn, const EditorValues& values, const QString& key,
                const std::function<void()>& sendDatabase);

/** The unsaved values kept in a call record, by task column; read back by valuesFromRecord. */
QVariantMap recordValues(const EditorValues& values);
/** The editor values of a call record's map over `stored` (the task as it was read). */
EditorValues valuesFromRecord(const QVariantMap& record, EditorValues stored);

} // namespace plugins
} // namespace bx
