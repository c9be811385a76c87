#include "tasks/SignOff.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "tasks/MemoText.h"
#include "tasks/Stamp.h"

namespace bx::signoff {

namespace {

PendingAttachment signedNow(AttachmentType type, const QString& user, const Clock& clock)
{
    PendingAttachment p;
    p.type = type;
    p.owner = user;
    p.date = GmtConverter(clock).nowGmt();
    return p;
}

} // namespace

Outcome<PendingAttachment> approvalNote(const QString& text, bool approved, const QString& user,
                                        const Clock& clock)
{
    if (text.trimmed().isEmpty())
        return RefusalOf<>{memo::kSpecifyTitle};
    const QDateTime local = clock.nowLocal();
    PendingAttachment p = signedNow(AttachmentType::Memo, user, clock);
    p.title = stamped(text, user, local);
    p.content = (approved ? QStringLiteral("Approved by: ") : QStringLiteral("Disapproved by: ")) +
                user.trimmed() + QStringLiteral(" : ") + todayText(local);
    return p;
}

Outcome<PendingAttachment> checklistAttachment(const QString& checklist, bool showInTabBar,
                                               const QString& user, const Clock& clock)
{
    if (checklist.trimmed().isEmpty())
        return RefusalOf<>{QStringLiteral("Please specify a Checklist")};
    PendingAttachment p = signedNow(AttachmentType::Checklist, user, clock);
    p.title = stamped(QStringLiteral("Checklist: ") + checklist, user, clock.nowLocal());
    p.fileName = checklist;
    p.showInTabBar = showInTabBar;
    return p;
}

} // namespace bx::signoff
