#pragma once

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "support/AttachContent.h"
#include "support/FixedClock.h"
#include "support/Lifecycles.h"
#include "support/ScriptedPrompt.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/TaskTypes.h"
#include "workflow/TaskNotifier.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <functional>

// A namespace of its own: the other task tests link into the same executable.
namespace bx::test::tasks {

using bx::test::addCategories;
using bx::test::addLifecycle;
using bx::test::addStageAction;
using bx::test::addTaskRow;
using bx::test::addUsers;
using bx::test::addWorkshop;
using bx::test::attachContent;
using bx::test::requesterStage;
using bx::test::setAttachContent;
using bx::test::StageDef;
using bx::test::userStage;
using bx::test::withRule;
using bx::test::workshopStage;

inline constexpr int kHour = 3600;
/** The signed-in user of every task test. */
inline const QString kMe = QStringLiteral("ann");
/** The current workshop of the session; its root folder is kSevenRoot. */
inline constexpr qlonglong kShop7 = 7;
inline const QString kSevenRoot = QStringLiteral("Seven's root");
/** A workshop without root folder, named with quotes. */
inline constexpr qlonglong kShop4 = 4;
inline const QString kShop4Name = QStringLiteral("O'Neil's \"front\" desk");
/** Two more workshops, without root folders. */
inline constexpr qlonglong kShop8 = 8;
inline constexpr qlonglong kShop9 = 9;
/** A category that exists in LU_CATEGORY. */
inline const QString kProjects = QStringLiteral("Bob's projects");

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0);

/** The keys whose values differ between two value maps, each as "key: a != b". */
QStringList differingValues(const QVariantMap& a, const QVariantMap& b);

/** One call of the notifier, as it was made. */
struct Notice
{
    QString action;
    QString stageName;
    QDateTime targetDate;
    QString ownerUser;
    qlonglong groupId = 0;
};

/** Records every notice; can be told to throw on a chosen one. */
class RecordingNotifier final : public TaskNotifier
{
public:
    void NotifyTaskEvent(Database& db, const RecordSet& task, const RecordSet& route,
                         const QString& action, const QString& stageName,
                         const QDateTime& targetDate, const QString& ownerUser, qlonglong groupId,
                         const QString& comment) override;

    QList<Notice> notices;
    /** When set and answering true for a notice, the notifier throws `throwDbError` or not. */
    std::function<bool(const Notice&)> failWhen;
    bool throwDbError = false;
    QString failText = QStringLiteral("mail server 'north' is down");
};

/** A plug-in of the custom tab: named properties, optionally refusing a save. */
class FakePlugIn final : public TaskPlugIn
{
public:
    QVariant property(const QString& name) const override { return props.value(name); }
    void setProperty(const QString& name, const QVariant& value) override;

    QVariantMap props;
    /** Every ACTION word handed over, in order. */
    QStringList actions;
    /** Answer "SAVE" with "CANCEL". */
    bool cancelSave = false;
};

/** The date-change note dialog: a note for the due date, Cancel for the start date. */
class FakeNoteSource final : public TaskNoteSource
{
public:
    std::optional<QString> OnTargetChange() override
    {
        ++targetAsked;
        return QStringLiteral("moved: supplier's delay");
    }
    std::optional<QString> OnStartChange() override
    {
        ++startAsked;
        return std::nullopt;
    }
    int targetAsked = 0;
    int startAsked = 0;
};

/**
 * A fresh database of the current schema on the engine of the parameter, with the users ann, bob,
 * carl, dora and O'Brien, the workshops 4, 7, 8 and 9 and the category kProjects; a session
 * signed in as ann in workshop 7, on its own connection, with a recording notifier; a fixed clock
 * at 2024-01-31 14:05:09 local, two hours ahead of GMT.
 */
class TaskTest : public SessionTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    /**
     * Gives the task the history its first save leaves: a closed "Create Request" row and the
     * open row of `owner`.
     */
    void startHistory(qlonglong task, const QString& owner, qlonglong group);
    /** A task row column as stored. */
    QVariant stored(qlonglong task, const QString& column);
    QString storedText(qlonglong task, const QString& column)
    {
        return stored(task, column).toString();
    }
    qlonglong storedNumber(qlonglong task, const QString& column)
    {
        return stored(task, column).toLongLong();
    }
    /** The task row's `columns` as stored, each as text (a Null as ""), for one comparison. */
    QStringList storedTexts(qlonglong task, const QStringList& columns);

    /** The task's ROUTE rows, oldest first. */
    RecordSet routeRows(qlonglong task);
    /** The Route_Action of the closed rows, oldest first. */
    QStringList closedActions(qlonglong task);
    qlonglong countRows(const QString& sql, const QVariantList& params = {});

    void addRule(const QString& name, const QString& script);

    /**
     * Attaches a checklist to the task (ATTACH type 'K' named by Attach_Filename; a Null name
     * when `name` is null) and returns the attachment number.
     */
    qlonglong attachChecklist(qlonglong task, const QString& name);
    /** A template item of a checklist. */
    void addChecklistItem(const QString& checklist, const QString& item, bool mandatory);
    /** Ticks an item on the checklist copy of attachment `attachNumber`. */
    void tickChecklistItem(const QString& checklist, const QString& item, qlonglong attachNumber);

    /** Adds an attachment row with the given columns; returns its number. */
    qlonglong addAttachment(qlonglong task, const QVariantMap& columns);
    /** Adds an attachment row of `type` (Attach_Type) with the given columns. */
    qlonglong addAttachment(qlonglong task, const QString& type, QVariantMap columns = {})
    {
        columns.insert(QStringLiteral("Attach_Type"), type);
        return addAttachment(task, columns);
    }

    /** Shown errors: the texts of critical boxes titled "Budget Row Error". */
    QStringList taskErrors() const;
    /** Every text shown, for failure messages. */
    std::string shown() const { return prompt.texts().join(u'|').toStdString(); }

    RecordingNotifier notifier;
};

} // namespace bx::test::tasks
