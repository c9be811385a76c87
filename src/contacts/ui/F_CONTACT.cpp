#include "contacts/ui/F_CONTACT.h"

#include "contacts/ui/dlgCallLog.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kNoItemSelected = QStringLiteral("No item selected");

struct Box
{
    const char* name;
    const char* label;
    QString contacts::Contact::*member;
};

using C = contacts::Contact;
// Two columns of boxes, in the order the card shows them.
const Box kBoxes[] = {
    {"T_LNAME", "Last Name:", &C::lastName},
    {"T_FNAME", "First Name:", &C::firstName},
    {"T_MI", "MI:", &C::mi},
    {"T_TITLE", "Title:", &C::title},
    {"T_CNAME", "Company:", &C::company},
    {"T_ADDRESS", "Address:", &C::address},
    {"T_CITY", "City:", &C::city},
    {"T_STATE", "State:", &C::state},
    {"T_ZIP", "ZIP:", &C::zip},
    {"T_PHONE_HOME", "Home Phone:", &C::phoneHome},
    {"T_PHONE_WORK", "Work Phone:", &C::phoneWork},
    {"T_PHONE_CELL", "Cell Phone:", &C::phoneCell},
    {"T_FAX", "FAX:", &C::fax},
    {"T_EM", "Email:", &C::email},
};

constexpr int kIdRole = Qt::UserRole;

} // namespace

F_CONTACT::F_CONTACT(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_CONTACT", QStringLiteral("Contact"), parent)
    , m_notes(named(new QPlainTextEdit, "T_Notes"))
    , m_noCompletion(
          named(new QCheckBox(QStringLiteral("No company completion")), "chkNoCompletion"))
    , m_companies(named(new QListWidget, "lstCompanies"))
    , m_keyLabel(named(new QLabel, "lblKey"))
    , m_tabs(named(new QTabWidget, "TabStrip1"))
    , m_run([](QDialog& d) { return d.exec(); })
{
    m_tabs->addTab(buildCard(), QStringLiteral("&General"));
    m_callsPage = buildCalls();
    m_tabs->addTab(m_callsPage, QStringLiteral("&Call History"));
    auto* buttons = okCancelButtons(this, &F_CONTACT::accept);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_tabs, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_keyLabel);
    bottom->addStretch(1);
    bottom->addWidget(buttons);
    box->addLayout(bottom);
    resize(640, 520);
}

QWidget* F_CONTACT::buildCard()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    int i = 0;
    for (const Box& b : kBoxes) {
        auto* edit = named(new QLineEdit, b.name);
        m_boxes.insert(QString::fromLatin1(b.name), edit);
        const int row = i / 2;
        const int column = (i % 2) * 2;
        grid->addWidget(new QLabel(QString::fromLatin1(b.label)), row, column);
        grid->addWidget(edit, row, column + 1);
        ++i;
    }
    const int next = (i + 1) / 2;
    grid->addWidget(m_noCompletion, next, 1);
    m_companies->setMaximumHeight(90);
    m_companies->setToolTip(QStringLiteral("Double-click a company to copy its details"));
    grid->addWidget(m_companies, next + 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Notes:")), next, 2);
    grid->addWidget(m_notes, next + 1, 2, 1, 2);
    grid->setRowStretch(next + 1, 1);
    connect(m_boxes.value(QStringLiteral("T_CNAME")), &QLineEdit::textEdited, this,
            &F_CONTACT::fillCompanies);
    connect(m_noCompletion, &QCheckBox::toggled, this, &F_CONTACT::fillCompanies);
    connect(m_companies, &QListWidget::itemDoubleClicked, this, &F_CONTACT::takeCompany);
    return page;
}

