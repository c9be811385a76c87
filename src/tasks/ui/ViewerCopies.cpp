#include "tasks/ui/ViewerCopies.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/AttachmentView.h"
#include "tasks/ui/TransferProgress.h"

#include <QFileInfo>

namespace bx {

ViewerCopies::ViewerCopies(Session& session, Prompt& prompt, QWidget& window, Runner run,
                           Author author)
    : m_session(session)
    , m_prompt(prompt)
    , m_window(window)
    , m_run(std::move(run))
    , m_author(std::move(author))
{
}

ViewerCopies::~ViewerCopies()
{
    // Also when the window goes without being closed: its copies are not left for others.
    removeAll();
}

void ViewerCopies::watch(const attachments::ViewerCopy& copy, bool writable)
{
    m_copies.removeIf(
        [&](const Copy& entry) { return entry.copy.attachNumber == copy.attachNumber; });
    m_copies.append({copy, writable});
}

void ViewerCopies::forget(qlonglong attachNumber)
{
    m_copies.removeIf([&](const Copy& entry) { return entry.copy.attachNumber == attachNumber; });
    attachments::removeViewerCopy(attachNumber);
}

int ViewerCopies::offerSaveBack()
{
    // The question itself activates the window again when it closes.
    if (m_asking || m_saving)
        return 0;
    m_asking = true;
    int savedBack = 0;
    for (Copy& entry : m_copies) {
        attachments::ViewerCopy& copy = entry.copy;
        if (!entry.writable || !QFileInfo::exists(copy.path) ||
            !attachments::changedSinceExport(copy))
            continue;
        const QString name = QFileInfo(copy.path).fileName();
        // A shared document another client published anew since: the question names him.
        QString question = attachments::changedQuestion(name);
        m_run([&] {
            if (const auto newer = attachments::newerVersion(m_session.db(), copy))
                question = attachments::newerVersionQuestion(
                    name, newer->owner, GmtConverter(m_session.clock()).toLocal(newer->dateGmt));
        });
        if (m_prompt.ask(question, {}, PromptButtons::YesNo) != PromptAnswer::Yes) {
            attachments::keepCurrentState(copy);
            continue;
        }
        Outcome<Done> saved = Outcome<Done>::declined();
        m_saving = true;
        {
            TransferProgress progress(&m_window, QStringLiteral("Saving ") + name);
            m_run([&] {
                saved =
                    attachments::saveBack(m_session.db(), copy, m_author(), progress.callback());
            });
        }
        m_saving = false;
        if (saved.refusal())
            showRefusal(m_prompt, saved.refusal()->message);
        if (saved)
            ++savedBack;
    }
    m_asking = false;
    return savedBack;
}

void ViewerCopies::removeAll()
{
    for (const Copy& entry : std::as_const(m_copies))
        attachments::removeViewerCopy(entry.copy.attachNumber);
    m_copies.clear();
}

} // namespace bx
