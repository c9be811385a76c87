// vcard::read: a refused stream names its line; the cards of an accepted one, written as vCard
// 4.0 and read again, come back equal (line breaks spelt alike).

#include "contacts/VCard.h"

#include "FuzzCheck.h"

using namespace bx;

namespace {

// The writer spells every line break (CR LF, CR or LF) as the one escape vCard has, "\n".
QString dump(const QList<contacts::Contact>& cards)
{
    QString out;
    for (const contacts::Contact& c : cards)
        out += QStringList{c.lastName,  c.firstName, c.mi,    c.title, c.company,
                           c.address,   c.city,      c.state, c.zip,   c.phoneHome,
                           c.phoneWork, c.phoneCell, c.fax,   c.email, c.notes}
                   .join(QLatin1Char('|')) +
               QLatin1Char('\n');
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Outcome<vcard::ReadCards> read =
        vcard::read(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!read) {
        fuzz::check(read.refusal()->message.contains(QLatin1String("line")),
                    "a refused stream names its line", read.refusal()->message);
        return 0;
    }
    const QByteArray written = vcard::write(read->cards);
    const Outcome<vcard::ReadCards> again = vcard::read(written);
    fuzz::check(bool(again), "a written stream reads again",
                again ? QString()
                      : again.refusal()->message + QLatin1Char('\n') + QString::fromUtf8(written));
    fuzz::check(again->skipped == 0, "every card written has a name", QString::fromUtf8(written));
    const QString before = dump(read->cards);
    const QString after = dump(again->cards);
    fuzz::check(before == after, "written cards read back equal",
                before + QStringLiteral("----\n") + after);
    return 0;
}
