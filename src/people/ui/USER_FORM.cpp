#include "people/ui/USER_FORM.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "people/UserEditor.h"
#include "people/UserTree.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

constexpr int kCategoryRole = Qt::UserRole;
constexpr int kGroupRole = Qt::UserRole;

} // namespace

USER_FORM::USER_FORM(Session& session, Prompt& prompt, const QString& mode, const QString& key,
                     QWidget* parent)
    : SessionDialog(session, prompt, "USER_FORM", QStringLiteral("User"), parent)
    , m_holdKey(named(new QLineEdit, QStringLiteral("HOLD_KEY")))
    , m_name(named(new QLineEdit, QStringLiteral("Text1")))
    , m_password(named(new QLineEdit, QStringLiteral("Text3")))
    , m_rate(named(new QLineEdit, QStringLiteral("Text2")))
    , m_email(named(new QLineEdit, QStringLiteral("Text4")))
    , m_supervisor(named(new QComboBox, QStringLiteral("cmbSupervisor")))
    , m_noticeDigest(named(new QComboBox, QStringLiteral("cmbNoticeDigest")))
    , m_folders(named(new QListWidget, QStringLiteral("lstFolders")))
    , m_noAccess(
          named(new QLabel(QStringLiteral("* You do not have access to the specified folders")),
                QStringLiteral("lblNoAccess")))
    , m_autoSelect(named(new QCheckBox(QStringLiteral("Auto-select subfolders")),
                         QStringLiteral("chkAutoSelect")))
    , m_workshops(named(new QTreeWidget, QStringLiteral("lvGroups")))
{
    auto* tabs = m_tabs = named(new QTabWidget, QStringLiteral("SSTab1"));
    // All five tabs stay in sight: the window is never narrower than its tab bar.
    tabs->setUsesScrollButtons(false);
    tabs->setElideMode(Qt::ElideNone);
    const auto page = [&](const QString& title) {
        auto* w = new QWidget;
        tabs->addTab(w, title);
        return w;
    };
    QWidget* general = page(QStringLiteral("General"));
    QWidget* permissions = page(QStringLiteral("Permissions"));
    QWidget* folders = page(QStringLiteral("Folders"));
    QWidget* notification = page(QStringLiteral("E-mail Notification"));
    QWidget* memberOf = page(QStringLiteral("Member of"));
    buildGeneralTab(general, permissions, notification);
    buildFoldersTab(folders);
    buildMemberOfTab(memberOf);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(okCancelButtons(this, &USER_FORM::onOk, kOkButtonNames));
    load(mode, key);
    HideNoAccess();
}

void USER_FORM::buildGeneralTab(QWidget* general, QWidget* permissions, QWidget* notification)
{
    m_password->setEchoMode(QLineEdit::Password);
    m_holdKey->setMaxLength(50);
    auto* rateValidator = new QDoubleValidator(0, 1e9, 4, m_rate);
    rateValidator->setNotation(QDoubleValidator::StandardNotation);
    rateValidator->setLocale(QLocale::c());
    m_rate->setValidator(rateValidator);
    connect(m_password, &QLineEdit::textEdited, this, [this] { m_passwordEdited = true; });

    auto* form = new QFormLayout(general);
    form->addRow(QStringLiteral("User ID:"), m_holdKey);
    form->addRow(QStringLiteral("Name or Role:"), m_name);
    form->addRow(QStringLiteral("Password:"), m_password);
    form->addRow(QStringLiteral("Rate (optional):"), m_rate);
    form->addRow(QStringLiteral("Email Address:"), m_email);
    form->addRow(QStringLiteral("Supervisor:"), m_supervisor);
    auto* permissionBoxes = new QVBoxLayout(permissions);
    auto* notificationBoxes = new QVBoxLayout(notification);
    for (const UserFlagControl& c : userFlagControls()) {
        auto* box = named(new QCheckBox(c.caption), c.objectName);
        m_flags.insert(c.column, box);
        switch (c.tab) {
        case UserTab::General:
            form->addRow(box);
            break;
        case UserTab::Permissions:
            permissionBoxes->addWidget(box);
            break;
        case UserTab::Notification:
            notificationBoxes->addWidget(box);
            break;
        }
    }
    permissionBoxes->addStretch();
    notificationBoxes->addLayout(buildDigestRow());
    notificationBoxes->addStretch();
}

