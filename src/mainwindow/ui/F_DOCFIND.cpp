#include "mainwindow/ui/F_DOCFIND.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

F_DOCFIND::F_DOCFIND(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_DOCFIND", QStringLiteral("Find Documents"), parent)
    , m_txtTitle(named(new QLineEdit, "txtTitle"))
    , m_lstFolders(named(new QListWidget, "lstFolders"))
    , m_lblNote(named(new QLabel, "lblNote"))
    , m_period(session.clock().nowLocal().date())
{
    QStringList folders;
    try {
        folders = grantedFolders(session.db(), session.user.userId);
    } catch (const DbError& e) {
        reportDatabaseError(e, session, prompt);
    }
    if (!folders.isEmpty())
        folders << kUnspecifiedFolder;
    for (const QString& folder : folders) {
        auto* item = new QListWidgetItem(folder, m_lstFolders);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    m_lblNote->setText(folders.isEmpty() ? kNoFolderAccess : QString());
    m_lblNote->setVisible(folders.isEmpty());
    m_lstFolders->setVisible(!folders.isEmpty());

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Document Title:"), m_txtTitle);
    auto* buttons = okCancelButtons(this, &F_DOCFIND::confirm);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_period.box());
    layout->addWidget(m_lstFolders);
    layout->addWidget(m_lblNote);
    layout->addWidget(buttons);
}

F_DOCFIND::~F_DOCFIND() = default;

bool F_DOCFIND::confirm()
{
    DocFindInput input;
    input.title = m_txtTitle->text();
    input.period = m_period.input();
    for (int i = 0; i < m_lstFolders->count(); ++i) {
        if (m_lstFolders->item(i)->checkState() == Qt::Checked)
            input.folders << m_lstFolders->item(i)->text();
    }
    const DocFindCheck check = checkDocFindInput(input, m_session.clock().nowLocal().date());
    if (!check.search) {
        m_prompt.inform(check.message);
        return false;
    }
    m_chosen = check.search;
    accept();
    return true;
}

} // namespace bx
