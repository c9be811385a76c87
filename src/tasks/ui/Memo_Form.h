#pragma once

#include "tasks/ui/AttachmentDialog.h"

#include <functional>

class QTextEdit;
class QToolBar;

namespace bx {

class Prompt;
class Session;

/**
 * The memo and discussion window: a new memo ("M") or discussion item ("D") handed back as a
 * pending attachment for the caller's shared add, or an existing item edited in place.
 * The session and the prompt must outlive the window.
 */
class Memo_Form final : public AttachmentDialog
{
    Q_OBJECT
public:
    /** Asks for the text file to import; "" when none was chosen. */
    using ImportChooser = std::function<QString()>;

    Memo_Form(Session& session, Prompt& prompt, AttachmentType mode, QWidget* parent = nullptr);

    /**
     * Shows stored item `number` (its title as the memo list shows it); OK rewrites it. Without
     * `mayChange` the window only shows it. @return false when it could not be read (shown)
     */
    bool openExisting(qlonglong number, bool mayChange);

    void setImportChooser(ImportChooser chooser) { m_chooseImport = std::move(chooser); }

private:
    /** The editing commands above the text, and "Import...". */
    QToolBar* buildTools();
    void importText();
    void onOk() override;

    AttachmentType m_mode;
    qlonglong m_existing = 0;
    ImportChooser m_chooseImport;
    QTextEdit* m_text;
};

} // namespace bx
