#include "tasks/ui/TimeSheetPane.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "reports/TimeSheets.h"
#include "reports/ui/Stopwatch.h"
#include "reports/ui/dlgTimeSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kSource = QStringLiteral("TimeSheet");
const QString kKeyPrefix = QStringLiteral("TSH");

} // namespace

TimeSheetPane::TimeSheetPane(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_list(named(new QTreeWidget, "ListView2"))
    , m_add(named(new QPushButton(QStringLiteral("Add Record...")), "cmdAdd"))
    , m_edit(named(new QPushButton(QStringLiteral("Edit Record...")), "cmdEdit"))
    , m_delete(named(new QPushButton(QStringLiteral("Delete Record...")), "cmdDelete"))
    , m_start(named(new QPushButton(QStringLiteral("Start")), "cmdStart"))
    , m_stop(named(new QPushButton(QStringLiteral("Stop")), "cmdStop"))
    , m_report(named(new QPushButton(QStringLiteral("Report...")), "cmdReport"))
    , m_stopwatch(named(new Stopwatch(session.clock()), "BXTIMER1"))
{
    m_list->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Start"),
                             QStringLiteral("Time"), QStringLiteral("User"),
                             QStringLiteral("Comment")});
    m_list->setRootIsDecorated(false);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list, 1);
    auto* records = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_edit, m_delete, m_report})
        records->addWidget(b);
    records->addStretch(1);
    box->addLayout(records);
    auto* watch = new QHBoxLayout;
    watch->addWidget(new QLabel(QStringLiteral("Stopwatch:")));
    watch->addWidget(m_stopwatch);
    watch->addWidget(m_start);
    watch->addWidget(m_stop);
    watch->addStretch(1);
    box->addLayout(watch);

    connect(m_add, &QPushButton::clicked, this, &TimeSheetPane::addRecord);
    connect(m_edit, &QPushButton::clicked, this, &TimeSheetPane::editRecord);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &TimeSheetPane::editRecord);
    connect(m_delete, &QPushButton::clicked, this, &TimeSheetPane::deleteRecord);
    connect(m_start, &QPushButton::clicked, this, &TimeSheetPane::startStopwatch);
    connect(m_stop, &QPushButton::clicked, this, &TimeSheetPane::stopStopwatch);
    connect(m_report, &QPushButton::clicked, this, [this] {
        if (openReport)
            openReport(m_task);
    });
    applyEnabling();
}

void TimeSheetPane::setTask(qint64 number, bool saved)
{
    m_task = number;
    m_saved = saved && number != 0;
    reload();
}

void TimeSheetPane::reload()
{
    m_list->clear();
    m_stopwatch->reset();
    if (m_saved) {
        runTaskCommand(m_session, m_prompt, kSource, [this] {
            for (const Booking& b : timesheet::bookingsOf(m_session, m_task)) {
                auto* item =
                    new QTreeWidgetItem(m_list, {b.date.toString(QStringLiteral("yyyy-MM-dd")),
                                                 b.start.toString(QStringLiteral("HH:mm")),
                                                 timesheet::durationText(b.hours * 60 + b.minutes),
                                                 b.userId, b.comment});
                item->setData(0, Qt::UserRole, kKeyPrefix + QString::number(b.id));
            }
            if (const auto since = timesheet::stopwatchStart(m_session, m_task))
                m_stopwatch->start(*since);
        });
    }
    applyEnabling();
}

void TimeSheetPane::applyEnabling()
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_list, m_add, m_edit, m_delete, m_report})
        w->setEnabled(m_saved);
    // The user's own stopwatch on this task: started once, stopped while it runs.
    m_start->setEnabled(m_saved && !m_stopwatch->running());
    m_stop->setEnabled(m_saved && m_stopwatch->running());
}

qint64 TimeSheetPane::selectedId() const
{
    const QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return 0;
    return item->data(0, Qt::UserRole).toString().mid(kKeyPrefix.size()).toLongLong();
}

void TimeSheetPane::addRecord()
{
    dlgTimeSheet dialog(m_session, m_prompt, m_task, std::nullopt, this);
    if (dialog.exec() == QDialog::Accepted)
        reload();
}

void TimeSheetPane::editRecord()
{
    const qint64 id = selectedId();
    if (id == 0) {
        showRefusal(m_prompt, QStringLiteral("Please select a Record to edit."));
        return;
    }
    std::optional<Booking> booking;
    runTaskCommand(m_session, m_prompt, kSource, [&] {
        for (const Booking& b : timesheet::bookingsOf(m_session, m_task)) {
            if (b.id == id)
                booking = b;
        }
    });
    if (!booking)
        return;
    dlgTimeSheet dialog(m_session, m_prompt, m_task, booking, this);
    if (dialog.exec() == QDialog::Accepted)
        reload();
}

void TimeSheetPane::deleteRecord()
{
    const qint64 id = selectedId();
    bool done = false;
    runTaskCommand(m_session, m_prompt, kSource, [&] {
        const Outcome<> outcome = timesheet::deleteBooking(
            m_session, m_prompt, id == 0 ? std::nullopt : std::optional<qint64>(id));
        done = bool(outcome);
        showRefusal(m_prompt, outcome.refusal());
    });
    if (done)
        reload();
}

void TimeSheetPane::startStopwatch()
{
    if (runTaskCommand(m_session, m_prompt, kSource,
                       [this] { timesheet::startStopwatch(m_session, m_task); }))
        reload();
}

void TimeSheetPane::stopStopwatch()
{
    if (runTaskCommand(m_session, m_prompt, kSource,
                       [this] { timesheet::stopStopwatch(m_session, m_task); }))
        reload();
}

} // namespace bx
