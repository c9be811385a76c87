#include "messaging/ui/AddressBook.h"

#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

AddressBook::AddressBook(Session& session, Prompt& prompt, const QString& box, QWidget* parent)
    : SessionDialog(session, prompt, "AddressBook", QStringLiteral("Address Book"), parent)
    , m_box(box)
    , m_search(named(new QLineEdit, "txtSearch"))
    , m_contacts(named(new QTreeWidget, "lstContacts"))
    , m_recipients(named(new QListWidget, "lstRecipients"))
{
    m_contacts->setRootIsDecorated(false);
    m_contacts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_contacts->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("E-mail"), QStringLiteral("Company")});
    m_contacts->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_recipients->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* add = named(new QPushButton(QStringLiteral("&Add ->")), "cmdAdd");
    auto* remove = named(new QPushButton(QStringLiteral("<- &Remove")), "cmdRemove");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Search:")), 0, 0);
    grid->addWidget(m_search, 0, 1);
    grid->addWidget(m_contacts, 1, 0, 3, 2);
    grid->addWidget(add, 1, 2);
    grid->addWidget(remove, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Recipients:")), 0, 3);
    grid->addWidget(m_recipients, 1, 3, 3, 1);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addWidget(okCancelButtons(this, {}));
    connect(m_search, &QLineEdit::textChanged, this, &AddressBook::narrow);
    connect(add, &QPushButton::clicked, this, &AddressBook::addSelected);
    connect(m_contacts, &QTreeWidget::itemDoubleClicked, this, &AddressBook::addSelected);
    connect(remove, &QPushButton::clicked, this, &AddressBook::removeSelected);
    resize(760, 420);
    runCommand(session, prompt, [&] { m_entries = addressbook::addressBook(session.db()); });
    narrow();
}

void AddressBook::narrow()
{
    m_contacts->clear();
    for (const addressbook::AddressEntry& e : std::as_const(m_entries))
        if (addressbook::matches(e, m_search->text()))
            new QTreeWidgetItem(m_contacts, {e.name, e.email, e.company});
}

void AddressBook::addSelected()
{
    for (const QTreeWidgetItem* item : m_contacts->selectedItems()) {
        const QString address = item->text(1);
        if (!address.isEmpty() && m_recipients->findItems(address, Qt::MatchFixedString).isEmpty())
            m_recipients->addItem(address);
    }
}

void AddressBook::removeSelected()
{
    qDeleteAll(m_recipients->selectedItems());
}

QString AddressBook::recipients() const
{
    QStringList chosen;
    for (int i = 0; i < m_recipients->count(); ++i)
        chosen << m_recipients->item(i)->text();
    return addressbook::joinRecipients(m_box, chosen);
}

QWidget* AddressBook::buttonFor(Session& session, Prompt& prompt, QLineEdit* box)
{
    auto* button = named(new QToolButton, "cmdAddressBook");
    button->setText(QStringLiteral("To..."));
    button->setToolTip(QStringLiteral("Choose recipients from the address book"));
    QObject::connect(button, &QToolButton::clicked, box, [&session, &prompt, box] {
        AddressBook book(session, prompt, box->text(), box->window());
        if (book.exec() == QDialog::Accepted)
            box->setText(book.recipients());
    });
    return button;
}

} // namespace bx
