#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/CompanyTexts.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/MessageBoxPrompt.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlepax"));

    bx::SettingsStore settings;
    bx::SystemClock clock;
    bx::Session session(settings, clock);
    session.company = bx::CompanyTexts::load(
        QDir(bx::AppPaths::programDir()).filePath(bx::CompanyTexts::fileName()));
    QApplication::setApplicationDisplayName(session.company.name);

    session.connection.serverFlag =
        settings.getBool(bx::SettingsKeys::kSql, bx::SettingsKeys::kServerFlag);
    const QString remembered =
        bx::DatabaseOpener::rememberedDatabase(settings, session.connection.serverFlag);

    // The log-on comes next; until then the program says which database it would open.
    bx::MessageBoxPrompt prompt;
    prompt.inform(remembered.isEmpty()
                      ? QStringLiteral("No Brindlepax database is chosen yet.")
                      : QStringLiteral("Brindlepax would open the database ") + remembered +
                            QStringLiteral(", but logging on is not available yet."),
                  {}, bx::PromptIcon::Information);
    return 0;
}
