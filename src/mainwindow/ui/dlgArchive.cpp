#include "mainwindow/ui/dlgArchive.h"

#include "core/Gmt.h"
#include "core/ui/Named.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

dlgArchive::dlgArchive(const Clock& clock, QList<cabinet::Document> versions, QWidget* parent)
    : QDialog(parent)
    , m_versions(std::move(versions))
    , m_list(named(new QTreeWidget(this), "lstVersions"))
{
    setObjectName(QStringLiteral("dlgArchive"));
    setWindowTitle(QStringLiteral("Archived Versions"));
    m_list->setHeaderLabels(
        {QStringLiteral("Title"), QStringLiteral("Owner"), QStringLiteral("Date")});
    m_list->setRootIsDecorated(false);
    const GmtConverter gmt(clock);
    for (int i = 0; i < m_versions.size(); ++i) {
        const cabinet::Document& v = m_versions.at(i);
        auto* item = new QTreeWidgetItem(
            m_list,
            {v.title, v.owner, gmt.toLocal(v.date).toString(QStringLiteral("MM/dd/yyyy hh:mm"))});
        item->setData(0, Qt::UserRole, i);
    }
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        emit versionChosen(m_versions.at(item->data(0, Qt::UserRole).toInt()));
    });
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list);
    resize(640, 320);
}

} // namespace bx
