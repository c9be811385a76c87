#pragma once

#include "core/Refusal.h"
#include "tasks/PendingAttachment.h"

namespace bx {

class Clock;

namespace signoff {

/**
 * The memo an approval or disapproval hands to the task editor: titled with the stamp of `text`
 * by `user` now, its content "Approved by: " (or "Disapproved by: ") + user + " : " + today's
 * date, owned by `user`, dated now in GMT, not published. Refused with the memo's "Please specify
 * a title" when `text` is blank.
 */
Outcome<PendingAttachment> approvalNote(const QString& text, bool approved, const QString& user,
                                        const Clock& clock);

/**
 * The copy of checklist `checklist` the task editor attaches: titled with the stamp of
 * "Checklist: " + name, the checklist's name as its file name, shown on the editor's tab bar when
 * `showInTabBar`. Refused with "Please specify a Checklist" when no checklist is named.
 */
Outcome<PendingAttachment> checklistAttachment(const QString& checklist, bool showInTabBar,
                                               const QString& user, const Clock& clock);

} // namespace signoff
} // namespace bx
