#pragma once

#include <QString>

/**
 * Where the program finds the files it is delivered with and where it keeps the files it writes.
 *
 * Every function reads the environment when called, so a test that changes BRINDLEPAX_DATA or
 * BRINDLEPAX_CONFIG sees the change at once. None of them throws.
 */
namespace bx::AppPaths {

/**
 * The folder the program reads its delivered files from (BXComp.ini, SQL scripts, the database
 * template, help pages).
 *
 * In the build tree that is the folder of the executable. When the executable lies in a folder
 * named "bin" beside which "../share/brindlepax" exists, the program was installed and that folder
 * is returned. Without an application object the install folder of this build is used.
 */
QString programDir();

/**
 * The per-user folder for files the program writes (the error log, temporary files): the
 * environment variable BRINDLEPAX_DATA when set, else $XDG_DATA_HOME/brindlepax, else
 * ~/.local/share/brindlepax. The folder is created when missing; a failure to create it is only
 * logged, and the path is returned regardless.
 */
QString dataDir();

/**
 * The per-user folder of the settings store: BRINDLEPAX_CONFIG when set, else
 * xdgConfigHome() + "/brindlepax". Not created here; the settings store creates it when it saves.
 */
QString configDir();

/**
 * $XDG_CONFIG_HOME when it is set to an absolute path, else ~/.config (the base of the autostart
 * entry, among others).
 */
QString xdgConfigHome();

/**
 * True when a directory look-up of the path finds a file: the path names an existing file (not a
 * folder), or, when its last part holds the wildcards "*" or "?", at least one file of that folder
 * matches it. An empty path gives false.
 */
bool fileExists(const QString& path);

} // namespace bx::AppPaths
