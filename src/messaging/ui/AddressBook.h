#pragma once

#include "core/ui/SessionDialog.h"
#include "messaging/AddressBook.h"

class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The address book: every contact (lstContacts: name, e-mail, company) narrowed by what
 * txtSearch holds anywhere in those three; cmdAdd moves the selected ones with an address into
 * lstRecipients, cmdRemove takes them out again. OK leaves recipients() ready: the box's text with
 * the chosen addresses added (addressbook::joinRecipients).
 */
class AddressBook : public SessionDialog
{
    Q_OBJECT
public:
    AddressBook(Session& session, Prompt& prompt, const QString& box, QWidget* parent = nullptr);

    /** The recipient box's new text. */
    QString recipients() const;

    /**
     * A button ("cmdAddressBook", "To...") for beside a recipient box: it opens the address
     * book and on OK puts recipients() into the box.
     */
    static QWidget* buttonFor(Session& session, Prompt& prompt, QLineEdit* box);

private:
    void narrow();
    void addSelected();
    void removeSelected();

    QString m_box;
    QList<addressbook::AddressEntry> m_entries;
    QLineEdit* m_search;
    QTreeWidget* m_contacts;
    QListWidget* m_recipients;
};

} // namespace bx
