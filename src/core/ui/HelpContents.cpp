#include "core/ui/HelpContents.h"

#include "core/DesktopFile.h"
#include "core/ui/ShowRefusal.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>

namespace bx {

void openHelpContents(Prompt& prompt, const QString& programDir)
{
    // A local file reaches the desktop only through the check of every file the program opens.
    const Outcome<QUrl> page =
        desktop::fileToOpen(QDir(programDir).filePath(QStringLiteral("help/index.html")));
    if (!showRefusal(prompt, page.refusal()))
        QDesktopServices::openUrl(*page);
}

void makeHelpContents(QAction* contents, Prompt& prompt, const QString& programDir)
{
    contents->setEnabled(true);
    contents->setShortcut(QKeySequence::HelpContents);
    QObject::connect(contents, &QAction::triggered, contents,
                     [&prompt, programDir] { openHelpContents(prompt, programDir); });
}

} // namespace bx
