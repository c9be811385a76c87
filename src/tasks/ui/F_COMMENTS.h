#pragma once

#include "tasks/TaskTypes.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace bx {

class cSCR;

/**
 * The note dialog the task object asks when a save changes the due date or the start date. The
 * answer is returned: the typed note, or nullopt when the dialog was cancelled (the caller goes on
 * saving).
 *
 * The task must outlive the object; `parent` is the window the dialog is shown over (may be null).
 */
class F_COMMENTS final : public TaskNoteSource
{
public:
    F_COMMENTS(const cSCR& task, QWidget* parent);

    /**
     * Asks "Please specify comments related to the due date change" (for a meeting "Please
     * specify comments related to the meeting date change", captioned "Reschedule Meeting?").
     * @return the note, nullopt when cancelled
     */
    std::optional<QString> OnTargetChange() override;
    /** Asks "Please specify comments related to the start date change"; nullopt when cancelled. */
    std::optional<QString> OnStartChange() override;

    /** Asks for a note with `question`: the typed note on OK, nullopt on Cancel or Esc. */
    static std::optional<QString> askNote(QWidget* parent, const QString& question,
                                          const QString& caption = {});
    /**
     * Test hook: when set, called instead of showing the modal dialog; returns the typed note or
     * nullopt for Cancel. Pass an empty function to show the dialog again.
     */
    static void
    setAnswerForTests(std::function<std::optional<QString>(const QString& question)> answer);

private:
    const cSCR& m_task;
    QWidget* m_parent;
};

} // namespace bx
