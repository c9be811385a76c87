#include "contacts/ui/ContactsCtrl.h"

#include "contacts/VCard.h"
#include "contacts/ui/F_CONTACT.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QAction>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace bx {

void ContactListModel::setRows(QList<contacts::ListedContact> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

qlonglong ContactListModel::keyAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).key : 0;
}

int ContactListModel::rowOf(qlonglong key) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows.at(i).key == key)
            return i;
    return -1;
}

int ContactListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ContactListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ContactListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const contacts::ListedContact& row = m_rows.at(index.row());
    if (role == Qt::UserRole)
        return QStringLiteral("Key") + QString::number(row.key);
    if (role != Qt::DisplayRole)
        return {};
    return index.column() == 0 ? row.name : row.company;
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Name") : QStringLiteral("Company");
}

ContactsCtrl::ContactsCtrl(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_search(named(new QLineEdit, "txtSearch"))
    , m_list(named(new QTreeView, "lvContacts"))
    , m_model(new ContactListModel(this))
    , m_popup(named(new QMenu(this), "POPUP_CONTACTS"))
    , m_run([](QDialog& d) { return d.exec(); })
    , m_chooseFile([this](bool save) {
        const QString filter = QStringLiteral("vCard files (*.vcf *.vcard);;All files (*)");
        return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Export Contacts"),
                                                   QStringLiteral("contacts.vcf"), filter)
                    : QFileDialog::getOpenFileName(this, QStringLiteral("Import Contacts"),
                                                   QString(), filter);
    })
{
    setObjectName(QStringLiteral("ContactsCtrl"));
    m_search->setPlaceholderText(QStringLiteral("Last name begins with..."));
    m_search->setClearButtonEnabled(true);
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(m_search);
    box->addWidget(m_list, 1);

    const struct
    {
        const char* name;
        void (ContactsCtrl::*run)();
    } commands[] = {{"New", &ContactsCtrl::AddContact},
                    {"Delete", &ContactsCtrl::DeleteContact},
                    {"Prop", &ContactsCtrl::ShowProperties},
                    {"Import...", &ContactsCtrl::importContacts},
                    {"Export...", &ContactsCtrl::exportContacts}};
    for (const auto& c : commands) {
        auto* action = named(new QAction(QString::fromLatin1(c.name), this), c.name);
        connect(action, &QAction::triggered, this, c.run);
        m_commands.insert(action->objectName(), action);
    }
    const UserRecord& user = m_session.user.record;
    command(QStringLiteral("New"))->setEnabled(UserRights::mayEditContacts(user));
    command(QStringLiteral("Import..."))->setEnabled(UserRights::mayEditContacts(user));
    command(QStringLiteral("Delete"))->setEnabled(UserRights::mayDeleteContacts(user));
    for (const char* name : {"Prop", "New", "Delete"})
        m_popup->addAction(command(QString::fromLatin1(name)));

    connect(m_search, &QLineEdit::textChanged, this, &ContactsCtrl::RefreshContactList);
    connect(m_list, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        if (m_chooser)
            emit chosen(m_model->keyAt(index.row()));
        else
            ShowProperties();
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (m_list->indexAt(at).isValid())
            m_popup->popup(m_list->viewport()->mapToGlobal(at));
    });
}

QToolBar* ContactsCtrl::toolBar()
{
    auto* bar = named(new QToolBar, "Toolbar1");
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const char* name : {"New", "Delete", "Prop"})
        bar->addAction(command(QString::fromLatin1(name)));
    bar->addSeparator();
    for (const char* name : {"Import...", "Export..."})
        bar->addAction(command(QString::fromLatin1(name)));
    return bar;
}

qlonglong ContactsCtrl::Contact_Key() const
{
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? m_model->keyAt(current.row()) : 0;
}

void ContactsCtrl::setContactKey(qlonglong key)
{
    const int row = m_model->rowOf(key);
    m_list->setCurrentIndex(row < 0 ? QModelIndex() : m_model->index(row, 0));
}

void ContactsCtrl::RefreshContactList()
{
    const qlonglong selected = Contact_Key();
    QList<contacts::ListedContact> rows;
    if (!runCommand(m_session, m_prompt,
                    [&] { rows = contacts::search(m_session.db(), m_search->text()); }))
        return;
    m_model->setRows(std::move(rows));
    setContactKey(selected);
}

bool ContactsCtrl::needSelection()
{
    if (Contact_Key() != 0)
        return true;
    showRefusal(m_prompt, contacts::kNoContactSelected);
    return false;
}

void ContactsCtrl::AddContact()
{
    F_CONTACT card(m_session, m_prompt, this);
    card.setDialogRunner(m_run);
    card.addContact();
    if (m_run(card) != QDialog::Accepted)
        return;
    RefreshContactList();
    setContactKey(card.key());
}

void ContactsCtrl::ShowProperties()
{
    if (!needSelection())
        return;
    F_CONTACT card(m_session, m_prompt, this);
    card.setDialogRunner(m_run);
    if (card.openContact(Contact_Key()) && m_run(card) == QDialog::Accepted)
        RefreshContactList();
}

void ContactsCtrl::DeleteContact()
{
    if (needSelection() && F_CONTACT::deleteContact(m_session, m_prompt, Contact_Key()))
        RefreshContactList();
}

void ContactsCtrl::importContacts()
{
    const QString path = m_chooseFile(false);
    if (path.isEmpty())
        return;
    Outcome<vcard::Imported> imported;
    if (!runCommand(m_session, m_prompt, [&] {
            imported = vcard::importFile(m_session.db(), m_session.user.record, path);
        }))
        return;
    if (showRefusal(m_prompt, imported.refusal()))
        return;
    if (imported) {
        m_prompt.inform(vcard::importedSentence(*imported));
        RefreshContactList();
    }
}

void ContactsCtrl::exportContacts()
{
    const QString path = m_chooseFile(true);
    if (path.isEmpty())
        return;
    Outcome<int> written;
    if (runCommand(m_session, m_prompt, [&] { written = vcard::exportFile(m_session.db(), path); }))
        showRefusal(m_prompt, written.refusal());
}

} // namespace bx
