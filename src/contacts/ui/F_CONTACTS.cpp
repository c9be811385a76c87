#include "contacts/ui/F_CONTACTS.h"

#include "contacts/Contacts.h"
#include "contacts/ui/ContactsCtrl.h"
#include "core/Prompt.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/ShowRefusal.h"

#include <QDialogButtonBox>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

F_CONTACTS::F_CONTACTS(Session& session, Prompt& prompt, bool chooser, QWidget* parent)
    : SessionDialog(session, prompt, "F_CONTACTS",
                    chooser ? QStringLiteral("Choose Contact") : QStringLiteral("Contacts"), parent)
    , m_list(new ContactsCtrl(session, prompt))
{
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list->toolBar());
    box->addWidget(m_list, 1);
    m_list->setChooser(chooser);
    if (chooser) {
        box->addWidget(okCancelButtons(this, &F_CONTACTS::accept));
        connect(m_list, &ContactsCtrl::chosen, this, [this] { accept(); });
    }
    resize(520, 480);
    m_list->RefreshContactList();
}

void F_CONTACTS::accept()
{
    m_chosen = m_list->Contact_Key();
    if (m_chosen == 0) {
        showRefusal(m_prompt, contacts::kNoContactSelected);
        return;
    }
    QDialog::accept();
}

qlonglong F_CONTACTS::choose(Session& session, Prompt& prompt, QWidget* parent)
{
    F_CONTACTS chooser(session, prompt, true, parent);
    return chooser.exec() == QDialog::Accepted ? chooser.chosenKey() : 0;
}

} // namespace bx
