#pragma once

#include "tasks/PendingAttachment.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;
class QTextEdit;

namespace bx {

class Prompt;
class Session;

/**
 * The memo and discussion window: a new memo ("M") or discussion item ("D") handed back as a
 * pending attachment for the caller's shared add, or an existing item edited in place.
 * The session and the prompt must outlive the window.
 */
class Memo_Form final : public QDialog
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

    /** After OK on a new item: what the shared add is to store. */
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

    void setImportChooser(ImportChooser chooser) { m_chooseImport = std::move(chooser); }

private:
    void importText();
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    AttachmentType m_mode;
    qlonglong m_existing = 0;
    std::optional<PendingAttachment> m_pending;
    ImportChooser m_chooseImport;
    QLineEdit* m_title;
    QTextEdit* m_text;
    QCheckBox* m_publish;
};

} // namespace bx
