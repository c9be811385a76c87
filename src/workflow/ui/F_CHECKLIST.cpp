#include "workflow/ui/F_CHECKLIST.h"

#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/ChecklistView.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

F_CHECKLIST::F_CHECKLIST(Session& session, Prompt& prompt, qlonglong attachNumber, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_view(new ChecklistView(session, prompt, attachNumber))
{
    setObjectName(QStringLiteral("F_CHECKLIST"));
    setWindowTitle(QStringLiteral("Checklist"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    named(buttons->button(QDialogButtonBox::Close), "cmdClose");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(buttons);
    resize(520, 360);
}

bool F_CHECKLIST::load()
{
    const std::optional<RefusalOf<>> refused = m_view->reload();
    if (refused) {
        showRefusal(m_prompt, refused);
        return false;
    }
    setWindowTitle(QStringLiteral("Checklist: ") + m_view->checklistName());
    return true;
}

} // namespace bx
