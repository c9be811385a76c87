#include "mainwindow/ui/CalendarPage.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/Named.h"
#include "mainwindow/CalendarDays.h"

#include <QAbstractTableModel>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QTableView>
#include <QTextCharFormat>
#include <QVBoxLayout>

namespace bx {

/** The rows of the chosen day; the task number is under Qt::UserRole of every cell. */
class CalendarDayModel final : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setItems(QList<CalendarDayItem> items)
    {
        beginResetModel();
        m_items = std::move(items);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_items.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(CalendarDays::dayColumns().size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_items.size())
            return {};
        const CalendarDayItem& item = m_items[index.row()];
        if (role == Qt::DisplayRole)
            return CalendarDays::dayCell(item, index.column());
        if (role == Qt::UserRole)
            return item.number;
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return CalendarDays::dayColumns().value(section);
        return {};
    }

private:
    QList<CalendarDayItem> m_items;
};

CalendarPage::CalendarPage(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_calendar(named(new QCalendarWidget(this), "PaxCal"))
    , m_list(named(new QTableView(this), "lvDay"))
    , m_model(new CalendarDayModel(this))
{
    setObjectName(QStringLiteral("CALENDAR"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_calendar);
    layout->addWidget(m_list, 1);

    connect(m_calendar, &QCalendarWidget::currentPageChanged, this, [this] {
        if (!m_loading)
            loadMarks();
    });
    connect(m_calendar, &QCalendarWidget::selectionChanged, this, [this] {
        if (!m_loading)
            loadDay();
    });
    connect(m_list, &QTableView::doubleClicked, this, &CalendarPage::onActivated);
}

CalendarPage::~CalendarPage() = default;

void CalendarPage::refresh()
{
    const QString missing = CalendarDays::workshopMissing(m_session.currentWorkshopId);
    if (!missing.isEmpty()) {
        m_calendar->setDateTextFormat(QDate(), QTextCharFormat());
        m_model->setItems({});
        m_prompt.inform(missing);
        return;
    }
    loadMarks();
    loadDay();
}

void CalendarPage::showDate(const QDate& date)
{
    m_loading = true;
    m_calendar->setSelectedDate(date);
    m_calendar->setCurrentPage(date.year(), date.month());
    m_loading = false;
    refresh();
}

void CalendarPage::loadMarks()
{
    m_calendar->setDateTextFormat(QDate(), QTextCharFormat());
    if (!m_session.isOpen() || m_session.currentWorkshopId <= 0)
        return;
    CalendarMarks marks;
    try {
        marks = CalendarDays(m_session.db(), m_session.clock())
                    .marks(m_session.currentWorkshopId, m_calendar->yearShown(),
                           m_calendar->monthShown());
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return;
    }
    QTextCharFormat task;
    task.setFontWeight(QFont::Bold);
    QTextCharFormat meeting = task;
    meeting.setForeground(QColor(Qt::blue));
    for (const QDate& day : marks.taskDays)
        m_calendar->setDateTextFormat(day, task);
    for (const QDate& day : marks.meetingDays)
        m_calendar->setDateTextFormat(day, meeting);
}

void CalendarPage::loadDay()
{
    if (!m_session.isOpen() || m_session.currentWorkshopId <= 0) {
        m_model->setItems({});
        return;
    }
    try {
        m_model->setItems(CalendarDays(m_session.db(), m_session.clock())
                              .day(m_session.currentWorkshopId, m_calendar->selectedDate()));
    } catch (const DbError& e) {
        m_model->setItems({});
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void CalendarPage::onActivated(const QModelIndex& index)
{
    const qlonglong number = index.data(Qt::UserRole).toLongLong();
    if (number > 0)
        emit openTask(number);
}

} // namespace bx
