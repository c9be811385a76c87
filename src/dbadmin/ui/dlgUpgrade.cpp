#include "dbadmin/ui/dlgUpgrade.h"

#include "core/Prompt.h"
#include "core/db/DbError.h"
#include "core/ui/DialogButtons.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/Upgrader.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

constexpr int kNameRole = Qt::UserRole;

QIcon pendingIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_MediaPause);
}

QIcon appliedIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton);
}

} // namespace

dlgUpgrade::dlgUpgrade(Database& db, Prompt& prompt, UpgradeContext context, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_log(std::make_unique<UpgradeLog>())
    , m_upgrader(std::make_unique<Upgrader>(db, prompt, *m_log, std::move(context)))
    , m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("dlgUpgrade"));
    setWindowTitle(QStringLiteral("Database Upgrade"));
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    auto* buttons = okCancelButtons(this, &dlgUpgrade::onOk, kOkButtonNames);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(480, 360);

    try {
        m_upgrader->load();
        for (const UpgradeStep* step : m_upgrader->pending()) {
            auto* item = new QTreeWidgetItem(m_list, {step->friendlyName()});
            item->setData(0, kNameRole, step->name());
            item->setIcon(0, pendingIcon());
        }
    } catch (const DbError& e) {
        m_prompt.inform(e.text(), {}, PromptIcon::Critical);
    }
}

dlgUpgrade::~dlgUpgrade() = default;

void dlgUpgrade::onOk()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_upgraded = m_upgrader->run([this](const QString& name) {
        for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = m_list->topLevelItem(i);
            if (item->data(0, kNameRole).toString().toUpper() == name.toUpper())
                item->setIcon(0, appliedIcon());
        }
        QApplication::processEvents();
    });
    QApplication::restoreOverrideCursor();
    if (m_upgraded)
        accept();
}

} // namespace bx
