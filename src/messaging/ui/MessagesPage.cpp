#include "messaging/ui/MessagesPage.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "core/db/SecondConnection.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/WindowLayout.h"
#include "core/ui/FolderCommands.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "messaging/ui/AddressBook.h"
#include "messaging/ui/MailTreeModel.h"
#include "people/ui/dlgChooseUser.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kNoRecipient = QStringLiteral("To: Select Recipient from TeamView");

const char* const kBoxNames[] = {"Inbox", "Sent", "Outbox"};

/** The width a column starts at when the user has not set one. */
constexpr int kDefaultWidths[] = {340, 140, 120};

} // namespace

MessagesPage::MessagesPage(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_boxes(named(new QComboBox(this), "cboMailBox"))
    , m_toolbar8(named(new QToolBar(this), "Toolbar8"))
    , m_toolbar5(named(new QToolBar(this), "Toolbar5"))
    , m_tree(named(new QTreeView(this), "IvvTree5"))
    , m_model(new MailTreeModel(this))
    , m_to(named(plainLabel(kNoRecipient, this), "lblTo"))
    , m_addresses(named(new QLineEdit(this), "txtTo"))
    , m_body(named(new QPlainTextEdit(this), "NewMessageBody"))
    , m_send(named(new QPushButton(QStringLiteral("&Send"), this), "cmdSendMessage"))
    , m_stop(named(new QPushButton(QStringLiteral("S&top"), this), "cmdSTOP"))
    , m_folderMenu(named(new QMenu(this), "mnuMF"))
    , m_messageMenu(named(new QMenu(this), "POPUP_MAIL"))
    , m_moveMenu(named(new QMenu(QStringLiteral("&Move to Folder"), this), "mnuMMF"))
{
    setObjectName(QStringLiteral("MESSAGES"));
    buildCommands();
    for (const char* name : kBoxNames)
        m_boxes->addItem(QString::fromLatin1(name));
    connect(m_boxes, &QComboBox::currentIndexChanged, this, [this] { showBox(currentBox()); });

    buildTree();
    buildComposer();
    buildLayout();
    m_model->setList(MailBox::Inbox, QString::fromLatin1(kBoxNames[0]), {});
}

void MessagesPage::buildCommands()
{
    const auto action = [this](QToolBar* bar, const char* key, const QString& caption,
                               void (MessagesPage::*slot)()) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(key));
        connect(a, &QAction::triggered, this, slot);
        bar->addAction(a);
        return a;
    };
    QAction* newFolderAction =
        action(m_toolbar8, "NEW_FOLDER", QStringLiteral("New Folder"), &MessagesPage::newFolder);
    m_pop = action(m_toolbar8, "POP", QStringLiteral("Get Mail"), &MessagesPage::GET_MAIL);
    QAction* del =
        action(m_toolbar8, "DEL", QStringLiteral("Delete"), &MessagesPage::deleteSelected);
    action(m_toolbar8, "DEL_ALL", QStringLiteral("Delete All"), &MessagesPage::deleteAll);
    action(m_toolbar8, "Refresh", QStringLiteral("Refresh"), &MessagesPage::refresh);
    action(m_toolbar5, "New", QStringLiteral("New"), &MessagesPage::newMessage);
    QAction* reply =
        action(m_toolbar5, "Reply", QStringLiteral("Reply"), &MessagesPage::replyToSelected);
    QAction* forward =
        action(m_toolbar5, "Forward", QStringLiteral("Forward"), &MessagesPage::forwardSelected);
    action(m_toolbar5, "To", QStringLiteral("To..."), &MessagesPage::chooseRecipients);

    // The folder commands of the tree; moving by menu goes to the folder chosen in it.
    auto* rename =
        named(new QAction(QStringLiteral("&Rename Folder..."), this), "IDM_RENAME_FOLDER");
    connect(rename, &QAction::triggered, this, &MessagesPage::renameFolder);
    auto* dropFolder = named(new QAction(QStringLiteral("&Delete Folder"), this), "mnuDF");
    connect(dropFolder, &QAction::triggered, this, &MessagesPage::deleteFolder);
    m_folderMenu->addActions({newFolderAction, rename, dropFolder});
    connect(m_moveMenu, &QMenu::aboutToShow, this, &MessagesPage::fillMoveMenu);
    m_messageMenu->addActions({reply, forward, del});
    m_messageMenu->addSeparator();
    m_messageMenu->addMenu(m_moveMenu);
}

