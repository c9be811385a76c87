#pragma once

#include "core/schema/TaskColumns.h"
#include "core/schema/TaskKinds.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace bx {

/**
 * The plug-in shown on the task editor's custom tab, as the task object talks to it: named
 * properties ("ACTION", "SCR_Custom_Field", ...) read and written. The plug-in host adapts a
 * plug-in's widget to it; the task object never owns it.
 */
class TaskPlugIn
{
public:
    virtual ~TaskPlugIn() = default;
    virtual QVariant property(const QString& name) const = 0;
    virtual void setProperty(const QString& name, const QVariant& value) = 0;
};

/**
 * The note dialog the task object asks when a save changes the due date or the start date; each
 * call returns the note the user typed, nullopt when the dialog was cancelled.
 */
class TaskNoteSource
{
public:
    virtual ~TaskNoteSource() = default;
    virtual std::optional<QString> OnTargetChange() = 0;
    virtual std::optional<QString> OnStartChange() = 0;
};

} // namespace bx
