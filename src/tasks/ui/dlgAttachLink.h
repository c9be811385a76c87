#pragma once

#include "tasks/PendingAttachment.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * "Add Web Page" ("W") and "Add File Shortcut" ("H"): a title and an address or a path, handed
 * back as a pending attachment for the caller's shared add. Only the address or path is stored.
 */
class dlgAttachLink final : public QDialog
{
    Q_OBJECT
public:
    /** Asks for the shortcut's target file; "" when none was chosen. */
    using FileChooser = std::function<QString()>;

    dlgAttachLink(Session& session, Prompt& prompt, AttachmentType type, QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

private:
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    AttachmentType m_type;
    FileChooser m_chooseFile;
    std::optional<PendingAttachment> m_pending;
    QLineEdit* m_title;
    QLineEdit* m_address;
    QCheckBox* m_publish;
};

} // namespace bx