void MessagesPage::buildTree()
{
    m_tree->setModel(m_model);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->header()->setStretchLastSection(true);
    for (int c = 0; c < 3; ++c)
        m_tree->setColumnWidth(c, kDefaultWidths[c]);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &MessagesPage::showContextMenu);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MessagesPage::onSelected);
    m_model->setDropHandler([this](qlonglong message, qlonglong folder) {
        // Done after the drag has ended, not inside its event.
        QTimer::singleShot(0, this, [this, message, folder] {
            bool moved = false;
            if (runCommand(m_session, m_prompt, [&] { moved = mailbox().move(message, folder); }) &&
                moved)
                refresh();
        });
    });
}

void MessagesPage::buildComposer()
{
    m_addresses->setPlaceholderText(QStringLiteral("E-mail addresses, separated by ;"));
    connect(m_addresses, &QLineEdit::returnPressed, this, &MessagesPage::takeTypedAddresses);
    connect(m_body, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingText)
            m_composing = !m_body->document()->isEmpty();
    });
    connect(m_send, &QPushButton::clicked, this, &MessagesPage::cmdSendMessage);
    m_stop->hide();
    connect(m_stop, &QPushButton::clicked, this, &MessagesPage::stopFetch);
    connect(this, &MessagesPage::stopFetch, this, [this] { m_stopFetch = true; });
}

void MessagesPage::buildLayout()
{
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto* top = new QHBoxLayout;
    top->addWidget(m_toolbar8, 1);
    top->addWidget(m_boxes);
    leftLayout->addLayout(top);
    leftLayout->addWidget(m_tree);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_toolbar5);
    rightLayout->addWidget(m_to);
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(m_addresses, 1);
    addressRow->addWidget(AddressBook::buttonFor(m_session, m_prompt, m_addresses));
    rightLayout->addLayout(addressRow);
    rightLayout->addWidget(m_body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    buttons->addWidget(m_send);
    rightLayout->addLayout(buttons);

    auto* split = named(new QSplitter(Qt::Horizontal, this), "splMessages");
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
}

MessagesPage::~MessagesPage()
{
    // A fetch still running stops within about a second; its thread posts nothing once the page
    // is gone.
    m_stopFetch = true;
    if (m_fetchThread)
        m_fetchThread->wait();
}

Mailbox MessagesPage::mailbox() const
{
    Mailbox box(m_session.db(), senderOf(m_session.user), m_session.currentWorkshopId,
                m_session.clock());
    box.setPersonalMail(m_session.system.personalMail);
    return box;
}

MailBox MessagesPage::currentBox() const
{
    return static_cast<MailBox>(qBound(0, m_boxes->currentIndex(), 2));
}

void MessagesPage::RefreshMessageList()
{
    const MailBox box = currentBox();
    const QString boxName = QString::fromLatin1(kBoxNames[int(box)]);
    // The selection stays where it was, without reading the message again.
    const QModelIndex current = m_tree->currentIndex();
    const bool hadSelection = current.isValid();
    const auto kind =
        static_cast<MailTreeModel::Kind>(current.data(MailTreeModel::KindRole).toInt());
    const qlonglong number = current.data(MailTreeModel::NumberRole).toLongLong();
    // The old list goes before the new one is read, so that a large box is held once, not twice.
    m_filling = true;
    m_model->setList(box, boxName, {});
    MailList read;
    try {
        read = mailbox().list(box);
    } catch (const DbError&) {
        m_filling = false;
        throw;
    }
    m_model->setList(box, boxName, std::move(read));
    m_tree->expand(m_model->boxIndex());
    for (const MailFolder& f : m_model->list().folders)
        m_tree->expand(m_model->folderIndex(f.counter));
    QModelIndex again;
    if (hadSelection)
        again = kind == MailTreeModel::Kind::Message  ? m_model->messageIndex(number)
                : kind == MailTreeModel::Kind::Folder ? m_model->folderIndex(number)
                                                      : m_model->boxIndex();
    if (again.isValid())
        m_tree->setCurrentIndex(again);
    m_filling = false;
    m_listedWorkshop = m_session.currentWorkshopId;
    emit listRead(probeState());
    if (unread() != m_unread) {
        m_unread = unread();
        emit unreadChanged(m_unread);
    }
}

