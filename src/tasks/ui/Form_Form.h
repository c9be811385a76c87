#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/CustomForms.h"
#include "tasks/PendingAttachment.h"

#include <QList>

class QAction;
class QCheckBox;
class QComboBox;
class QScrollArea;

namespace bx {

class Prompt;
class Session;

/**
 * Filling in a custom form: the form chosen from the list (fixed for an existing copy), its
 * fields on a scrollable panel (each named "Field" + its key), "Save" and "SaveCopy" on the
 * toolbar, and whether the copy is published. A new copy goes on as an opened one after its
 * first save. Closing with unsaved changes asks whether to save them. Without the right to write
 * everything is read-only. The session and the prompt must outlive the window.
 */
class Form_Form final : public SessionDialog
{
    Q_OBJECT
public:
    Form_Form(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** A new copy for `place` (task 0 and a category for the file cabinet). */
    void openNew(const AttachmentPlace& place, bool publish = false);
    /** Copy `attachNumber` of `place`; `writable` when its task may be written. */
    bool openCopy(const AttachmentPlace& place, qlonglong attachNumber, bool writable);

    /** The values shown as a PDF document at `path`; a failure is shown. */
    bool exportPdf(const QString& path);

    /** The attachments this window made (new copies), in order. */
    const QList<qlonglong>& added() const { return m_added; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build(const QString& form, qlonglong attachNumber);
    QList<forms::FieldValue> values() const;
    /** Saves as the mode stands (`asCopy`: a new copy). @return false when nothing was saved */
    bool save(bool asCopy);
    /** True when the window may close (unchanged, or the user answered). */
    bool mayLeave() override;
    void fillList(int index);
    void applyEnabling();
    void print();
    void choosePdf();

    QComboBox* m_forms;
    QCheckBox* m_publish;
    QScrollArea* m_scroll;
    QAction* m_save;
    QAction* m_saveCopy;
    AttachmentPlace m_place;
    forms::FormCopy m_copy;
    QList<QWidget*> m_fields;
    QList<qlonglong> m_added;
    bool m_writable = true;
};

} // namespace bx
