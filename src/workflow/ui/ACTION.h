#pragma once

#include "core/ui/SessionDialog.h"
#include "workflow/ActionItems.h"
#include "workflow/Lifecycle.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * Edits one action item of a lifecycle stage: its title, whether it is mandatory, and its icon
 * (a picture file chosen with the "Icon" button). The stage's lifecycle, designer and name are
 * shown as labels. Given a title, the window edits that item of the stage; without one it adds a
 * new item. An item that is gone is reported when the window is made; isLoaded() is then false
 * and the window should not be shown. OK writes the item and closes; a refusal keeps it open.
 */
class ACTION : public SessionDialog
{
    Q_OBJECT
public:
    ACTION(Session& session, Prompt& prompt, const LifecycleStage& stage, const QString& title = {},
           QWidget* parent = nullptr);

    bool isLoaded() const { return m_loaded; }
    /** The item's title as written, after OK; empty before. */
    const QString& savedTitle() const { return m_saved; }

    /** Takes the icon from a picture file, as choosing it in the file dialog does. */
    bool setIconFile(const QString& path);

private:
    void onChooseIcon();
    void onOk();
    void showIcon();

    LifecycleStage m_stage;
    QString m_original;
    QString m_saved;
    QByteArray m_icon;
    bool m_loaded = true;
    QLineEdit* m_title;
    QCheckBox* m_mandatory;
    QLabel* m_iconView;
};

} // namespace bx
