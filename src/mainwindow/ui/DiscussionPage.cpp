#include "mainwindow/ui/DiscussionPage.h"

#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/Named.h"
#include "mainwindow/Discussion.h"
#include "mainwindow/ui/TaskGridModel.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

namespace bx {

DiscussionPage::DiscussionPage(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_onlyDiscussion(named(new QCheckBox(QStringLiteral("Only tasks with discussion"), this),
                             "chkOnlyDiscussion"))
    , m_list(named(new QTableView(this), "lvDiscussion"))
    , m_model(new TaskGridModel(session.clock(), this))
{
    setObjectName(QStringLiteral("DISCUSSION"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_onlyDiscussion);
    layout->addWidget(m_list);
    connect(m_onlyDiscussion, &QCheckBox::toggled, this, &DiscussionPage::refresh);
    connect(m_list, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const qlonglong number = m_model->data(index, Qt::UserRole).toLongLong();
        if (number != 0)
            emit openTask(number);
    });
}

void DiscussionPage::refresh()
{
    if (!m_session.isOpen())
        return;
    try {
        const RecordSet rows = readDiscussion(m_session.db(), m_session.currentWorkshopId,
                                              m_onlyDiscussion->isChecked(), m_session.user.userId);
        m_model->setRows(rows.columns(), rows.rows());
    } catch (const DbError& e) {
        m_model->setRows({}, {});
        reportDatabaseError(e, m_session, m_prompt);
    }
}

} // namespace bx
