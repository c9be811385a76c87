#pragma once

#include "core/Refusal.h"
#include "mainwindow/TaskViews.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * The quick team reports of the Reports menu: each runs one statement over the tasks of the users
 * the team view shows and writes the rows as an HTML page into the per-user data folder, grouped
 * by its first two ordering columns. Moments are compared in GMT, as stored, on local days: "this
 * week" and "weekly" run from the start of the local day seven days back, a task is over due when
 * its due date lies before the start of today. The status reports read the plug-in tables
 * MR_STATUS and MR_WEEKLY_STATUS, which this program never writes; without them the statement
 * fails with the engine's error.
 */
namespace bx {

class RecordSet;
class Session;
class TeamTree;

namespace quick {

enum class QuickReport
{
    CompletedThisWeek,
    CurrentWork,
    OverDue,
    NoDueDate,
    NoStatusReport,
    LatestStatus,
    StatusReports,
    WeeklyStatus,
    WeeklyIssues
};

/** A report's title, as the menu and the page's header show it, and the name of its page. */
struct QuickReportInfo
{
    QuickReport report;
    QString title;
    QString fileName;
};

/** The nine reports in the order of the menu. */
const QList<QuickReportInfo>& quickReports();
const QuickReportInfo& infoOf(QuickReport report);

/**
 * The users a report covers: the user nodes of the team tree (members of the workshop and of its
 * sub-workshops, each once), or `kept` alone when the view keeps the user to his own tasks.
 */
QStringList reportOwners(const TeamTree& tree, const std::optional<OwnerSet>& kept);

/** The report's statement over the tasks of `owners` (not empty), every value bound. */
TaskCriteria reportStatement(QuickReport report, const QStringList& owners, const Session& session);

/**
 * The page of the rows a report's statement read; a sensitive task only when the signed-in user
 * owns or asked for it. Nothing when no row is left.
 */
std::optional<QString> reportPage(QuickReport report, const RecordSet& rows,
                                  const Session& session);

/**
 * Runs the report and writes its page (UTF-8) into `folder`, with the logo from `programDir`
 * beside it. @return the page's path; declined when there are no owners; refused when it holds no
 * data, or with the reason a page could not be written. @throws DbError
 */
Outcome<QString> writeReport(Session& session, QuickReport report, const QStringList& owners,
                             const QString& folder, const QString& programDir);

} // namespace quick

} // namespace bx
