// The POP3 LIST and UIDL answer readers: every message number taken is above 0, every size not
// negative, every id neither empty nor holding a control character.

#include "FuzzCheck.h"
#include "messaging/Pop3Answers.h"

using namespace bx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const Pop3Listing& m : pop3::readListing(answer)) {
        fuzz::check(m.number > 0, "message numbers are above 0", QString::number(m.number));
        fuzz::check(m.size >= 0, "sizes are not negative", QString::number(m.size));
    }
    const QHash<int, QString> ids = pop3::readUniqueIds(answer);
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        fuzz::check(it.key() > 0, "message numbers are above 0", QString::number(it.key()));
        fuzz::check(!it.value().isEmpty(), "ids are not empty");
        for (const QChar c : it.value())
            fuzz::check(c.unicode() > 0x20 && c.unicode() != 0x7F &&
                            !(c.unicode() >= 0x80 && c.unicode() < 0xA0),
                        "ids hold no control character or blank", it.value());
    }
    return 0;
}