void MessagesPage::refresh()
{
    if (m_session.isOpen())
        runCommand(m_session, m_prompt, [this] { RefreshMessageList(); });
}

void MessagesPage::refreshIfStale()
{
    if (m_listedWorkshop != m_session.currentWorkshopId)
        refresh();
}

QVariantList MessagesPage::probeState() const
{
    return m_model->list().probe.toVariant();
}

qlonglong MessagesPage::unread() const
{
    return m_model->list().probe.unread;
}

void MessagesPage::GET_MAIL()
{
    if (m_fetchThread)
        return;
    MailFetcher fetcher = m_fetcher;
    if (!fetcher) {
        fetcher = [connect = secondConnectionTo(m_session.db())](const FetchRequest& request,
                                                                 const std::atomic_bool& stop) {
            const std::unique_ptr<Database> db = connect();
            return fetchMail(*db, request, stop);
        };
    }
    const FetchRequest request = fetchRequestFor(m_session);
    m_stopFetch = false;
    m_pop->setEnabled(false);
    m_stop->show();
    QPointer<MessagesPage> self(this);
    m_fetchThread = QThread::create([self, fetcher = std::move(fetcher), request, this] {
        std::optional<Outcome<int>> fetched;
        std::optional<DbError> error;
        try {
            fetched = fetcher(request, m_stopFetch);
        } catch (const DbError& e) {
            error = e;
        }
        // The page waits for this thread before it goes, so it is there to post to.
        QMetaObject::invokeMethod(
            self.data(),
            [self, fetched = std::move(fetched), error = std::move(error)] {
                if (self)
                    self->fetchEnded(fetched, error);
            },
            Qt::QueuedConnection);
    });
    connect(m_fetchThread, &QThread::finished, m_fetchThread, &QObject::deleteLater);
    m_fetchThread->start();
}

void MessagesPage::fetchEnded(const std::optional<Outcome<int>>& fetched,
                              const std::optional<DbError>& error)
{
    if (m_fetchThread)
        m_fetchThread->wait();
    m_fetchThread = nullptr;
    m_stop->hide();
    m_pop->setEnabled(true);
    if (error)
        reportDatabaseError(*error, m_session, m_prompt);
    else if (fetched && fetched->refusal())
        showRefusal(m_prompt, fetched->refusal()->message);
    refresh();
}

void MessagesPage::setRecipients(const QStringList& recipients)
{
    m_recipients.clear();
    addRecipients(recipients);
    showRecipients();
}

void MessagesPage::addRecipients(const QStringList& recipients)
{
    for (const QString& r : recipients) {
        const QString t = r.trimmed();
        if (!t.isEmpty() && !m_recipients.contains(t, Qt::CaseInsensitive))
            m_recipients << t;
    }
    showRecipients();
}

void MessagesPage::showRecipients()
{
    m_to->setText(m_recipients.isEmpty() ? kNoRecipient : m_recipients.join(QStringLiteral("; ")));
}

void MessagesPage::takeTypedAddresses()
{
    const QStringList typed = m_addresses->text().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    m_addresses->clear();
    addRecipients(typed);
}

void MessagesPage::restoreLayout(const WindowLayout& layout)
{
    const QStringList names = WindowLayout::messageColumns();
    for (int c = 0; c < names.size() && c < 3; ++c) {
        const int width = layout.messageColumnWidths.value(names[c], -1);
        if (width > 0)
            m_tree->setColumnWidth(c, width);
    }
}

void MessagesPage::keepLayout(WindowLayout& layout) const
{
    const QStringList names = WindowLayout::messageColumns();
    for (int c = 0; c < names.size() && c < 3; ++c)
        layout.messageColumnWidths.insert(names[c], m_tree->columnWidth(c));
}

