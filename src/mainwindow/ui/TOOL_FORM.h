#pragma once

#include "core/ui/SessionDialog.h"
#include "mainwindow/Tools.h"

class QCheckBox;
class QLineEdit;

namespace bx {

/**
 * One outside tool: its name, program, description, the arguments it is given and where it is
 * listed. Mode "NEW" adds a tool, "OPEN" edits tool `name`. OK saves all of it or says why not.
 */
class TOOL_FORM : public SessionDialog
{
public:
    TOOL_FORM(Session& session, Prompt& prompt, const QString& mode, const QString& name = {},
              QWidget* parent = nullptr);

    /** The name the tool was saved under. */
    QString savedName() const { return m_saved; }

    void save();

private:
    QWidget* controlOf(ToolField field) const;

    QString m_original;
    QString m_saved;
    QLineEdit* m_name;
    QLineEdit* m_exe;
    QLineEdit* m_description;
    QCheckBox* m_userId;
    QCheckBox* m_taskNumber;
    QCheckBox* m_mainWindow;
    QCheckBox* m_editor;
};

} // namespace bx