QWidget* F_CONTACT::buildCalls()
{
    auto* page = new QWidget;
    m_calls = named(new QTreeWidget, "lvCalls");
    m_calls->setRootIsDecorated(false);
    m_calls->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Content")});
    m_calls->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_calls->header()->setStretchLastSection(true);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& caption, void (F_CONTACT::*slot)()) {
        auto* b = named(new QPushButton(caption), name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button("cmdNewCall", QStringLiteral("&New Call..."), &F_CONTACT::newCall);
    button("cmdOpenCall", QStringLiteral("&Open..."), &F_CONTACT::openCall);
    button("cmdDeleteCall", QStringLiteral("&Delete"), &F_CONTACT::deleteCall);
    buttons->addStretch(1);
    auto* box = new QVBoxLayout(page);
    box->addWidget(m_calls, 1);
    box->addLayout(buttons);
    connect(m_calls, &QTreeWidget::itemDoubleClicked, this, &F_CONTACT::openCall);
    return page;
}

bool F_CONTACT::openContact(qlonglong key, bool readOnly)
{
    std::optional<contacts::Contact> found;
    if (!runCommand(m_session, m_prompt, [&] { found = contacts::load(m_session.db(), key); }))
        return false;
    if (!found) {
        showRefusal(m_prompt, contacts::kNotFound);
        return false;
    }
    fill(*found);
    lock(readOnly || !UserRights::mayEditContacts(m_session.user.record));
    refreshCalls();
    return true;
}

void F_CONTACT::addContact()
{
    fill(contacts::Contact{});
    const int calls = m_tabs->indexOf(m_callsPage);
    if (calls >= 0)
        m_tabs->removeTab(calls);
    lock(!UserRights::mayEditContacts(m_session.user.record));
}

bool F_CONTACT::deleteContact(Session& session, Prompt& prompt, qlonglong key)
{
    Outcome<Done> deleted;
    runCommand(session, prompt,
               [&] { deleted = contacts::remove(session.db(), session.user.record, prompt, key); });
    showRefusal(prompt, deleted.refusal());
    return static_cast<bool>(deleted);
}

void F_CONTACT::fill(const contacts::Contact& c)
{
    m_filling = true;
    m_key = c.key;
    for (const Box& b : kBoxes)
        m_boxes.value(QString::fromLatin1(b.name))->setText(c.*b.member);
    m_notes->setPlainText(c.notes);
    m_keyLabel->setText(c.key == 0 ? QString() : QStringLiteral("Key: %1").arg(c.key));
    m_filling = false;
}

contacts::Contact F_CONTACT::typed() const
{
    contacts::Contact c;
    c.key = m_key;
    for (const Box& b : kBoxes)
        c.*b.member = m_boxes.value(QString::fromLatin1(b.name))->text().trimmed();
    c.notes = m_notes->toPlainText();
    if (c.notes.trimmed().isEmpty())
        c.notes.clear();
    return c;
}

void F_CONTACT::lock(bool readOnly)
{
    m_readOnly = readOnly;
    for (QLineEdit* edit : std::as_const(m_boxes))
        edit->setReadOnly(readOnly);
    m_notes->setReadOnly(readOnly);
    m_noCompletion->setEnabled(!readOnly);
    m_companies->setEnabled(!readOnly);
    m_ok->setEnabled(!readOnly);
}

void F_CONTACT::fillCompanies()
{
    m_companies->clear();
    if (m_filling || m_readOnly || m_noCompletion->isChecked())
        return;
    QStringList found;
    const QString text = m_boxes.value(QStringLiteral("T_CNAME"))->text();
    if (runCommand(m_session, m_prompt, [&] { found = contacts::companies(m_session.db(), text); }))
        m_companies->addItems(found);
}

void F_CONTACT::takeCompany()
{
    const QListWidgetItem* item = m_companies->currentItem();
    if (!item) {
        showRefusal(m_prompt, kNoItemSelected);
        return;
    }
    std::optional<contacts::Contact> lender;
    if (!runCommand(m_session, m_prompt,
                    [&] { lender = contacts::firstOfCompany(m_session.db(), item->text()); }))
        return;
    if (!lender) {
        showRefusal(m_prompt, QStringLiteral("Unable to get contact record"));
        return;
    }
    contacts::Contact c = typed();
    c.phoneWork = lender->phoneWork;
    c.phoneCell = lender->phoneCell;
    c.notes = lender->notes;
    c.email = lender->email;
    c.fax = lender->fax;
    c.address = lender->address;
    c.city = lender->city;
    c.state = lender->state;
    c.zip = lender->zip;
    c.company = lender->company;
    fill(c);
}

void F_CONTACT::accept()
{
    if (m_readOnly)
        return;
    const contacts::Contact c = typed();
    Outcome<qlonglong, contacts::ContactField> saved =
        Outcome<qlonglong, contacts::ContactField>::declined();
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = contacts::save(m_session.db(), m_session.user.record, c); }))
        return;
    const bool refused = showRefusal(m_prompt, saved.refusal(), [this](contacts::ContactField f) {
        return f == contacts::ContactField::LastName    ? m_boxes.value(QStringLiteral("T_LNAME"))
               : f == contacts::ContactField::FirstName ? m_boxes.value(QStringLiteral("T_FNAME"))
                                                        : nullptr;
    });
    if (refused || !saved)
        return;
    m_key = *saved;
    m_keyLabel->setText(QStringLiteral("Key: %1").arg(m_key));
    QDialog::accept();
}

qlonglong F_CONTACT::selectedCall() const
{
    const QTreeWidgetItem* item = m_calls->currentItem();
    return item ? item->data(0, kIdRole).toLongLong() : 0;
}

void F_CONTACT::refreshCalls()
{
    const qlonglong selected = selectedCall();
    QList<contacts::ListedCall> found;
    if (!runCommand(m_session, m_prompt,
                    [&] { found = contacts::calls(m_session.db(), m_session.clock(), m_key); }))
        return;
    m_calls->clear();
    for (const contacts::ListedCall& call : std::as_const(found)) {
        auto* row = new QTreeWidgetItem(
            m_calls, {call.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")), call.summary});
        row->setData(0, kIdRole, call.id);
        if (call.id == selected)
            m_calls->setCurrentItem(row);
    }
}

void F_CONTACT::newCall()
{
    if (m_key == 0)
        return;
    dlgCallLog dialog(m_session, m_prompt, this);
    dialog.addCall(m_key);
    if (m_run(dialog) == QDialog::Accepted)
        refreshCalls();
}

qlonglong F_CONTACT::chosenCall()
{
    const qlonglong id = selectedCall();
    if (id == 0)
        showRefusal(m_prompt, kNoItemSelected);
    return id;
}

void F_CONTACT::openCall()
{
    const qlonglong id = chosenCall();
    if (id == 0)
        return;
    dlgCallLog dialog(m_session, m_prompt, this);
    if (dialog.openCall(id) && m_run(dialog) == QDialog::Accepted)
        refreshCalls();
}

void F_CONTACT::deleteCall()
{
    const qlonglong id = chosenCall();
    if (id == 0)
        return;
    if (runCommand(m_session, m_prompt, [&] { contacts::deleteCall(m_session.db(), id); }))
        refreshCalls();
}

} // namespace bx
