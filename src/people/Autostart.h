#pragma once

#include <QString>

namespace bx {

/**
 * Starting the program with the desktop session: a desktop entry "brindlepax.desktop" in the
 * user's autostart folder, AppPaths::xdgConfigHome() + "/autostart". The folder is read from the
 * environment at every call.
 */
namespace Autostart {

/** The path of the entry. */
QString entryPath();

/**
 * Writes the entry (Type=Application, Name=Brindlepax, Exec = the executable, quoted where the
 * desktop-entry rules require it) or removes it. The entry is replaced atomically; the folder is
 * created when missing.
 *
 * @param executable the program's full path; QCoreApplication::applicationFilePath() when empty
 * @return false when the entry could not be written or removed (reported by qWarning)
 */
bool setOn(bool on, const QString& executable = {});

/** Whether the entry exists. */
bool isOn();

/**
 * The Exec value for a program path: the path as one argument, in double quotes with '"', '`',
 * '$' and '\' escaped when it holds a character the rules reserve, '%' doubled, and then escaped
 * as a string value of a desktop entry ('\' doubled, control characters as \n, \t, \r).
 */
QString execValue(const QString& executable);

} // namespace Autostart

} // namespace bx
