#include "mainwindow/ui/TOOL_FORM.h"

#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace bx {

TOOL_FORM::TOOL_FORM(Session& session, Prompt& prompt, const QString& mode, const QString& name,
                     QWidget* parent)
    : SessionDialog(session, prompt, "TOOL_FORM", QStringLiteral("Tool"), parent)
    , m_name(named(new QLineEdit, "txtToolName"))
    , m_exe(named(new QLineEdit, "txtExe"))
    , m_description(named(new QLineEdit, "txtDescription"))
    , m_userId(named(new QCheckBox(QStringLiteral("Pass the &user ID")), "chkUserID"))
    , m_taskNumber(named(new QCheckBox(QStringLiteral("Pass the &task number")), "chkSCRNumber"))
    , m_mainWindow(
          named(new QCheckBox(QStringLiteral("On the &main window's Tools menu")), "chkAccess"))
    , m_editor(named(new QCheckBox(QStringLiteral("On the task &editor's AddOns menu")), "chkSCR"))
{
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("&Program:"), m_exe);
    form->addRow(QStringLiteral("&Description:"), m_description);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    for (QCheckBox* box : {m_userId, m_taskNumber, m_mainWindow, m_editor})
        layout->addWidget(box);
    layout->addStretch();
    layout->addWidget(okCancelButtons(this, &TOOL_FORM::save));

    if (mode.compare(QStringLiteral("OPEN"), Qt::CaseInsensitive) == 0) {
        m_original = name;
        std::optional<ToolDefinition> tool;
        runCommand(m_session, m_prompt, [&] { tool = readTool(m_session.db(), name); });
        if (tool) {
            m_original = tool->name;
            m_name->setText(tool->name);
            m_exe->setText(tool->exe);
            m_description->setText(tool->description);
            m_userId->setChecked(tool->passUserId);
            m_taskNumber->setChecked(tool->passTaskNumber);
            m_mainWindow->setChecked(tool->onMainWindow);
            m_editor->setChecked(tool->onTaskEditor);
        }
    }
    resize(460, 300);
}

QWidget* TOOL_FORM::controlOf(ToolField field) const
{
    switch (field) {
    case ToolField::Name:
        return m_name;
    case ToolField::Exe:
        return m_exe;
    case ToolField::None:
        break;
    }
    return nullptr;
}

void TOOL_FORM::save()
{
    const ToolDefinition draft{m_name->text(),
                               m_exe->text(),
                               m_description->text(),
                               m_userId->isChecked(),
                               m_taskNumber->isChecked(),
                               m_mainWindow->isChecked(),
                               m_editor->isChecked()};
    Outcome<Done, ToolField> saved;
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = ToolStore(m_session, m_prompt).save(draft, m_original); }))
        return;
    if (showRefusal(m_prompt, saved.refusal(), [this](ToolField f) { return controlOf(f); }))
        return;
    m_saved = draft.name.trimmed();
    accept();
}

} // namespace bx
