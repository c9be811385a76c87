#include "core/Scrambler.h"

#include <algorithm>

namespace bx::Scrambler {

namespace {

// Every client of a database must use the same key, or scrambled passwords written by one could
// not be read by another. It is fixed for the life of the product.
constexpr char kKey[] =
    "11528040294320359988005542912956083180788358719144062717672481322006118603794862091";
static_assert(sizeof(kKey) - 1 == kMaxLength);

const QString kScrambled = QStringLiteral("***");

QString xorWithKey(QStringView text)
{
    const qsizetype n = std::min(text.size(), kMaxLength);
    QString result(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        result[i] =
            QChar(static_cast<char16_t>(text[i].unicode() ^ static_cast<char16_t>(kKey[i])));
    return result;
}

} // namespace

QString scramble(const QString& text)
{
    return kScrambled + xorWithKey(text);
}

QString unscramble(const QString& stored)
{
    if (!stored.startsWith(kScrambled))
        return stored;
    return xorWithKey(QStringView(stored).mid(kScrambled.size()));
}

} // namespace bx::Scrambler
