#include "mainwindow/Reconnect.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"

namespace bx {

bool askToReconnect(Prompt& prompt, const std::function<bool()>& reopen,
                    const std::function<void()>& terminate)
{
    for (;;) {
        if (prompt.ask(
                QStringLiteral("Your Brindlepax connection has been lost. Would you like to try to "
                               "reconnect?  Press 'No' to terminate Brindlepax."),
                QStringLiteral("Reconnect?"), PromptButtons::YesNo,
                PromptIcon::Question) != PromptAnswer::Yes) {
            terminate();
            return false;
        }
        if (reopen())
            return true;
    }
}

bool reopenSession(Session& session, Prompt& prompt)
{
    // The opener replaces the session's database only when it succeeds on the server engine;
    // on a failure the old, broken one is closed.
    DatabaseOpener opener(session, prompt);
    return opener.openDatabase(session.connection.location, false, session.user.userId,
                               session.user.sqlPassword);
}

} // namespace bx
