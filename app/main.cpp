#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/SingleInstance.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/MessageBoxPrompt.h"
#include "people/ui/StartLogin.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlepax"));

    bx::SettingsStore settings;
    bx::SystemClock clock;
    bx::Session session(settings, clock);
    bx::MessageBoxPrompt prompt;
    bx::SingleInstance instance;
    bx::StartLogin start(session, prompt, bx::AppPaths::programDir());
    // QApplication has taken its own options out of the arguments already.
    if (!start.start(QApplication::arguments().mid(1), instance))
        return 0;
    QApplication::setApplicationDisplayName(session.company.name);
    return QApplication::exec();
}
