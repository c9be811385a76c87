#include "people/ui/GROUP_FORM.h"

#include "core/ui/DialogButtons.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "people/workshops/WorkshopService.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace bx {

GROUP_FORM::GROUP_FORM(Session& session, Prompt& prompt, const QString& mode, qlonglong groupId,
                       QWidget* parent)
    : SessionDialog(session, prompt, "GROUP_FORM", QStringLiteral("Workshop"), parent)
    , m_groupId(mode.compare(QLatin1String("NEW"), Qt::CaseInsensitive) == 0 ? 0 : groupId)
    , m_txtName(workshopNamed(new QLineEdit, "txtName"))
{
    auto* buttons = okCancelButtons(this, &GROUP_FORM::onOk);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Workshop Name:"), m_txtName);
    form->addRow(buttons);
    // Room for a workshop name longer than a line edit's small default.
    resize(360, sizeHint().height());

    if (m_groupId != 0) {
        Outcome<WorkshopRow> row;
        runCommand(m_session, m_prompt,
                   [&] { row = WorkshopService(m_session, m_prompt).openForRename(m_groupId); });
        showRefusal(m_prompt, row.refusal());
        m_loaded = static_cast<bool>(row);
        if (row)
            m_txtName->setText(row->name);
    }
}

void GROUP_FORM::onOk()
{
    Outcome<qlonglong, WorkshopField> saved;
    if (!runCommand(m_session, m_prompt, [&] {
            saved = WorkshopService(m_session, m_prompt).saveName(m_groupId, m_txtName->text());
        }))
        return;
    if (showRefusal(m_prompt, saved.refusal(), [this](WorkshopField) { return m_txtName; }))
        return;
    m_saved = *saved;
    accept();
}

} // namespace bx
