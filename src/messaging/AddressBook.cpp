#include "messaging/AddressBook.h"

#include "core/db/Database.h"
#include "messaging/EmailDraft.h"
#include "messaging/Outbox.h"

namespace bx::addressbook {

namespace {

QString listName(const RecordSet& rs)
{
    const QString last = rs.text(QStringLiteral("Last_Name")).trimmed();
    const QString first = rs.text(QStringLiteral("First_Name")).trimmed();
    return last.isEmpty() || first.isEmpty() ? last + first : last + QLatin1Char(' ') + first;
}

} // namespace

QList<AddressEntry> addressBook(Database& db)
{
    RecordSet rs = db.query(QStringLiteral("SELECT CONTACT_KEY, Last_Name, First_Name, Email, "
                                           "Company_Name FROM CONTACT WHERE CONTACT_KEY IS NOT "
                                           "NULL ORDER BY Last_Name, First_Name, CONTACT_KEY"));
    QList<AddressEntry> out;
    out.reserve(rs.rowCount());
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.number(QStringLiteral("CONTACT_KEY")), listName(rs),
                    rs.text(QStringLiteral("Email")).trimmed(),
                    rs.text(QStringLiteral("Company_Name")).trimmed()});
    return out;
}

bool matches(const AddressEntry& entry, const QString& text)
{
    const QString t = text.trimmed();
    return t.isEmpty() || entry.name.contains(t, Qt::CaseInsensitive) ||
           entry.email.contains(t, Qt::CaseInsensitive) ||
           entry.company.contains(t, Qt::CaseInsensitive);
}

QString joinRecipients(const QString& box, const QStringList& chosen)
{
    QStringList out;
    const auto add = [&out](const QString& entry) {
        const QString address = outbox::bareAddress(entry);
        if (address.isEmpty())
            return;
        for (const QString& have : std::as_const(out))
            if (outbox::bareAddress(have).compare(address, Qt::CaseInsensitive) == 0)
                return;
        out << entry.trimmed();
    };
    for (const QString& entry : email::recipientEntries(box))
        add(entry);
    for (const QString& entry : chosen)
        for (const QString& part : email::recipientEntries(entry))
            add(outbox::bareAddress(part));
    return out.join(QLatin1Char(';'));
}

} // namespace bx::addressbook
