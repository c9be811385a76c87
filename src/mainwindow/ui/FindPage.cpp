#include "mainwindow/ui/FindPage.h"

#include "core/Gmt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/Named.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace bx {

namespace {

const QStringList kHeaders = {QStringLiteral("Task Title"), QStringLiteral("Owner"),
                              QStringLiteral("Status"),     QStringLiteral("Due Date"),
                              QStringLiteral("Requester"),  QStringLiteral("Task Number")};

QStandardItem* cell(const QString& text, qlonglong number, bool disabledUser = false)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(number, FindPage::kNumberRole);
    if (disabledUser) {
        QFont font = item->font();
        font.setStrikeOut(true);
        item->setFont(font);
        item->setToolTip(QStringLiteral("Disabled user"));
    }
    return item;
}

} // namespace

FindPage::FindPage(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_tree(named(new QTreeView, "IvvTree4"))
    , m_model(new QStandardItemModel(this))
{
    setObjectName(QStringLiteral("FIND"));
    m_model->setHorizontalHeaderLabels(kHeaders);
    m_tree->setModel(m_model);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->header()->setStretchLastSection(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeView::doubleClicked, this, &FindPage::onActivated);
}

FindPage::~FindPage() = default;

void FindPage::run(const SearchOptions& options)
{
    m_model->removeRows(0, m_model->rowCount());
    m_hits.clear();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    SearchOptions running = options;
    running.searchMode = true;
    const SearchResult result = runTaskSearch(m_session, running);
    m_session.search.searchMode = false;
    m_hits = result.hits;
    for (const SearchHit& hit : m_hits) {
        const qlonglong n = hit.number;
        const QDate due = GmtConverter(m_session.clock())
                              .toLocalDate(hit.row.value(scr::OwnerTargetDate).toDateTime());
        QList<QStandardItem*> row{
            cell(hit.text(scr::Title), n),
            cell(hit.text(scr::OwnerUserId), n, hit.ownerDisabled),
            cell(hit.text(scr::Status), n),
            cell(due.isValid() ? due.toString(QStringLiteral("yyyy-MM-dd")) : QString(), n),
            cell(hit.text(scr::RequestId), n, hit.requesterDisabled),
            cell(QString::number(n), n)};
        for (const QString& title : hit.attachmentTitles)
            row.first()->appendRow(cell(title, n));
        m_model->appendRow(row);
    }
    m_tree->expandAll();
    QGuiApplication::restoreOverrideCursor();
    if (result.error)
        reportDatabaseError(*result.error, m_session, m_prompt);
}

void FindPage::onActivated(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    emit openTask(index.data(kNumberRole).toLongLong());
}

} // namespace bx
