#include "contacts/Contacts.h"
#include "contacts/ui/ContactsCtrl.h"
#include "contacts/ui/F_CONTACT.h"
#include "contacts/ui/F_CONTACTS.h"
#include "core/UserRights.h"
#include "messaging/ui/AddressBook.h"
#include "support/ContactRows.h"
#include "support/WindowTest.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::addContactRow;
using bx::test::child;
using bx::test::countRows;

namespace {

class ContactWindowsTest : public bx::test::WindowTest
{
protected:
    /** Signs in as "bob", who has only the rights given. */
    void signInAsBob(bool edit, bool remove)
    {
        session.user.userId = u"bob"_s;
        session.user.record = UserRecord{};
        session.user.record.userId = u"bob"_s;
        session.user.record.editContactInfo = edit;
        session.user.record.deleteContactInfo = remove;
    }
};

} // namespace

// Without the right to edit, the card is locked and its OK is off; the list offers no New,
// Import... or Delete; with the rights all are on.
TEST_F(ContactWindowsTest, RightsLockTheCardAndTurnCommandsOff)
{
    const qlonglong key = addContactRow(db(), u"Lee"_s, u"Al"_s);
    for (const bool allowed : {false, true}) {
        signInAsBob(allowed, allowed);
        F_CONTACT card(session, prompt);
        ASSERT_TRUE(card.openContact(key));
        EXPECT_EQ(card.isReadOnly(), !allowed);
        EXPECT_EQ(child<QLineEdit>(card, "T_LNAME")->isReadOnly(), !allowed);
        EXPECT_EQ(child<QPlainTextEdit>(card, "T_Notes")->isReadOnly(), !allowed);
        EXPECT_EQ(card.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled(),
                  allowed);
        ContactsCtrl list(session, prompt);
        for (const char* name : {"New", "Import...", "Delete"})
            EXPECT_EQ(list.command(QString::fromLatin1(name))->isEnabled(), allowed) << name;
        EXPECT_TRUE(list.command(u"Export..."_s)->isEnabled());
    }
    // Opened read-only on purpose, even a user with the right gets a locked card.
    F_CONTACT card(session, prompt);
    ASSERT_TRUE(card.openContact(key, true));
    EXPECT_TRUE(child<QLineEdit>(card, "T_FNAME")->isReadOnly());
}

// A new card refuses a missing first name with the focus on it and writes nothing; filled in,
// OK saves it and the list shows it, found by the beginning of its last name.
TEST_F(ContactWindowsTest, NewCardSavesAfterItsRefusal)
{
    F_CONTACT card(session, prompt);
    card.addContact();
    card.show();
    EXPECT_EQ(card.findChild<QTabWidget*>()->count(), 1) << "no call history for a new card";
    child<QLineEdit>(card, "T_LNAME")->setText(u"O'Neil"_s);
    card.accept();
    EXPECT_EQ(prompt.texts(), QStringList{u"First Name must be specified"_s});
    EXPECT_EQ(card.focusWidget(), child<QLineEdit>(card, "T_FNAME"));
    EXPECT_EQ(countRows(db(), u"CONTACT"_s), 0);
    child<QLineEdit>(card, "T_FNAME")->setText(u"Ann"_s);
    card.accept();
    EXPECT_EQ(card.result(), QDialog::Accepted);
    ASSERT_NE(card.key(), 0);

    ContactsCtrl list(session, prompt);
    child<QLineEdit>(list, "txtSearch")->setText(u"o'n"_s);
    auto* view = child<QTreeView>(list, "lvContacts");
    ASSERT_EQ(view->model()->rowCount(), 1);
    EXPECT_EQ(view->model()->index(0, 0).data().toString(), u"O'Neil Ann"_s);
    EXPECT_EQ(view->model()->index(0, 0).data(Qt::UserRole).toString(),
              u"Key"_s + QString::number(card.key()));
}

// The chooser hands back the key of the contact double-clicked; without a selection OK says so.
TEST_F(ContactWindowsTest, ChooserHandsBackTheChosenKey)
{
    addContactRow(db(), u"Ash"_s, u"A"_s);
    const qlonglong key = addContactRow(db(), u"Birch"_s, u"B"_s);
    F_CONTACTS chooser(session, prompt, true);
    chooser.accept();
    EXPECT_EQ(prompt.texts(), QStringList{contacts::kNoContactSelected});
    EXPECT_EQ(chooser.chosenKey(), 0);
    auto* view = child<QTreeView>(chooser, "lvContacts");
    view->setCurrentIndex(view->model()->index(1, 0));
    emit view->doubleClicked(view->model()->index(1, 0));
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosenKey(), key);
}

// The address book narrows on name, address or company and adds each chosen address once.
TEST_F(ContactWindowsTest, AddressBookNarrowsAndAddsAddressesOnce)
{
    addContactRow(db(), u"Ng"_s, u"Al"_s, u"Acme"_s, u"al@acme.test"_s);
    addContactRow(db(), u"Bo"_s, u"Cy"_s, u"Zed"_s, u"cy@zed.test"_s);
    AddressBook book(session, prompt, u"me@here.test"_s);
    auto* list = child<QTreeWidget>(book, "lstContacts");
    EXPECT_EQ(list->topLevelItemCount(), 2);
    child<QLineEdit>(book, "txtSearch")->setText(u"ACM"_s);
    ASSERT_EQ(list->topLevelItemCount(), 1);
    list->topLevelItem(0)->setSelected(true);
    child<QPushButton>(book, "cmdAdd")->click();
    child<QPushButton>(book, "cmdAdd")->click();
    EXPECT_EQ(child<QListWidget>(book, "lstRecipients")->count(), 1);
    EXPECT_EQ(book.recipients(), u"me@here.test;al@acme.test"_s);
}