QLayout* USER_FORM::buildDigestRow()
{
    for (const NoticeDigestChoice& choice : noticeDigestChoices())
        m_noticeDigest->addItem(choice.caption, choice.minutes);
    auto* digestRow = new QHBoxLayout;
    auto* digestLabel = new QLabel(QStringLiteral("Combine my e-mail notices"));
    digestLabel->setBuddy(m_noticeDigest);
    digestRow->addWidget(digestLabel);
    digestRow->addWidget(m_noticeDigest);
    digestRow->addStretch();
    return digestRow;
}

void USER_FORM::buildFoldersTab(QWidget* folders)
{
    auto* folderLayout = new QVBoxLayout(folders);
    folderLayout->addWidget(m_folders);
    folderLayout->addWidget(m_noAccess);
    folderLayout->addWidget(m_autoSelect);
    m_folders->setFont(QFont(QStringLiteral("monospace")));
    connect(m_folders, &QListWidget::itemChanged, this, &USER_FORM::onFolderChanged);
}

void USER_FORM::buildMemberOfTab(QWidget* memberOf)
{
    m_workshops->setHeaderLabels({QStringLiteral("Workshop Name")});
    m_workshops->setRootIsDecorated(false);
    (new QVBoxLayout(memberOf))->addWidget(m_workshops);
}

void USER_FORM::load(const QString& mode, const QString& key)
{
    std::optional<UserDraft> draft;
    try {
        Database& db = m_session.db();
        m_supervisor->addItem(QString());
        for (const UserSummary& u : enabledUsers(db))
            m_supervisor->addItem(u.userId);
        buildFolders();
        if (mode.compare(QLatin1String("OPEN"), Qt::CaseInsensitive) == 0) {
            draft = loadUserDraft(db, key);
            m_loaded = draft.has_value();
        }
        buildWorkshops(draft ? draft->workshops : QList<qlonglong>{}, !draft);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        m_loaded = false;
    }
    if (draft)
        showDraft(*draft);
}

