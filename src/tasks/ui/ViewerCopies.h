#pragma once

#include "tasks/AttachmentTransfer.h"
#include "tasks/DocumentVersions.h"

#include <QList>

#include <functional>

class QWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The copies of attachments one window handed to viewers, and their save-back. The window calls
 * offerSaveBack() when it is active again: each copy the user changed (and may change) is offered
 * with the changed-file question (the newer-version question when another client published the
 * document since) and streamed back on Yes; No keeps the change out until the next one. The
 * copies are removed from disk when the helper goes.
 */
class ViewerCopies final
{
public:
    /** Runs a database step and reports its error; false when it failed. */
    using Runner = std::function<bool(const std::function<void()>&)>;
    /** Who publishes the new version when a shared document is saved back. */
    using Author = std::function<attachments::VersionAuthor()>;

    ViewerCopies(Session& session, Prompt& prompt, QWidget& window, Runner run, Author author);
    ~ViewerCopies();
    ViewerCopies(const ViewerCopies&) = delete;
    ViewerCopies& operator=(const ViewerCopies&) = delete;

    /** Watches `copy` (replacing an older copy of the same attachment); offered only `writable`. */
    void watch(const attachments::ViewerCopy& copy, bool writable);
    /** Stops watching the copies of `attachNumber` and removes them. */
    void forget(qlonglong attachNumber);
    /** Asks about each changed copy and saves it back on Yes. @return how many were saved back */
    int offerSaveBack();
    /** Stops watching every copy and removes them. */
    void removeAll();
    /** A save-back is running. */
    bool saving() const { return m_saving; }

private:
    struct Copy
    {
        attachments::ViewerCopy copy;
        bool writable = false;
    };

    Session& m_session;
    Prompt& m_prompt;
    QWidget& m_window;
    Runner m_run;
    Author m_author;
    QList<Copy> m_copies;
    bool m_asking = false;
    bool m_saving = false;
};

} // namespace bx
