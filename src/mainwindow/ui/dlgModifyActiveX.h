#pragma once

#include "core/ui/SessionDialog.h"
#include "mainwindow/PlugInToolbox.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace bx {

/**
 * One plug-in of LU_ACTIVEX: its label, control name (offered from the plug-ins installed here),
 * the name of its widget, whether and how the toolbar offers it, and its icon. Mode "ADD" adds a
 * plug-in, "EDIT" edits plug-in `id`. OK saves all of it or says why not.
 */
class dlgModifyActiveX final : public SessionDialog
{
public:
    dlgModifyActiveX(Session& session, Prompt& prompt, const QString& mode, qlonglong id = 0,
                     QWidget* parent = nullptr);

    /** The ID the plug-in was saved under; 0 until it was. */
    qlonglong savedId() const { return m_saved; }

    /** Takes the picture of `path` as the icon; false (said) when the file cannot be read. */
    bool setIconFile(const QString& path);
    void save();

private:
    void chooseIcon();
    void showIcon();

    qlonglong m_id = 0;
    qlonglong m_saved = 0;
    QByteArray m_icon;
    QLineEdit* m_label;
    QComboBox* m_controlName;
    QLineEdit* m_plugInName;
    QCheckBox* m_showToolBox;
    QCheckBox* m_separate;
    QLabel* m_iconView;
};

} // namespace bx
