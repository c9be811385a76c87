#pragma once

#include "tasks/ui/AttachmentDialog.h"

#include <functional>

class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * "Add Web Page" ("W") and "Add File Shortcut" ("H"): a title and an address or a path, handed
 * back as a pending attachment for the caller's shared add. Only the address or path is stored.
 */
class dlgAttachLink final : public AttachmentDialog
{
    Q_OBJECT
public:
    /** Asks for the shortcut's target file; "" when none was chosen. */
    using FileChooser = std::function<QString()>;

    dlgAttachLink(Session& session, Prompt& prompt, AttachmentType type, QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

private:
    void onOk() override;

    AttachmentType m_type;
    FileChooser m_chooseFile;
    QLineEdit* m_address;
};

} // namespace bx