qlonglong MessagesPage::selectedMessage() const
{
    const QModelIndex i = m_tree->currentIndex();
    return static_cast<MailTreeModel::Kind>(i.data(MailTreeModel::KindRole).toInt()) ==
                       MailTreeModel::Kind::Message &&
                   i.isValid()
               ? i.data(MailTreeModel::NumberRole).toLongLong()
               : 0;
}

qlonglong MessagesPage::selectedFolder() const
{
    const QModelIndex i = m_tree->currentIndex();
    return i.isValid() &&
                   static_cast<MailTreeModel::Kind>(i.data(MailTreeModel::KindRole).toInt()) ==
                       MailTreeModel::Kind::Folder
               ? i.data(MailTreeModel::NumberRole).toLongLong()
               : 0;
}

void MessagesPage::setBoxText(const QString& text, bool composing)
{
    m_settingText = true;
    m_body->setPlainText(text);
    m_settingText = false;
    m_composing = composing;
}

void MessagesPage::onSelected(const QModelIndex& index, const QModelIndex& previous)
{
    if (m_filling || !index.isValid())
        return;
    if (static_cast<MailTreeModel::Kind>(index.data(MailTreeModel::KindRole).toInt()) !=
        MailTreeModel::Kind::Message)
        return;
    const qlonglong number = index.data(MailTreeModel::NumberRole).toLongLong();
    if (number == m_shown)
        return;
    if (m_composing &&
        m_prompt.ask(
            QStringLiteral(
                "Your existing message will be cleared if you read this messsage.  Are you sure?"),
            {}, PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes) {
        m_filling = true;
        m_tree->setCurrentIndex(previous);
        m_filling = false;
        return;
    }
    const MailBox box = currentBox();
    std::optional<MailMessageText> read;
    if (!runCommand(m_session, m_prompt, [&] {
            read = box == MailBox::Outbox ? mailbox().readOutbox(number) : mailbox().read(number);
        }))
        return;
    if (!read)
        return;
    setBoxText(read->body, false);
    m_shown = number;
    if (box == MailBox::Outbox) {
        for (const MailRow& row : m_model->list().rows) {
            if (row.number == number && !row.error.isEmpty())
                emit status(row.error);
        }
        return;
    }
    m_model->markViewed(number);
    if (unread() != m_unread) {
        m_unread = unread();
        emit unreadChanged(m_unread);
    }
}

std::optional<MailMessageText> MessagesPage::selectedText()
{
    const qlonglong number = selectedMessage();
    if (number == 0) {
        m_prompt.inform(mail::kNoItemSelected);
        return std::nullopt;
    }
    std::optional<MailMessageText> read;
    runCommand(m_session, m_prompt, [&] {
        read =
            currentBox() == MailBox::Outbox ? mailbox().readOutbox(number) : mailbox().read(number);
    });
    return read;
}

void MessagesPage::cmdSendMessage()
{
    takeTypedAddresses();
    Outcome<SentMail, MailField> sent;
    if (!runCommand(m_session, m_prompt,
                    [&] { sent = mailbox().send(m_recipients, m_body->toPlainText(), m_prompt); }))
        return;
    if (const auto& refused = sent.refusal()) {
        if (refused->field == MailField::Body) {
            m_prompt.inform(refused->message, {}, PromptIcon::Critical);
            m_body->setFocus();
        } else {
            showRefusal(m_prompt, refused->message, m_addresses);
        }
        return;
    }
    if (!sent)
        return;
    setBoxText(sent->composeText, false);
    m_shown = 0;
    emit status(QStringLiteral("Message sent"));
    const MailBox box = currentBox();
    if (sent->toSelf || box == MailBox::Sent || (box == MailBox::Outbox && sent->emailed > 0))
        refresh();
}

void MessagesPage::newMessage()
{
    setBoxText({}, false);
    m_shown = 0;
    m_addresses->clear();
    setRecipients({});
}

void MessagesPage::replyToSelected()
{
    if (currentBox() == MailBox::Outbox)
        return;
    const std::optional<MailMessageText> read = selectedText();
    if (!read)
        return;
    m_model->markViewed(read->number);
    const ComposeText compose = mailbox().reply(*read);
    setRecipients(compose.recipients);
    setBoxText(compose.text, true);
    m_shown = 0;
}

void MessagesPage::forwardSelected()
{
    const std::optional<MailMessageText> read = selectedText();
    if (!read)
        return;
    const ComposeText compose = mailbox().forward(*read);
    setRecipients(compose.recipients);
    setBoxText(compose.text, true);
    m_shown = 0;
}

void MessagesPage::chooseRecipients()
{
    dlgChooseUser dialog(m_session, m_prompt, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QStringList users;
    for (const cSelUser& r : dialog.recipients()) {
        if (r.OwnerType == OwnerType::User && !r.User_ID.isEmpty())
            users << r.User_ID;
    }
    addRecipients(users);
}

void MessagesPage::deleteSelected()
{
    Outcome<qlonglong> removed;
    const MailBox box = currentBox();
    const qlonglong number = selectedMessage();
    if (!runCommand(m_session, m_prompt, [&] { removed = mailbox().remove(box, number); }))
        return;
    if (showRefusal(m_prompt, removed.refusal()))
        return;
    refresh();
}

void MessagesPage::deleteAll()
{
    Outcome<qlonglong> removed;
    const MailBox box = currentBox();
    if (!runCommand(m_session, m_prompt, [&] { removed = mailbox().removeAll(box, m_prompt); }))
        return;
    if (removed)
        refresh();
}

void MessagesPage::newFolder()
{
    if (newFolderCommand(m_session, m_prompt, FolderType::Mail, selectedFolder()))
        refresh();
}

void MessagesPage::renameFolder()
{
    const QString old = m_tree->currentIndex().data().toString();
    if (renameFolderCommand(m_session, m_prompt, selectedFolder(), old))
        refresh();
}

void MessagesPage::deleteFolder()
{
    const QString name = m_tree->currentIndex().data().toString();
    if (deleteFolderCommand(m_session, m_prompt, FolderType::Mail, selectedFolder(), name))
        refresh();
}

void MessagesPage::moveSelected(qlonglong folder)
{
    const qlonglong number = selectedMessage();
    if (number == 0) {
        m_prompt.inform(mail::kNoItemSelected);
        return;
    }
    bool moved = false;
    if (runCommand(m_session, m_prompt, [&] { moved = mailbox().move(number, folder); }) && moved)
        refresh();
}

void MessagesPage::showBox(MailBox box)
{
    if (m_boxes->currentIndex() != int(box)) {
        m_boxes->setCurrentIndex(int(box)); // comes back here through the signal
        return;
    }
    m_shown = 0;
    refresh();
}

void MessagesPage::fillMoveMenu()
{
    m_moveMenu->clear();
    QAction* back = m_moveMenu->addAction(QStringLiteral("(") +
                                          QString::fromLatin1(kBoxNames[int(currentBox())]) +
                                          QStringLiteral(")"));
    back->setObjectName(QStringLiteral("mnuRMF"));
    connect(back, &QAction::triggered, this, [this] { moveSelected(0); });
    for (const MailFolder& f : m_model->list().folders) {
        QAction* into = m_moveMenu->addAction(f.name);
        const qlonglong counter = f.counter;
        connect(into, &QAction::triggered, this, [this, counter] { moveSelected(counter); });
    }
}

void MessagesPage::showContextMenu(const QPoint& at)
{
    const QModelIndex index = m_tree->indexAt(at);
    if (!index.isValid())
        return;
    m_tree->setCurrentIndex(index);
    const auto kind = static_cast<MailTreeModel::Kind>(index.data(MailTreeModel::KindRole).toInt());
    QMenu* menu = kind == MailTreeModel::Kind::Message ? m_messageMenu : m_folderMenu;
    if (currentBox() == MailBox::Outbox && menu == m_folderMenu)
        return;
    menu->popup(m_tree->viewport()->mapToGlobal(at));
}

} // namespace bx
