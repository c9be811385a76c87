#include "people/ui/AddUser.h"

#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/StoredText.h"
#include "people/UserTree.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

AddUser::AddUser(Session& session, Prompt& prompt, const QStringList& leaveOut, QWidget* parent)
    : QDialog(parent)
    , m_list(new QListWidget)
{
    setObjectName(QStringLiteral("AddUser"));
    setWindowTitle(QStringLiteral("Add User"));
    m_list->setObjectName(QStringLiteral("lstUsers"));
    auto* buttons = okCancelButtons(this, {}, {"OKButton", nullptr});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    try {
        for (const UserSummary& u : enabledUsers(session.db())) {
            bool present = false;
            for (const QString& id : leaveOut)
                present = present || sameText(id, u.userId);
            if (present)
                continue;
            auto* item = new QListWidgetItem(u.userId, m_list);
            item->setToolTip(plainToolTip(u.userName));
            item->setCheckState(Qt::Unchecked);
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, session, prompt);
    }
}

AddUser::~AddUser() = default;

QStringList AddUser::chosenUsers() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->checkState() == Qt::Checked)
            out << m_list->item(i)->text();
    return out;
}

} // namespace bx