void USER_FORM::showDraft(const UserDraft& draft)
{
    m_originalUserId = draft.originalUserId;
    m_holdKey->setText(draft.userId);
    m_name->setText(draft.userName);
    // What the password box of an existing user shows until the administrator types.
    m_password->setText(QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022"));
    if (draft.rate)
        m_rate->setText(QLocale::c().toString(*draft.rate));
    m_email->setText(draft.email);
    // Nobody is his own supervisor.
    for (int i = m_supervisor->count() - 1; i > 0; --i)
        if (sameText(m_supervisor->itemText(i), draft.userId))
            m_supervisor->removeItem(i);
    setSupervisor(draft.supervisor);
    for (auto it = m_flags.cbegin(); it != m_flags.cend(); ++it)
        it.value()->setChecked(draft.flag(it.key()));
    // A value set elsewhere stays as it is unless the administrator picks another.
    int digest = m_noticeDigest->findData(draft.noticeDigest);
    if (digest < 0) {
        m_noticeDigest->addItem(QStringLiteral("%1 minutes").arg(draft.noticeDigest),
                                draft.noticeDigest);
        digest = m_noticeDigest->count() - 1;
    }
    m_noticeDigest->setCurrentIndex(digest);
    QSet<QString> granted;
    for (const QString& f : draft.folders)
        granted.insert(f.toCaseFolded());
    for (int i = 0; i < m_folders->count(); ++i) {
        QListWidgetItem* item = m_folders->item(i);
        const QString category = item->data(kCategoryRole).toString();
        if (!category.isEmpty() && granted.contains(category.toCaseFolded()))
            item->setCheckState(Qt::Checked);
    }
}

USER_FORM::~USER_FORM() = default;

void USER_FORM::setSupervisor(const QString& userId)
{
    int index = 0;
    for (int i = 1; i < m_supervisor->count(); ++i)
        if (sameText(m_supervisor->itemText(i), userId))
            index = i;
    if (index == 0 && !userId.trimmed().isEmpty()) {
        // A supervisor who is disabled now is kept rather than silently dropped.
        m_supervisor->addItem(userId.trimmed());
        index = m_supervisor->count() - 1;
    }
    m_supervisor->setCurrentIndex(index);
}

int USER_FORM::getLevel(const QString& text) const
{
    return folderLevel(text);
}

void USER_FORM::HideNoAccess()
{
    bool marked = false;
    for (int i = 0; i < m_folders->count() && !marked; ++i)
        marked = m_folders->item(i)->text().endsWith(QLatin1String(" *"));
    m_noAccess->setVisible(marked);
}

void USER_FORM::buildFolders()
{
    for (const FolderEntry& e : folderEntries(m_session.db(), m_session.user.record)) {
        auto* item = new QListWidgetItem(e.text(), m_folders);
        item->setData(kCategoryRole, e.category);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void USER_FORM::buildWorkshops(const QList<qlonglong>& memberOf, bool editable)
{
    for (const WorkshopChoice& w : workshopChoices(m_session.db())) {
        auto* item = new QTreeWidgetItem(m_workshops, {w.name});
        item->setData(0, kGroupRole, w.groupId);
        item->setCheckState(0, memberOf.contains(w.groupId) ? Qt::Checked : Qt::Unchecked);
    }
    m_workshops->setEnabled(editable);
}

void USER_FORM::onFolderChanged(QListWidgetItem* item)
{
    if (m_autoSelecting || !m_autoSelect->isChecked() || item->checkState() != Qt::Checked)
        return;
    QList<int> levels;
    for (int i = 0; i < m_folders->count(); ++i)
        levels << getLevel(m_folders->item(i)->text());
    m_autoSelecting = true;
    for (int row : subfolderRows(levels, m_folders->row(item)))
        m_folders->item(row)->setCheckState(Qt::Checked);
    m_autoSelecting = false;
}

void USER_FORM::onOk()
{
    UserDraft d;
    d.originalUserId = m_originalUserId;
    d.userId = m_holdKey->text();
    d.userName = m_name->text();
    if (d.isNew() || m_passwordEdited)
        d.password = m_password->text();
    bool rateOk = false;
    const double rate = QLocale::c().toDouble(m_rate->text().trimmed(), &rateOk);
    if (rateOk)
        d.rate = rate;
    d.email = m_email->text();
    d.supervisor = m_supervisor->currentText();
    for (auto it = m_flags.cbegin(); it != m_flags.cend(); ++it)
        d.flags.insert(it.key(), it.value()->isChecked());
    d.noticeDigest = m_noticeDigest->currentData().toInt();
    for (int i = 0; i < m_workshops->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_workshops->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            d.workshops << item->data(0, kGroupRole).toLongLong();
    }
    for (int i = 0; i < m_folders->count(); ++i) {
        const QListWidgetItem* item = m_folders->item(i);
        if (item->checkState() == Qt::Checked)
            d.folders << item->data(kCategoryRole).toString();
    }

    try {
        if (showRefusal(m_prompt, saveUser(m_session, d),
                        {{UserField::UserId, m_holdKey},
                         {UserField::UserName, m_name},
                         {UserField::Password, m_password}}))
            return;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return;
    }
    m_savedUserId = d.userId.trimmed();
    accept();
}

} // namespace bx
