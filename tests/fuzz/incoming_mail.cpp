// readIncomingMail: any bytes give a message; its texts hold no NUL and its title is one line.

#include "FuzzCheck.h"
#include "messaging/IncomingMail.h"

using namespace bx;

namespace {

void checkNoNul(const QString& text, const char* contract)
{
    fuzz::check(!text.contains(QChar(0)), contract, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::FixedClock clock;
    const IncomingMail mail =
        readIncomingMail(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), clock);
    checkNoNul(mail.title, "the title holds no NUL");
    checkNoNul(mail.sender, "the sender holds no NUL");
    checkNoNul(mail.body, "the body holds no NUL");
    for (const QString& name : mail.attachments)
        checkNoNul(name, "attachment names hold no NUL");
    fuzz::check(!mail.title.contains(QLatin1Char('\n')) && !mail.title.contains(QLatin1Char('\r')),
                "the title is one line", mail.title);
    fuzz::check(mail.date.isValid(), "the message has a date");
    return 0;
}
