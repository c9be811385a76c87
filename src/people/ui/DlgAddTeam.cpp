#include "people/ui/DlgAddTeam.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "people/workshops/WorkshopService.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

namespace {

// Item data of the candidate choices: a workshop's GROUP_ID, or one of these for the fixed lists.
constexpr qlonglong kFixedList = -1;

} // namespace

DlgAddTeam::DlgAddTeam(Session& session, Prompt& prompt, qlonglong groupId, QWidget* parent)
    : SessionDialog(session, prompt, "DlgAddTeam", {}, parent)
    , m_groupId(groupId)
    , m_txtTeamName(workshopNamed(new QLineEdit, "txtTeamName"))
    , m_cmbGroup(workshopNamed(new QComboBox, "cmbGroup"))
    , m_T_CATEGORY(workshopNamed(new QComboBox, "T_CATEGORY"))
    , m_cmbUsers(workshopNamed(new QComboBox, "cmbUsers"))
    , m_ListView1(workshopNamed(new QListWidget, "ListView1"))
    , m_txtSearch(workshopNamed(new QLineEdit, "txtSearch"))
    , m_ListView2(workshopNamed(new QListWidget, "ListView2"))
{
    setWindowTitle(groupId == 0 ? QStringLiteral("New Workshop") : QStringLiteral("Workshop"));
    m_T_CATEGORY->setEditable(true);
    m_ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* add = workshopNamed(new QPushButton(QStringLiteral("Add >>")), "cmdAdd");
    auto* remove = workshopNamed(new QPushButton(QStringLiteral("<< Remove")), "cmdRemove");
    auto* find = workshopNamed(new QPushButton(QStringLiteral("Find")), "cmdSearch");
    auto* buttons = okCancelButtons(this, &DlgAddTeam::onOk);
    for (QPushButton* b : {add, remove, find})
        b->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Workshop name:"), m_txtTeamName);
    form->addRow(QStringLiteral("Parent workshop:"), m_cmbGroup);
    form->addRow(QStringLiteral("Root folder:"), m_T_CATEGORY);
    auto* grid = new QGridLayout;
    grid->addWidget(m_cmbUsers, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Members:")), 0, 2);
    grid->addWidget(m_ListView1, 1, 0, 3, 1);
    grid->addWidget(add, 1, 1);
    grid->addWidget(remove, 2, 1);
    grid->addWidget(m_ListView2, 1, 2, 3, 1);
    auto* search = new QHBoxLayout;
    search->addWidget(new QLabel(QStringLiteral("Find user:")));
    search->addWidget(m_txtSearch);
    search->addWidget(find);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(grid);
    layout->addLayout(search);
    layout->addWidget(buttons);

    connect(m_cmbUsers, &QComboBox::currentIndexChanged, this, &DlgAddTeam::fillCandidates);
    connect(find, &QPushButton::clicked, this, &DlgAddTeam::onSearch);
    connect(m_txtSearch, &QLineEdit::returnPressed, this, &DlgAddTeam::onSearch);
    connect(add, &QPushButton::clicked, this, &DlgAddTeam::onAdd);
    connect(m_ListView1, &QListWidget::itemDoubleClicked, this, &DlgAddTeam::onAdd);
    connect(remove, &QPushButton::clicked, this, &DlgAddTeam::onRemove);

    load();
}

DlgAddTeam::~DlgAddTeam() = default;

void DlgAddTeam::load()
{
    WorkshopService service(m_session, m_prompt);
    try {
        WorkshopStore store(m_session.db());
        WorkshopRow row;
        if (m_groupId != 0) {
            const Outcome<WorkshopRow> found = service.openForRename(m_groupId);
            if (!found) {
                showRefusal(m_prompt, found.refusal());
                m_loaded = false;
                return;
            }
            row = *found;
        }
        m_txtTeamName->setText(row.name);
        m_cmbGroup->addItem(QString(), qlonglong(0));
        for (const WorkshopRow& parent : store.parentChoices(service.me(), row.parentId, m_groupId))
            m_cmbGroup->addItem(parent.name, parent.groupId);
        m_cmbGroup->setCurrentIndex(std::max(0, m_cmbGroup->findData(row.parentId)));
        m_T_CATEGORY->addItems(store.categories());
        m_T_CATEGORY->setCurrentText(row.rootFolder);
        if (m_groupId != 0)
            for (const UserChoice& user : store.members(m_groupId))
                addUserItem(m_ListView2, user);

        const QSignalBlocker quiet(m_cmbUsers);
        const char* const lists[] = {"Team Members", "Team Mates", "My Team", "All Users"};
        for (int i = 0; i < 4; ++i)
            m_cmbUsers->addItem(QString::fromLatin1(lists[i]), kFixedList - i);
        for (const WorkshopRow& workshop : store.all())
            m_cmbUsers->addItem(workshop.name, workshop.groupId);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    fillCandidates();
}

void DlgAddTeam::fillCandidates()
{
    m_ListView1->clear();
    const qlonglong choice = m_cmbUsers->currentData().toLongLong();
    if (choice == 0)
        return;
    try {
        WorkshopStore store(m_session.db());
        const QList<UserChoice> users =
            choice > 0 ? store.members(choice)
                       : store.candidates(static_cast<CandidateList>(kFixedList - choice),
                                          WorkshopService(m_session, m_prompt).me(),
                                          m_session.user.record.supervisor);
        for (const UserChoice& user : users)
            addUserItem(m_ListView1, user);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void DlgAddTeam::onSearch()
{
    Outcome<QList<UserChoice>> found;
    if (!runCommand(m_session, m_prompt,
                    [&] {
                        found =
                            WorkshopService(m_session, m_prompt).searchUsers(m_txtSearch->text());
                    }) ||
        showRefusal(m_prompt, found.refusal()))
        return;
    m_ListView1->clear();
    for (const UserChoice& user : *found)
        addUserItem(m_ListView1, user);
}

void DlgAddTeam::onAdd()
{
    for (const QListWidgetItem* item : m_ListView1->selectedItems()) {
        const QString id = item->data(Qt::UserRole).toString();
        bool listed = false;
        for (int i = 0; i < m_ListView2->count() && !listed; ++i)
            listed = m_ListView2->item(i)
                         ->data(Qt::UserRole)
                         .toString()
                         .compare(id, Qt::CaseInsensitive) == 0;
        if (!listed)
            m_ListView2->addItem(item->clone());
    }
}

void DlgAddTeam::onRemove()
{
    qDeleteAll(m_ListView2->selectedItems());
}

void DlgAddTeam::onOk()
{
    WorkshopDraft draft;
    draft.groupId = m_groupId;
    draft.name = m_txtTeamName->text();
    draft.parentId = m_cmbGroup->currentData().toLongLong();
    draft.rootFolder = m_T_CATEGORY->currentText();
    for (int i = 0; i < m_ListView2->count(); ++i)
        draft.members.append(m_ListView2->item(i)->data(Qt::UserRole).toString());
    Outcome<qlonglong, WorkshopField> saved;
    if (!runCommand(m_session, m_prompt,
                    [&] { saved = WorkshopService(m_session, m_prompt).save(draft); }))
        return;
    if (showRefusal(
            m_prompt, saved.refusal(),
            {{WorkshopField::Members, m_ListView2}, {WorkshopField::RootFolder, m_T_CATEGORY}},
            m_txtTeamName))
        return;
    if (saved) {
        m_saved = *saved;
        accept();
    }
}

} // namespace bx
