#include "tasks/ui/SIGN_FORM.h"

#include "core/Session.h"
#include "core/ui/EditCommands.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/SignOff.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

namespace bx {

SIGN_FORM::SIGN_FORM(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "SIGN_FORM", QStringLiteral("Approval"), parent)
    , m_text(named(new QLineEdit, "txtTitle"))
    , m_run([](QDialog& d) { return d.exec(); })
{
    auto* menus = new QMenuBar;
    QMenu* edit = menus->addMenu(QStringLiteral("&Edit"));
    auto* tools = named(new QToolBar, "Toolbar1");
    addEditCommands(*this, *tools, edit);

    auto* buttons = new QDialogButtonBox;
    QPushButton* approve = named(
        buttons->addButton(QStringLiteral("Approve"), QDialogButtonBox::AcceptRole), "cmdApprove");
    QPushButton* disapprove =
        named(buttons->addButton(QStringLiteral("Disapprove"), QDialogButtonBox::AcceptRole),
              "cmdDisapprove");
    QPushButton* cancel = named(buttons->addButton(QDialogButtonBox::Cancel), "cmdCancel");
    // The buttons decide themselves; the box's accept role would close the window unchecked.
    connect(approve, &QPushButton::clicked, this, [this] { sign(true); });
    connect(disapprove, &QPushButton::clicked, this, [this] { sign(false); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addWidget(tools);
    layout->addWidget(new QLabel(QStringLiteral("Title:")));
    layout->addWidget(m_text);
    layout->addStretch(1);
    layout->addWidget(buttons);
    resize(440, 180);
}

std::optional<PendingAttachment> SIGN_FORM::do_approval(qlonglong taskNumber)
{
    if (taskNumber != 0)
        setWindowTitle(QStringLiteral("Approval - Task ") + QString::number(taskNumber));
    m_pending.reset();
    m_text->setFocus();
    if (m_run(*this) != QDialog::Accepted)
        return std::nullopt;
    return m_pending;
}

void SIGN_FORM::sign(bool approved)
{
    Outcome<PendingAttachment> note =
        signoff::approvalNote(m_text->text(), approved, m_session.user.userId, m_session.clock());
    if (showRefusal(m_prompt, note.refusal(), [this](NoField) { return m_text; }))
        return;
    m_pending = *note;
    accept();
}

} // namespace bx
