#pragma once

// All a task plug-in needs besides Qt. A plug-in is a Qt plug-in library whose metadata lists the
// ProgIDs it creates ("MetaData": {"ProgIDs": ["Maker.Control"]}) and whose instance implements
// TaskPlugInFactory. The host talks to the widget it makes through dynamic properties only
// ("ACTION", "SCR_Number", "key", "SCR_Custom_Field", ...): it sets them and reads them back, and
// the widget hears of each change through QEvent::DynamicPropertyChange. A plug-in that answers
// "SAVE" by setting "ACTION" to "CANCEL" vetoes the task's save.

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QtPlugin>

class QWidget;

namespace bx {

/**
 * The database as a plug-in sees it (property "BXDB"): one statement at a time, fenced like a rule
 * script (a single SELECT, WITH, INSERT, UPDATE or DELETE; values bound with "?"). A refused or
 * failing statement throws std::runtime_error with the reason.
 */
class BXDB
{
public:
    virtual ~BXDB() = default;
    /** The rows of a SELECT or WITH, each by column name. */
    virtual QList<QVariantMap> query(const QString& sql, const QVariantList& params = {}) = 0;
    /** The number of rows an INSERT, UPDATE or DELETE changed. */
    virtual qlonglong execute(const QString& sql, const QVariantList& params = {}) = 0;
};

/** The instance of a plug-in library. */
class TaskPlugInFactory
{
public:
    virtual ~TaskPlugInFactory() = default;
    /** A new widget for `progId` (one the metadata lists, in any case) inside `parent`. */
    virtual QWidget* create(const QString& progId, QWidget* parent) = 0;
};

} // namespace bx

#define BX_TASK_PLUGIN_IID "org.brindlepax.TaskPlugInFactory/1.0"
Q_DECLARE_INTERFACE(bx::TaskPlugInFactory, BX_TASK_PLUGIN_IID)
Q_DECLARE_METATYPE(bx::BXDB*)
