#pragma once

#include "core/schema/ColumnDef.h"

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QVariant>

#include <initializer_list>

/**
 * The names of the columns of the task table SCR, as the schema spells them. Code names a task
 * column only through these constants: the task object's own accessors take nothing else, and the
 * test TaskColumnsAreNamedFromTheCatalogue fails for an "SCR_..." name in a string of src/ that
 * this list lacks.
 */
namespace bx::scr {

/**
 * The name of one column of SCR. A distinct type, so that what takes one (the task object's
 * accessors) takes only a name from this list, never a string typed at the call.
 */
class Column : public QLatin1String
{
public:
    explicit constexpr Column(const char* name) noexcept
        : QLatin1String(name)
    {
    }
};

inline constexpr QLatin1String Table{"SCR"};

inline constexpr Column Counter{"SCR_Counter"};
inline constexpr Column Number{"SCR_Number"};
inline constexpr Column Title{"SCR_Title"};
inline constexpr Column Priority{"SCR_Priority"};
inline constexpr Column Category{"SCR_Category"};
inline constexpr Column Status{"SCR_Status"};
inline constexpr Column RequestId{"SCR_Request_ID"};
inline constexpr Column RequestGroupId{"SCR_Request_Group_ID"};
inline constexpr Column RequestDate{"SCR_Request_Date"};
inline constexpr Column OwnerUserId{"SCR_Owner_User_ID"};
inline constexpr Column OwnerType{"SCR_OwnerType"};
inline constexpr Column OwnerDateIn{"SCR_Owner_Date_In"};
inline constexpr Column OwnerDateViewed{"SCR_Owner_Date_Viewed"};
inline constexpr Column OwnerTargetDate{"SCR_Owner_Target_Date"};
inline constexpr Column FirmTargetDate{"SCR_Firm_Target_Date"};
inline constexpr Column StartDate{"SCR_StartDate"};
inline constexpr Column LifecycleEndDate{"SCR_Lifecycle_End_Date"};
inline constexpr Column LifecycleId{"SCR_Lifecycle_ID"};
inline constexpr Column LcStageName{"SCR_LC_Stage_Name"};
inline constexpr Column LcOwnerId{"SCR_LC_Owner_ID"};
inline constexpr Column LcOwnerGroupId{"SCR_LC_Owner_Group_ID"};
inline constexpr Column RouteNumber{"SCR_Route_Number"};
inline constexpr Column RouteNote{"SCR_Route_Note"};
inline constexpr Column ParentNumber{"SCR_Parent_Number"};
inline constexpr Column ParentFolderNumber{"SCR_Parent_Folder_Number"};
inline constexpr Column ContactKey{"SCR_Contact_Key"};
inline constexpr Column Attention{"SCR_Attention"};
inline constexpr Column Comments{"SCR_Comments"};
inline constexpr Column CommentsAsText{"SCR_Comments_AsText"};
inline constexpr Column PercentComplete{"SCR_Percent_Complete"};
inline constexpr Column Sensitive{"SCR_Sensitive"};
inline constexpr Column SensitivityLevel{"SCR_Sensitivity_Level"};
inline constexpr Column Template{"SCR_Template"};
inline constexpr Column CustomField{"SCR_Custom_Field"};
inline constexpr Column RecurringFrequency{"SCR_Recurring_Frequency"};
inline constexpr Column MeetingId{"Meeting_ID"};
inline constexpr Column GroupId{"SCR_Group_ID"};
/** Raised by the database on every change of the row; a writer compares it with what it read. */
inline constexpr Column RowVersion{"SCR_Row_Version"};
/**
 * The assignment with which the program's own updates of a task row raise its version, to the
 * value the database would give it. The embedded engine's trigger then has nothing left to do
 * (it would write the row a second time), and the value is the same as the server's trigger sets.
 */
inline constexpr QLatin1String RaiseRowVersion{"SCR_Row_Version = SCR_Row_Version + 1"};

/** Column names joined by ", ", for the column list of a statement. */
QString columnList(std::initializer_list<QLatin1String> columns);

} // namespace bx::scr

namespace bx {

/**
 * Every column of the task table SCR, in the order the task object keeps them. The task object
 * carries all but SCR_OwnerType, which routing and the main window keep; the long texts
 * (SCR_Comments, SCR_Comments_AsText) and the workshop references of the requester and the
 * lifecycle owner are not read by the task lists. SCR_Row_Version is read with the task and
 * never written by the program: a trigger raises it whenever the row is updated.
 */
const QList<ColumnDef>& scrColumns();

/** Which writes of the task object take a column (TaskColumn::writes). */
using TaskColumnWrite = ColumnWrite;

/** A column of SCR that the task object carries: a row of the task table's catalogue. */
using TaskColumn = ColumnDef;

/**
 * Every column of SCR the task object carries (the carried rows of scrColumns(), in its order).
 * SCR_OwnerType is left out: routing and the main window keep it, the task object neither reads
 * nor writes it.
 */
const QList<TaskColumn>& taskColumns();

/** The column of that name (compared without regard to case), or null when it is not carried. */
const TaskColumn* findTaskColumn(const QString& name);

/** The empty value of a kind: "", 0, false or the invalid (empty) date. */
QVariant emptyValue(ColumnKind kind);

/**
 * The value brought to the kind's type: text to QString, numbers to qlonglong, flags to bool (true
 * when non-zero), dates to a naive QDateTime. Null and unusable values give emptyValue(kind).
 */
QVariant normalised(ColumnKind kind, const QVariant& value);

/**
 * Whether two values of a kind are the same for change detection: texts equal after trimming and
 * lower-casing, dates equal to the second (two empty dates are equal), others by value.
 */
bool sameValue(ColumnKind kind, const QVariant& a, const QVariant& b);

} // namespace bx
