#pragma once

#include <QString>

/**
 * The program's reversible scrambler for passwords it must be able to read again (the remembered
 * logon, the personal mail password, older LU_USER rows): "***" followed by the text XORed,
 * character by character, with a fixed 83-digit key.
 *
 * It only keeps a password from being read at a glance; anyone who has the program can reverse
 * it. Files holding scrambled values are readable by their owner only.
 */
namespace bx::Scrambler {

/** The longest text scramble() keeps whole; characters beyond it are dropped. */
inline constexpr qsizetype kMaxLength = 83;

/** "***" + the text XORed with the key, cut to kMaxLength characters. The empty text gives "***".
 */
QString scramble(const QString& text);

/**
 * The reverse of scramble(). A text that does not begin with "***" is returned unchanged (a
 * value kept in clear); "***" alone gives "".
 */
QString unscramble(const QString& stored);

} // namespace bx::Scrambler
