#pragma once

#include "core/Refusal.h"

#include <QString>
#include <QUrl>

namespace bx::desktop {

inline const QString kFileNotFound = QStringLiteral("File not found: ");
inline const QString kIsAProgram = QStringLiteral(" is a program and is not started from here.");

/**
 * A local file to hand to the desktop's program for it (a shortcut's target, a viewer copy of
 * an attachment, a help page). Every local file the program hands to the desktop passes here.
 * Refused with "File not found: "
 * + path when missing, and with "The file " + path + kIsAProgram when the desktop would run it
 * instead of showing it: the execute bit, or a MIME type, by name or by content, of an executable,
 * shared library, script, installer or package, Windows program, Java archive or desktop launcher.
 */
Outcome<QUrl> fileToOpen(const QString& path);

/** The per-user folder of the copies handed to viewers: "BXView" in the per-user data folder. */
QString viewerRoot();

/** Removes every viewer copy; called at log-on for what an earlier session left behind. */
void removeViewerCopies();

} // namespace bx::desktop
