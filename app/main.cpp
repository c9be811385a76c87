#include "app/StartLogin.h"
#include "core/AppPaths.h"
#include "core/BuildInfo.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/SingleInstance.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/AppIcon.h"
#include "core/ui/MessageBoxPrompt.h"
#include "people/LoginFlow.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before the application starts, so that it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(bx::kCommandLineHelp.toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts(bx::BuildInfo::versionLine().toLocal8Bit().constData());
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlepax"));
    QApplication::setApplicationVersion(bx::BuildInfo::versionText());
    QApplication::setWindowIcon(bx::appIcon());
    // Wayland desktops match the windows to the menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("brindlepax"));

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
