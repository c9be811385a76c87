#include "tasks/ui/COPY_ATT.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/AttachmentView.h"
#include "tasks/Attachments.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace bx {

COPY_ATT::COPY_ATT(Session& session, Prompt& prompt, qlonglong sourceTask, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_list(named(new QTreeWidget, "lstAttach"))
{
    setObjectName(QStringLiteral("COPY_ATT"));
    setWindowTitle(QStringLiteral("Add from Parent"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Type")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    runCommand(session, prompt, [&] {
        const attachments::TaskAttachmentLists lists =
            attachments::listFor(session.db(), session.clock(), sourceTask);
        QList<attachments::ListedAttachment> all = lists.attachments + lists.memos;
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
            return a.title.localeAwareCompare(b.title) < 0;
        });
        for (const attachments::ListedAttachment& item : all) {
            auto* row = new QTreeWidgetItem(
                m_list, {attachments::shownTitle(item), attachments::kindWord(item.type)});
            row->setData(0, Qt::UserRole, item.number);
        }
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &COPY_ATT::onOk);

    auto* buttons = okCancelButtons(this, &COPY_ATT::onOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Attachments of the parent task:")));
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(480, 340);
}

void COPY_ATT::onOk()
{
    const QTreeWidgetItem* current = m_list->currentItem();
    if (!current) {
        showRefusal(m_prompt, attachments::kSelectAttachment, m_list);
        return;
    }
    m_chosen = current->data(0, Qt::UserRole).toLongLong();
    accept();
}

} // namespace bx
