// The vCard files of the contact list: kept apart from the format (VCard.cpp), which touches no
// file or database.

#include "contacts/VCard.h"
#include "core/UserRights.h"
#include "core/WholeFile.h"

#include <QFile>
#include <QFileInfo>

namespace bx::vcard {

using contacts::Contact;

Outcome<int> exportFile(Database& db, const QString& path)
{
    const QList<Contact> everyone = contacts::all(db);
    const QString failed = writeWholeFile(path, write(everyone));
    if (!failed.isEmpty())
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be written: %2").arg(path, failed)};
    return static_cast<int>(everyone.size());
}

Outcome<Imported> importFile(Database& db, const UserRecord& user, const QString& path)
{
    if (auto refused = UserRights::refuseUnlessContactEditor(user))
        return *refused;
    QFile file(path);
    if (QFileInfo(path).size() > kMaxImportBytes)
        return RefusalOf<>{QStringLiteral("The file %1 is larger than %2 MiB and was not imported.")
                               .arg(path)
                               .arg(kMaxImportBytes / (1024 * 1024))};
    if (!file.open(QIODevice::ReadOnly))
        return RefusalOf<>{
            QStringLiteral("The file %1 could not be read: %2").arg(path, file.errorString())};
    // Read one byte more than allowed: a file that grew since it was measured is still refused.
    const QByteArray bytes = file.read(kMaxImportBytes + 1);
    if (bytes.size() > kMaxImportBytes)
        return RefusalOf<>{QStringLiteral("The file %1 is larger than %2 MiB and was not imported.")
                               .arg(path)
                               .arg(kMaxImportBytes / (1024 * 1024))};
    const Outcome<ReadCards> cards = read(bytes);
    if (!cards)
        return RefusalOf<>{path + QStringLiteral(": ") + cards.refusal()->message};
    const Outcome<int> added = contacts::addAll(db, user, cards->cards);
    if (!added)
        return *added.refusal();
    return Imported{*added, cards->skipped};
}

} // namespace bx::vcard
