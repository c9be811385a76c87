#include "messaging/Pop3Answers.h"

#include <algorithm>

namespace bx::pop3 {

namespace {

// "number value" lines of a LIST or UIDL answer; lines of another form are passed over.
template <typename Add> void forEachLine(const QByteArray& answer, Add add)
{
    const QList<QByteArray> lines = answer.split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.simplified().split(' ');
        bool ok = false;
        const int number = words.value(0).toInt(&ok);
        if (ok && number > 0 && words.size() >= 2) {
            add(number, words.at(1));
        }
    }
}

bool isPrintableAscii(const QByteArray& word)
{
    return !word.isEmpty() && std::all_of(word.begin(), word.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x21 && static_cast<unsigned char>(c) <= 0x7E;
    });
}

} // namespace

QList<Pop3Listing> readListing(const QByteArray& answer)
{
    QList<Pop3Listing> messages;
    forEachLine(answer, [&](int number, const QByteArray& sizeText) {
        bool ok = false;
        const qint64 size = sizeText.toLongLong(&ok);
        if (ok && size >= 0) {
            messages.append({number, size});
        }
    });
    return messages;
}

QHash<int, QString> readUniqueIds(const QByteArray& answer)
{
    QHash<int, QString> ids;
    forEachLine(answer, [&](int number, const QByteArray& id) {
        if (isPrintableAscii(id)) {
            ids.insert(number, QString::fromLatin1(id));
        }
    });
    return ids;
}

} // namespace bx::pop3
