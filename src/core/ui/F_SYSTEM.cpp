#include "core/ui/F_SYSTEM.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/SearchTables.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace bx {

namespace {

QCheckBox* checkBox(const char* name, const char* caption)
{
    return named(new QCheckBox(QString::fromUtf8(caption)), name);
}

/** A box followed by the text that ends its sentence ("seconds.", "days old."). */
QHBoxLayout* boxWithTail(QWidget* box, QWidget* extra, const char* tail)
{
    auto* row = new QHBoxLayout;
    box->setMaximumWidth(90);
    row->addWidget(box);
    if (extra)
        row->addWidget(extra);
    row->addWidget(new QLabel(QString::fromUtf8(tail)));
    row->addStretch();
    return row;
}

QStringList itemTexts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

/** Moves the selected items of one list to the end of the other; false when none is selected. */
bool moveSelected(QListWidget* from, QListWidget* to)
{
    const QList<QListWidgetItem*> selected = from->selectedItems();
    if (selected.isEmpty())
        return false;
    for (QListWidgetItem* item : selected)
        to->addItem(from->takeItem(from->row(item)));
    return true;
}

} // namespace

F_SYSTEM::F_SYSTEM(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_SYSTEM", QStringLiteral("System Settings"), parent)
    , m_tabs(named(new QTabWidget, "SSTab1"))
{

    m_tabs->addTab(buildGeneralTab(), QStringLiteral("General"));
    m_tabs->addTab(buildAdditionalTab(), QStringLiteral("Additional"));
    m_tabs->addTab(buildSearchTab(), QStringLiteral("Search"));

    auto* ok = named(new QPushButton(QStringLiteral("OK")), "cmdOK");
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel")), "cmdCancel");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &F_SYSTEM::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    loadSettings();
    fillPluginTables();
}

F_SYSTEM::~F_SYSTEM() = default;

QWidget* F_SYSTEM::buildGeneralTab()
{
    m_text1 = named(new QLineEdit, "Text1");
    m_text2 = named(new QLineEdit, "Text2");
    m_text5 = named(new QLineEdit, "Text5");
    m_check6 = checkBox("Check6", "Allow Attachments to be Edited/Deleted");
    m_chbSubtaskPar = checkBox("chbSubtaskPar", "Subtasks Inherit from Parent Task");
    m_chbWinLogin = checkBox("chbWinLogin", "Use Windows Logon");
    m_check3 = checkBox("Check3", "Show Approver Name in Approval List");
    m_check2 = checkBox("Check2", "Show Custom field in Task form");
    m_text3 = named(new QLineEdit, "Text3");
    m_check1 = checkBox("Check1", "Target Date");
    m_check4 = checkBox("Check4", "Category");
    m_check7 = checkBox("Check7", "Priority");
    m_edtLogin = named(new QLineEdit, "edtLogin");
    m_edtPwd = named(new QLineEdit, "edtPwd");
    m_edtPwd->setEchoMode(QLineEdit::Password);

    // The up-down beside the storage age steps its number, as a spin box would, but leaves the
    // box an ordinary text box that may also stay empty.
    auto* upDown = named(new QWidget, "UpDown1");
    auto* up = named(new QToolButton, "UpDown1Up");
    auto* down = named(new QToolButton, "UpDown1Down");
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    auto* arrows = new QVBoxLayout(upDown);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    for (QToolButton* b : {up, down}) {
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        arrows->addWidget(b);
    }
    connect(up, &QToolButton::clicked, this, [this] { stepStorage(1); });
    connect(down, &QToolButton::clicked, this, [this] { stepStorage(-1); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Auto-Delete Closed Tasks more than:"),
                 boxWithTail(m_text1, upDown, "days old."));
    form->addRow(QStringLiteral("Memory allocated to attachment copies:"),
                 boxWithTail(m_text2, nullptr, "(2,000 - 32,000)"));
    form->addRow(QStringLiteral("Query Timeout:"), boxWithTail(m_text5, nullptr, "seconds."));
    form->addRow(m_check6);
    form->addRow(m_chbSubtaskPar);
    auto* winLogin = new QHBoxLayout;
    winLogin->addWidget(m_chbWinLogin);
    winLogin->addWidget(
        named(new QLabel(QStringLiteral("(Applies to Access version only)")), "lblWinLogin"));
    winLogin->addStretch();
    form->addRow(winLogin);
    form->addRow(m_check3);
    form->addRow(m_check2);
    form->addRow(QStringLiteral("Label for Custom field:"), m_text3);
    form->addRow(QStringLiteral("Shared SQL login:"), m_edtLogin);
    form->addRow(QStringLiteral("Shared SQL password:"), m_edtPwd);
    // The server cannot tell the users of one login apart: whatever one of them may do in the
    // database, every other one may do too, with a plain SQL client as well as with this program.
    auto* sharedRights = named(
        new QLabel(QStringLiteral("Every user of the shared login has the same database rights.")),
        "lblSharedRights");
    sharedRights->setWordWrap(true);
    form->addRow(QString(), sharedRights);

    auto* mandatory = named(new QGroupBox(QStringLiteral("Mandatory Fields")), "fraMandatory");
    auto* mandatoryRow = new QHBoxLayout(mandatory);
    for (QCheckBox* c : {m_check1, m_check4, m_check7})
        mandatoryRow->addWidget(c);
    mandatoryRow->addStretch();

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addWidget(mandatory);
    layout->addStretch();
    return page;
}

QWidget* F_SYSTEM::buildAdditionalTab()
{
    m_text6 = named(new QLineEdit, "Text6");
    m_text10 = named(new QLineEdit, "Text10");
    // Without it a client that logs on to the server insists on TLS.
    const char* plainLogin = "Allow logging on to this mail server without encryption (the "
                             "password then travels in clear)";
    m_chkSmtpPlain = checkBox("chkSmtpPlain", plainLogin);
    m_chkPopPlain = checkBox("chkPopPlain", plainLogin);
    m_chkAuth = checkBox("chk_Auth", "Authenticate?");
    m_chkLeave = checkBox("chk_Leave", "Leave on Server?");
    m_text7 = named(new QLineEdit, "Text7");
    m_text8 = named(new QLineEdit, "Text8");
    m_text8->setEchoMode(QLineEdit::Password);
    m_txtVoipIP = named(new QLineEdit, "txtVoipIP");

    // A click by the user, not a programmatic change, explains what the mail settings are for.
    connect(m_chkAuth, &QCheckBox::clicked, this, [this] {
        m_prompt.inform(
            QStringLiteral("Note: Mail settings are optional.  Brindlepax supports internal "
                           "messsaging.  POP is used to read mail and SMTP is used for email "
                           "notifications and outgoing mail."),
            {}, PromptIcon::Information);
    });

    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(QStringLiteral("SMTP Server name:"), m_text6);
    form->addRow(QString(), m_chkSmtpPlain);
    form->addRow(QStringLiteral("POP Server name:"), m_text10);
    form->addRow(QString(), m_chkPopPlain);
    form->addRow(m_chkAuth);
    form->addRow(m_chkLeave);
    form->addRow(QStringLiteral("User:"), m_text7);
    form->addRow(QStringLiteral("Password:"), m_text8);
    form->addRow(QStringLiteral("VoIP/VNC Server IP:"), m_txtVoipIP);
    return page;
}

QWidget* F_SYSTEM::buildSearchTab()
{
    m_lstTables = named(new QListWidget, "lstTables");
    m_lstFields = named(new QListWidget, "lstFields");
    m_lstSearchFields = named(new QListWidget, "lstSearchFields");
    m_cboSCRField = named(new QComboBox, "cboSCRField");
    m_cboSCRField->setEditable(true);
    m_cboSCRField->setInsertPolicy(QComboBox::NoInsert);
    for (QListWidget* l : {m_lstFields, m_lstSearchFields})
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* add = named(new QPushButton(QStringLiteral("Add >>")), "cmdAdd");
    auto* remove = named(new QPushButton(QStringLiteral("<< Remove")), "cmdRemove");
    auto* save = named(new QPushButton(QStringLiteral("Save")), "cmdSaveSearch");
    for (QPushButton* b : {add, remove, save})
        b->setAutoDefault(false);

    connect(m_lstTables, &QListWidget::currentTextChanged, this, &F_SYSTEM::onTableChosen);
    connect(add, &QPushButton::clicked, this, &F_SYSTEM::onAdd);
    connect(remove, &QPushButton::clicked, this, &F_SYSTEM::onRemove);
    connect(save, &QPushButton::clicked, this, &F_SYSTEM::saveSearch);
    connect(m_cboSCRField, &QComboBox::editTextChanged, this, [this] { m_searchDirty = true; });

    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(add);
    moves->addWidget(remove);
    moves->addStretch();
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(new QLabel(QStringLiteral("SCR_Number Field:")));
    numberRow->addWidget(m_cboSCRField, 1);
    numberRow->addWidget(save);

    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Plug-in Tables:")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Fields:")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Search Fields:")), 0, 3);
    grid->addWidget(m_lstTables, 1, 0);
    grid->addWidget(m_lstFields, 1, 1);
    grid->addLayout(moves, 1, 2);
    grid->addWidget(m_lstSearchFields, 1, 3);
    grid->addLayout(numberRow, 2, 0, 1, 4);
    return page;
}

SystemSettingsEditor F_SYSTEM::editor()
{
    const ConnectionValues& c = m_session.connection;
    return SystemSettingsEditor(m_session.db(), m_session.settings(), m_session.user.record,
                                c.serverFlag ? c.location : QString(), c.sqlDatabaseName);
}

void F_SYSTEM::loadSettings()
{
    const bool server = m_session.connection.serverFlag;
    m_edtLogin->setEnabled(server);
    m_edtPwd->setEnabled(server);
    // The logon under the desktop user name exists for the embedded engine only.
    m_chbWinLogin->setEnabled(!server);
    try {
        m_loaded = editor().load();
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    const SystemSettingsInput& in = m_loaded;
    m_text1->setText(in.maxStorage);
    m_text2->setText(in.chunkSize);
    m_text5->setText(in.queryWait);
    m_text3->setText(in.labelCustom);
    m_text6->setText(in.smtpServer);
    m_text10->setText(in.popServer);
    m_text7->setText(in.smtpUser);
    m_text8->setText(in.smtpPwd);
    m_txtVoipIP->setText(in.voipServerIp);
    m_edtLogin->setText(in.sharedLogin);
    m_edtPwd->setText(in.sharedPassword);
    m_check6->setChecked(in.editAttachments);
    m_chbSubtaskPar->setChecked(in.getParentParams);
    m_chbWinLogin->setChecked(in.noLogon && !server);
    m_check3->setChecked(in.showApproverName);
    m_check2->setChecked(in.showCustom);
    m_chkAuth->setChecked(in.smtpAuth);
    m_chkLeave->setChecked(in.smtpLeave);
    m_chkSmtpPlain->setChecked(in.smtpPlainLogin);
    m_chkPopPlain->setChecked(in.popPlainLogin);
    m_check1->setChecked(in.mandTargetDate);
    m_check4->setChecked(in.mandCategory);
    m_check7->setChecked(in.mandPriority);
}

void F_SYSTEM::stepStorage(int delta)
{
    const double now = std::floor(leadingNumber(m_text1->text()));
    m_text1->setText(QString::number(std::max(0.0, now + delta), 'f', 0));
}

void F_SYSTEM::onOk()
{
    SystemSettingsInput in = m_loaded;
    in.maxStorage = m_text1->text();
    in.chunkSize = m_text2->text();
    in.queryWait = m_text5->text();
    in.labelCustom = m_text3->text();
    in.smtpServer = m_text6->text();
    in.popServer = m_text10->text();
    in.smtpUser = m_text7->text();
    in.smtpPwd = m_text8->text();
    in.voipServerIp = m_txtVoipIP->text();
    in.editAttachments = m_check6->isChecked();
    in.getParentParams = m_chbSubtaskPar->isChecked();
    in.noLogon = m_chbWinLogin->isChecked();
    in.showApproverName = m_check3->isChecked();
    in.showCustom = m_check2->isChecked();
    in.smtpAuth = m_chkAuth->isChecked();
    in.smtpLeave = m_chkLeave->isChecked();
    in.smtpPlainLogin = m_chkSmtpPlain->isChecked();
    in.popPlainLogin = m_chkPopPlain->isChecked();
    in.mandTargetDate = m_check1->isChecked();
    in.mandCategory = m_check4->isChecked();
    in.mandPriority = m_check7->isChecked();
    in.sharedLogin = m_edtLogin->text();
    in.sharedPassword = m_edtPwd->text();

    try {
        if (showRefusal(m_prompt, editor().save(in),
                        {{SystemSettingsField::ChunkSize, m_text2},
                         {SystemSettingsField::QueryWait, m_text5}}))
            return;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return;
    }
    accept();
}

void F_SYSTEM::fillPluginTables()
{
    QStringList tables;
    try {
        tables = SearchTables(m_session.db(), m_session.user.record).pluginTables();
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    const QSignalBlocker quiet(m_lstTables);
    m_lstTables->clear();
    m_lstTables->addItems(tables);
}

void F_SYSTEM::onTableChosen(const QString& table)
{
    if (table == m_shownTable)
        return;
    if (m_searchDirty && !m_shownTable.isEmpty() &&
        m_prompt.ask(
            QStringLiteral("You haven't saved previous changes, do you want to save them now?"),
            QStringLiteral("Confirm"), PromptButtons::YesNo,
            PromptIcon::Question) == PromptAnswer::Yes &&
        !saveSearch()) {
        // The choices could not be saved: stay on their table so that nothing is lost.
        const QList<QListWidgetItem*> previous =
            m_lstTables->findItems(m_shownTable, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        const QSignalBlocker quiet(m_lstTables);
        if (!previous.isEmpty())
            m_lstTables->setCurrentItem(previous.first());
        return;
    }
    showTable(table);
}

void F_SYSTEM::showTable(const QString& table)
{
    QStringList fields;
    SearchTableChoice choice;
    try {
        SearchTables search(m_session.db(), m_session.user.record);
        fields = search.fields(table);
        choice = search.load(table);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    m_shownTable = table;
    m_lstFields->clear();
    m_lstSearchFields->clear();
    for (const QString& f : fields) {
        if (!choice.fields.contains(f, Qt::CaseInsensitive))
            m_lstFields->addItem(f);
    }
    m_lstSearchFields->addItems(choice.fields);
    {
        const QSignalBlocker quiet(m_cboSCRField);
        m_cboSCRField->clear();
        m_cboSCRField->addItems(fields);
        m_cboSCRField->setEditText(choice.scrNumberField);
    }
    m_searchDirty = false;
}

void F_SYSTEM::onAdd()
{
    if (!moveSelected(m_lstFields, m_lstSearchFields)) {
        m_prompt.inform(QStringLiteral("Please choose Field to add into Search Table."));
        return;
    }
    m_searchDirty = true;
}

void F_SYSTEM::onRemove()
{
    if (!moveSelected(m_lstSearchFields, m_lstFields)) {
        m_prompt.inform(QStringLiteral("Please choose Field to remove from Search Table."));
        return;
    }
    m_searchDirty = true;
}

bool F_SYSTEM::saveSearch()
{
    try {
        const auto refusal =
            SearchTables(m_session.db(), m_session.user.record)
                .save(m_shownTable, m_cboSCRField->currentText(), itemTexts(m_lstSearchFields));
        if (refusal) {
            m_prompt.inform(*refusal);
            if (*refusal == SearchTables::kChooseTable)
                m_lstTables->setFocus();
            else
                m_cboSCRField->setFocus();
            return false;
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    m_searchDirty = false;
    return true;
}

} // namespace bx
