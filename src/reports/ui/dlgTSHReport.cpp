#include "reports/ui/dlgTSHReport.h"

#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/WholeFile.h"
#include "core/ui/HtmlPrinter.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <stdexcept>

namespace bx {

dlgTSHReport::dlgTSHReport(Session& session, Prompt& prompt, qint64 task, QWidget* parent)
    : SessionDialog(session, prompt, "dlgTSHReport", QStringLiteral("Timesheet Report"), parent)
    , m_task(task)
    , m_users(named(new QComboBox, "cboUsers"))
    , m_byMonths(named(new QRadioButton(QStringLiteral("Last months:")), "optMonths"))
    , m_byDays(named(new QRadioButton(QStringLiteral("Last days:")), "optDays"))
    , m_byDates(named(new QRadioButton(QStringLiteral("From:")), "optDates"))
    , m_months(named(new QLineEdit(QStringLiteral("1")), "txtMonths"))
    , m_days(named(new QLineEdit(QStringLiteral("7")), "txtDays"))
    , m_from(named(new QDateEdit, "DTPicker1"))
    , m_to(named(new QDateEdit, "DTPicker2"))
    , m_page(named(withStoredTextDocument(new QTextBrowser), "WebBrowser1"))
{
    auto* toolbar = named(new QToolBar, "Toolbar1");
    named(toolbar->addAction(QStringLiteral("Refresh"), this, [this] { refresh(); }), "Refresh");
    named(toolbar->addAction(QStringLiteral("Save"), this, &dlgTSHReport::save), "Save");
    named(toolbar->addAction(QStringLiteral("Print"), this, &dlgTSHReport::print), "Print");

    m_users->addItem(QStringLiteral("All Team Members"), QString());
    runCommand(session, prompt, [this] {
        for (const auto& [id, label] : timesheet::reportUsers(m_session))
            m_users->addItem(label, id);
    });
    const QDate today = session.clock().nowLocal().date();
    for (QDateEdit* d : {m_from, m_to}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setDate(today);
    }
    m_from->setDate(today.addMonths(-1));
    m_byMonths->setChecked(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("User:")), 0, 0);
    grid->addWidget(m_users, 0, 1, 1, 3);
    grid->addWidget(m_byMonths, 1, 0);
    grid->addWidget(m_months, 1, 1);
    grid->addWidget(m_byDays, 1, 2);
    grid->addWidget(m_days, 1, 3);
    grid->addWidget(m_byDates, 2, 0);
    grid->addWidget(m_from, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("To:")), 2, 2);
    grid->addWidget(m_to, 2, 3);
    auto* box = new QVBoxLayout(this);
    box->addWidget(toolbar);
    box->addLayout(grid);
    box->addWidget(m_page, 1);
    resize(760, 560);
}

bool dlgTSHReport::refresh()
{
    const PeriodKind kind = m_byMonths->isChecked() ? PeriodKind::LastMonths
                            : m_byDays->isChecked() ? PeriodKind::LastDays
                                                    : PeriodKind::Dates;
    const auto period = timesheet::periodOf(
        kind, kind == PeriodKind::LastMonths ? m_months->text() : m_days->text(), m_from->date(),
        m_to->date(), m_session.clock().nowLocal().date());
    if (showRefusal(m_prompt, period.refusal(),
                    {{ReportPeriodField::Months, m_months},
                     {ReportPeriodField::Days, m_days},
                     {ReportPeriodField::StartDate, m_from}}))
        return false;
    TimeSheetRequest request;
    request.task = m_task;
    request.workshop = m_session.currentWorkshopId;
    request.userId = m_users->currentData().toString();
    request.from = period->first;
    request.to = period->second;
    const QString label = request.userId.isEmpty() ? QString() : m_users->currentText();
    QString path;
    try {
        if (!runCommand(m_session, m_prompt, [&] {
                path = timesheet::writeReport(m_session, request, label, AppPaths::dataDir());
            }))
            return false;
    } catch (const std::runtime_error& e) {
        m_prompt.inform(QString::fromStdString(e.what()), {}, PromptIcon::Critical);
        return false;
    }
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        m_html = QString::fromUtf8(file.readAll());
    m_page->setHtml(m_html);
    return true;
}

void dlgTSHReport::save()
{
    if (m_html.isEmpty() && !refresh())
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Report"), {},
                                                      QStringLiteral("HTML (*.html);;PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    const QString failure = path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                                ? HtmlPrinter(m_html).writePdf(path)
                                : writeWholeFile(path, m_html.toUtf8());
    if (!failure.isEmpty())
        m_prompt.inform(failure, {}, PromptIcon::Critical);
}

void dlgTSHReport::print()
{
    if (m_html.isEmpty() && !refresh())
        return;
    HtmlPrinter(m_html).preview(this);
}

} // namespace bx
