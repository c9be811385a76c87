// The quick team reports of the Reports menu: pages written over the users the team view shows
// and handed to the desktop's browser.

#include "core/AppPaths.h"
#include "core/DesktopFile.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/QuickReports.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/TeamView.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>

#include <iterator>

namespace bx {

void Access_Form::addQuickReports(QMenu* reports)
{
    // Object names of the commands, in the order of the reports.
    static const char* const names[] = {
        "mnuRepThisWeek",   "mnuCurTasks",      "mnuLateTasks",
        "mnuNoTargetTasks", "mnuNoStatusTasks", "mnuMoreRecentTasks",
        "mnuStatusReports", "mnuWeeklyRep",     "mnuWeeklyIssues"};
    static_assert(std::size(names) == 9);
    reports->addSeparator();
    const QList<quick::QuickReportInfo>& list = quick::quickReports();
    for (qsizetype i = 0; i < list.size() && i < qsizetype(std::size(names)); ++i) {
        const quick::QuickReport report = list.at(i).report;
        QAction* action = command(names[i], list.at(i).title, nullptr);
        connect(action, &QAction::triggered, this, [this, report] { runQuickReport(report); });
        reports->addAction(action);
    }
}

void Access_Form::runQuickReport(quick::QuickReport report)
{
    const QStringList owners = quick::reportOwners(m_team->tree(), m_team->ownersShown());
    Outcome<QString> page;
    if (!runCommand(m_session, m_prompt, [&] {
            page = quick::writeReport(m_session, report, owners, AppPaths::dataDir(),
                                      AppPaths::programDir());
        }))
        return;
    if (showRefusal(m_prompt, page.refusal()) || !page)
        return;
    // The page reaches the browser only through the check of every file the program opens.
    const Outcome<QUrl> url = desktop::fileToOpen(*page);
    if (!showRefusal(m_prompt, url.refusal()) && !QDesktopServices::openUrl(*url))
        m_prompt.inform(QStringLiteral("No program could open ") + *page);
}

} // namespace bx
