#include "tasks/ui/AttachmentPane.h"

#include "contacts/ui/F_CONTACT.h"
#include "contacts/ui/F_CONTACTS.h"
#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "tasks/MemoText.h"
#include "tasks/PlugInCatalog.h"
#include "tasks/ui/ACTIVEX_FORM.h"
#include "tasks/ui/ATTFILE.h"
#include "tasks/ui/CHECKLIST_FORM.h"
#include "tasks/ui/COPY_ATT.h"
#include "tasks/ui/Form_Form.h"
#include "tasks/ui/Memo_Form.h"
#include "tasks/ui/PlugInHost.h"
#include "tasks/ui/SIGN_FORM.h"
#include "tasks/ui/TransferProgress.h"
#include "tasks/ui/dlgAttachLink.h"
#include "workflow/ui/F_CHECKLIST.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

const QString kSource = QStringLiteral("SCR_FORM");
constexpr int kNumberRole = Qt::UserRole;
constexpr int kKeyRole = Qt::UserRole + 1;
/** The widest an image preview is shown. */
constexpr int kPreviewWidth = 480;

bool isType(const attachments::ListedAttachment& item, AttachmentType type)
{
    return isAttachmentType(item.type, type);
}

QIcon iconFor(const attachments::ListedAttachment& item)
{
    const QStyle* style = QApplication::style();
    auto themed = [style](const QString& name, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(name, style->standardIcon(fallback));
    };
    if (isType(item, AttachmentType::File) || isType(item, AttachmentType::Object)) {
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(
            attachments::withoutFolder(item.fileName.toString()), QMimeDatabase::MatchExtension);
        return QIcon::fromTheme(mime.iconName(),
                                themed(mime.genericIconName(), QStyle::SP_FileIcon));
    }
    if (isType(item, AttachmentType::Shortcut))
        return themed(QStringLiteral("emblem-symbolic-link"), QStyle::SP_FileLinkIcon);
    if (isType(item, AttachmentType::WebPage))
        return themed(QStringLiteral("text-html"), QStyle::SP_DriveNetIcon);
    if (isType(item, AttachmentType::Memo) || isType(item, AttachmentType::Discussion))
        return themed(QStringLiteral("text-x-generic"), QStyle::SP_FileDialogDetailedView);
    if (isType(item, AttachmentType::Form))
        return themed(QStringLiteral("x-office-document"), QStyle::SP_FileDialogContentsView);
    if (isType(item, AttachmentType::Checklist))
        return themed(QStringLiteral("checkbox"), QStyle::SP_DialogApplyButton);
    if (isType(item, AttachmentType::Contact))
        return themed(QStringLiteral("contact-new"), QStyle::SP_DirHomeIcon);
    if (isType(item, AttachmentType::Report))
        return themed(QStringLiteral("x-office-spreadsheet"), QStyle::SP_FileDialogInfoView);
    return themed(QStringLiteral("application-x-executable"), QStyle::SP_ComputerIcon);
}

QTreeWidget* attachmentList(const char* name)
{
    auto* list = named(new QTreeWidget, name);
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Type"), QStringLiteral("Owner"),
                           QStringLiteral("Date")});
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    return list;
}

} // namespace

AttachmentPane::AttachmentPane(Session& session, Prompt& prompt, QWidget& window, Editor editor)
    : QObject(&window)
    , m_session(session)
    , m_prompt(prompt)
    , m_window(window)
    , m_editor(std::move(editor))
    , m_open([](const QUrl& url) { return QDesktopServices::openUrl(url); })
    , m_chooseOpen([this](const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileName(&m_window, caption, QString(), filter);
    })
    , m_chooseSave([this](const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(&m_window, QStringLiteral("Save Attachment As"),
                                            suggested, filter);
    })
    , m_runDialog([](QDialog& dialog) { return dialog.exec(); })
    , m_chooseContact([this] { return F_CONTACTS::choose(m_session, m_prompt, &m_window); })
    , m_copies(
          session, prompt, window,
          [this](const std::function<void()>& step) {
              return runTaskCommand(m_session, m_prompt, kSource, step);
          },
          [this]() -> attachments::VersionAuthor {
              return {m_session.user.userId, GmtConverter(m_session.clock()).nowGmt(),
                      m_session.currentWorkshopId};
          })
{
}

AttachmentPane::~AttachmentPane()
{
    if (m_plugIn)
        m_plugIn->exit();
}

// --- Pages and commands --------------------------------------------------------------------------

QWidget* AttachmentPane::buildAttachmentsPage()
{
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    m_attachLayout = box;
    m_attachList = attachmentList("AttachListView");
    m_browser = named(withStoredTextDocument(new QTextBrowser), "Browser1");
    // Previews come from the stored rows only; a link goes through the checks of openWebAddress.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    box->addWidget(m_attachList, 1);
    box->addWidget(m_browser, 1);
    connect(m_attachList, &QTreeWidget::currentItemChanged, this, [this] {
        m_lastList = m_attachList;
        showPreview();
    });
    connect(m_attachList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        if (const auto* item = itemOf(row))
            openItem(*item);
    });
    connect(m_browser, &QTextBrowser::anchorClicked, this, &AttachmentPane::openWebAddress);
    return page;
}

QWidget* AttachmentPane::buildMemosPage()
{
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    m_memoList = attachmentList("MemoListView");
    box->addWidget(m_memoList, 1);
    box->addWidget(new QLabel(QStringLiteral("Memo:")));
    m_memoBox = named(withStoredTextDocument(new QTextEdit), "T_Memo");
    m_memoBox->setAcceptRichText(false);
    box->addWidget(m_memoBox, 1);
    box->addWidget(new QLabel(QStringLiteral("Discussion:")));
    m_discussionBox = named(withStoredTextDocument(new QTextEdit), "T_MEMODiscussion");
    m_discussionBox->setAcceptRichText(false);
    box->addWidget(m_discussionBox, 1);
    connect(m_memoList, &QTreeWidget::currentItemChanged, this, [this] {
        m_lastList = m_memoList;
        showMemo();
    });
    connect(m_memoList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        if (const auto* item = itemOf(row))
            openItem(*item);
    });
    connect(m_memoBox, &QTextEdit::textChanged, this, [this] { boxEdited(m_memoBox, m_memoItem); });
    connect(m_discussionBox, &QTextEdit::textChanged, this,
            [this] { boxEdited(m_discussionBox, m_discussionItem); });
    return page;
}

void AttachmentPane::buildMenu(QMenu& attach)
{
    struct Command
    {
        const char* name;
        QString caption;
        std::function<void()> run; ///< none: another kind of attachment, not offered here
    };
    const Command commands[] = {
        {"mnuAddMemo", QStringLiteral("Add &Memo"), [this] { addMemo(AttachmentType::Memo); }},
        {"mnuAddDiscussion", QStringLiteral("Add &Discussion"),
         [this] { addMemo(AttachmentType::Discussion); }},
        {"mnuAddFile", QStringLiteral("Add &File"), [this] { addFile(); }},
        {"mnuAddForm", QStringLiteral("Add Custom Fo&rm (Brindlepax)"), [this] { addForm(); }},
        {"mnuAddChecklist", QStringLiteral("Add Chec&klist"), [this] { addChecklist(); }},
        {"mnuAddWebPage", QStringLiteral("Add &Web Page"),
         [this] { addLink(AttachmentType::WebPage); }},
        {"mnuAddShortcut", QStringLiteral("Add File &Shortcut"),
         [this] { addLink(AttachmentType::Shortcut); }},
        {"mnuAddContact", QStringLiteral("Add &Contact"), [this] { addContact(); }},
        {"mnuAddObject", QStringLiteral("Add &Object"), [this] { addObject(); }},
        {"mnuAddFromParent", QStringLiteral("Add from &Parent"), [this] { addFromParent(); }},
        {"mnuAddSignature", QStringLiteral("&Add Electronic Signature"),
         [this] { addSignature(); }},
        {"mnuAddPlugIn", QStringLiteral("Add &Brindlepax Plug-in"), [this] { addPlugIn(); }},
        {"mnuCopyText", QStringLiteral("&Copy Selected Text"), [this] { copySelectedText(); }},
        {"mnuSaveAttachment", QStringLiteral("&Save Attachment As..."),
         [this] { saveAttachmentAs(); }},
        {"mnuOpenForm", QStringLiteral("Ope&n Form"), [this] { openForm(); }},
        {"mnuDeleteItem", QStringLiteral("&Delete Item"), [this] { deleteItem(); }},
        {"mnuLaunchViewer", QStringLiteral("&Launch Viewer"), [this] { launchViewer(); }},
    };
    for (const Command& c : commands) {
        QAction* action = named(attach.addAction(c.caption), c.name);
        m_commands.insert(QString::fromLatin1(c.name), action);
        if (c.run)
            connect(action, &QAction::triggered, this, c.run);
        else
            action->setEnabled(false);
    }
    // The lists offer the commands that act on the selected item.
    for (const char* name : {"mnuSaveAttachment", "mnuLaunchViewer", "mnuDeleteItem"}) {
        m_attachList->addAction(command(name));
        m_memoList->addAction(command(name));
    }
    m_memoList->addAction(command("mnuCopyText"));

    auto key = [&](const char* name, const QString& caption, QAction* same) {
        auto* action = named(new QAction(caption, this), name);
        m_commands.insert(QString::fromLatin1(name), action);
        connect(action, &QAction::triggered, same, &QAction::trigger);
        return action;
    };
    QAction* attachKey = key("Attach", QStringLiteral("Attach"), command("mnuAddFile"));
    // "Attach" offers the whole menu; a click alone adds a file.
    attachKey->setMenu(&attach);
    key("Discussion", QStringLiteral("Discussion"), command("mnuAddDiscussion"));
    key("AttachFile", QStringLiteral("Attach File"), command("mnuAddFile"));
    key("AttachForm", QStringLiteral("Attach Form"), command("mnuAddForm"));
    applyEnabling();
}

QAction* AttachmentPane::toolKey(const QString& key) const
{
    return m_commands.value(key);
}

QAction* AttachmentPane::command(const char* name) const
{
    return m_commands.value(QString::fromLatin1(name));
}

void AttachmentPane::acceptDropsOn(QTextEdit& box)
{
    box.setAcceptDrops(true);
    box.viewport()->installEventFilter(this);
}

void AttachmentPane::applyEnabling()
{
    for (const char* name :
         {"mnuAddMemo", "mnuAddDiscussion", "mnuAddFile", "mnuAddChecklist", "mnuAddWebPage",
          "mnuAddShortcut", "mnuAddObject", "mnuAddSignature", "mnuAddForm", "mnuAddPlugIn",
          "mnuAddContact", "Attach", "Discussion", "AttachFile", "AttachForm"})
        if (QAction* a = command(name))
            a->setEnabled(m_rights.add);
    if (QAction* a = command("mnuAddFromParent"))
        a->setEnabled(m_rights.add && m_parent != 0);
    if (QAction* a = command("mnuDeleteItem"))
        a->setEnabled(m_rights.change);
    if (m_memoBox) {
        m_memoBox->setReadOnly(!m_rights.change);
        m_discussionBox->setReadOnly(!m_rights.change);
    }
}

// --- Lists ---------------------------------------------------------------------------------------

void AttachmentPane::setTask(qlonglong taskNumber, qlonglong parentNumber,
                             const attachments::AttachmentRights& rights)
{
    if (taskNumber != m_task)
        m_editedText.clear();
    m_task = taskNumber;
    m_parent = parentNumber;
    m_rights = rights;
    applyEnabling();
    refill();
}

void AttachmentPane::refill()
{
    runTaskCommand(m_session, m_prompt, kSource, [this] {
        m_lists = attachments::listFor(m_session.db(), m_session.clock(), m_task);
    });
    fillList(*m_attachList, m_lists.attachments);
    fillList(*m_memoList, m_lists.memos);
    showPreview();
    showMemo();
    if (m_editor.listed)
        m_editor.listed(m_lists.attachments);
}

void AttachmentPane::fillList(QTreeWidget& list, const QList<attachments::ListedAttachment>& items)
{
    const QString current =
        list.currentItem() ? list.currentItem()->data(0, kKeyRole).toString() : QString();
    const QSignalBlocker quiet(&list);
    list.clear();
    for (const attachments::ListedAttachment& item : items) {
        auto* row = new QTreeWidgetItem(&list, {attachments::shownTitle(item),
                                                attachments::kindWord(item.type), item.owner,
                                                attachments::dateText(item.date)});
        row->setIcon(0, iconFor(item));
        row->setData(0, kNumberRole, item.number);
        row->setData(0, kKeyRole, attachments::listKey(item));
        if (row->data(0, kKeyRole).toString() == current)
            list.setCurrentItem(row);
    }
}

const attachments::ListedAttachment* AttachmentPane::itemOf(const QTreeWidgetItem* row) const
{
    if (!row)
        return nullptr;
    const qlonglong number = row->data(0, kNumberRole).toLongLong();
    for (const auto* items : {&m_lists.attachments, &m_lists.memos})
        for (const attachments::ListedAttachment& item : *items)
            if (item.number == number)
                return &item;
    return nullptr;
}

const attachments::ListedAttachment* AttachmentPane::selected() const
{
    // The list on show, else the one the user last chose in.
    QTreeWidget* list = m_memoList->isVisible()     ? m_memoList
                        : m_attachList->isVisible() ? m_attachList
                                                    : m_lastList;
    return list ? itemOf(list->currentItem()) : nullptr;
}

void AttachmentPane::showPreview()
{
    m_browser->clear();
    const attachments::ListedAttachment* item = itemOf(m_attachList->currentItem());
    if (item && isType(*item, AttachmentType::PlugIn) && !item->showInTabBar) {
        showPlugIn(*item);
        return;
    }
    retirePlugIn();
    if (!item)
        return;
    attachments::Preview preview;
    if (!runTaskCommand(m_session, m_prompt, kSource,
                        [&] { preview = attachments::previewOf(m_session.db(), *item); }))
        return;
    if (!preview.image.isEmpty()) {
        QImage image = QImage::fromData(preview.image);
        if (image.width() > kPreviewWidth)
            image = image.scaledToWidth(kPreviewWidth, Qt::SmoothTransformation);
        m_browser->document()->addResource(QTextDocument::ImageResource,
                                           QUrl(attachments::Preview::kImageName), image);
    }
    m_browser->setHtml(preview.html);
}

void AttachmentPane::showPlugIn(const attachments::ListedAttachment& item)
{
    if (m_plugIn && m_plugInItem == item.number)
        return;
    retirePlugIn();
    const auto values = m_editor.plugInValues;
    m_plugIn = std::make_unique<HostedPlugIn>(
        m_session, plugins::PlugInCatalog(), item.fileName.toString().trimmed(),
        QStringLiteral("BX_Custom"), m_attachList->parentWidget(), m_task,
        [values] { return values ? plugins::recordValues(values()) : QVariantMap(); });
    m_plugInItem = item.number;
    m_browser->hide();
    m_attachLayout->insertWidget(m_attachLayout->indexOf(m_browser), m_plugIn->widget(), 1);
    if (values)
        m_plugIn->show(values(), QString::number(item.number));
}

void AttachmentPane::retirePlugIn()
{
    if (!m_plugIn)
        return;
    m_plugIn->exit();
    m_plugIn.reset();
    m_plugInItem = 0;
    m_browser->show();
}

void AttachmentPane::showMemo()
{
    const attachments::ListedAttachment* item = itemOf(m_memoList->currentItem());
    if (!item)
        return;
    const bool discussion = isType(*item, AttachmentType::Discussion);
    QTextEdit* box = discussion ? m_discussionBox : m_memoBox;
    QString text;
    if (m_editedText.contains(item->number))
        text = m_editedText.value(item->number);
    else if (!runTaskCommand(m_session, m_prompt, kSource,
                             [&] { text = memo::readText(m_session.db(), item->number); }))
        return;
    m_filling = true;
    (discussion ? m_discussionItem : m_memoItem) = item->number;
    box->setPlainText(text);
    m_filling = false;
}

void AttachmentPane::boxEdited(QTextEdit* box, qlonglong item)
{
    if (m_filling || item == 0 || box->isReadOnly())
        return;
    m_editedText.insert(item, box->toPlainText());
    if (m_editor.touched)
        m_editor.touched();
}

// --- Memo boxes ----------------------------------------------------------------------------------

std::optional<RefusalOf<>> AttachmentPane::checkMemoBoxes() const
{
    for (const QString& text : m_editedText)
        if (auto refused = attachments::refuseLongText(text.toUtf8()))
            return refused;
    return std::nullopt;
}

bool AttachmentPane::saveMemoBoxes()
{
    if (m_editedText.isEmpty())
        return true;
    bool saved = true;
    const bool ran = runTaskCommand(m_session, m_prompt, kSource, [&] {
        for (auto it = m_editedText.cbegin(); it != m_editedText.cend() && saved; ++it) {
            const qlonglong number = it.key();
            const bool discussion = std::any_of(
                m_lists.memos.cbegin(), m_lists.memos.cend(), [number](const auto& item) {
                    return item.number == number && isType(item, AttachmentType::Discussion);
                });
            const Outcome<bool> written =
                discussion ? memo::SaveDiscussion(m_session.db(), m_task, number, it.value(), true)
                           : memo::SaveMemo(m_session.db(), m_task, number, it.value(), true);
            if (written.refusal()) {
                showRefusal(m_prompt, written.refusal()->message,
                            discussion ? m_discussionBox : m_memoBox);
                saved = false;
            }
        }
    });
    saved = saved && ran;
    if (saved)
        m_editedText.clear();
    return saved;
}

void AttachmentPane::forgetMemoBoxes()
{
    m_editedText.clear();
}

// --- Adding --------------------------------------------------------------------------------------

int AttachmentPane::run(QDialog& dialog)
{
    return m_runDialog(dialog);
}

void AttachmentPane::report(const std::optional<RefusalOf<>>& refusal)
{
    if (refusal)
        showRefusal(m_prompt, refusal->message);
}

Outcome<qlonglong> AttachmentPane::store(const PendingAttachment& pending, bool fromFile)
{
    Outcome<qlonglong> stored = Outcome<qlonglong>::declined();
    const AttachmentPlace place = m_editor.place();
    m_busy = true;
    {
        TransferProgress progress(
            &m_window,
            QStringLiteral("Storing ") +
                attachments::withoutFolder(fromFile ? pending.sourcePath : pending.title));
        const bool ran = runTaskCommand(m_session, m_prompt, kSource, [&] {
            stored = fromFile ? attachments::addFromFile(m_session.db(), place, pending,
                                                         progress.callback())
                              : attachments::add(m_session.db(), place, pending);
        });
        if (!ran)
            stored = Outcome<qlonglong>::declined();
    }
    m_busy = false;
    report(stored.refusal());
    if (stored) {
        if (m_editor.added)
            m_editor.added(*stored);
        if (m_editor.touched)
            m_editor.touched();
        refill();
    }
    return stored;
}

template <typename Form, typename... Args>
void AttachmentPane::addThrough(bool fromFile, Args... args)
{
    if (!m_rights.add)
        return;
    Form form(m_session, m_prompt, args..., &m_window);
    if (run(form) == QDialog::Accepted && form.pending())
        store(*form.pending(), fromFile);
}

void AttachmentPane::addMemo(AttachmentType type)
{
    addThrough<Memo_Form>(false, type);
}

void AttachmentPane::addFile()
{
    addThrough<ATTFILE>(true);
}

void AttachmentPane::addLink(AttachmentType type)
{
    addThrough<dlgAttachLink>(false, type);
}

void AttachmentPane::addChecklist()
{
    addThrough<CHECKLIST_FORM>(false);
}

void AttachmentPane::addPlugIn()
{
    addThrough<ACTIVEX_FORM>(false);
}

void AttachmentPane::addSignature()
{
    if (!m_rights.add)
        return;
    SIGN_FORM form(m_session, m_prompt, &m_window);
    form.setDialogRunner(m_runDialog);
    if (const std::optional<PendingAttachment> note = form.do_approval(m_task))
        store(*note, false);
}

void AttachmentPane::addForm()
{
    if (!m_rights.add)
        return;
    Form_Form form(m_session, m_prompt, &m_window);
    form.openNew(m_editor.place());
    run(form);
    formsClosed(form.added());
}

void AttachmentPane::openForm()
{
    if (const attachments::ListedAttachment* item = selected();
        item && isType(*item, AttachmentType::Form))
        openFormCopy(item->number);
}

void AttachmentPane::openFormCopy(qlonglong number)
{
    if (busy())
        return;
    Form_Form form(m_session, m_prompt, &m_window);
    if (!form.openCopy(m_editor.place(), number, m_rights.add))
        return;
    run(form);
    formsClosed(form.added());
}

void AttachmentPane::formsClosed(const QList<qlonglong>& added)
{
    for (const qlonglong number : added)
        if (m_editor.added)
            m_editor.added(number);
    if (!added.isEmpty() && m_editor.touched)
        m_editor.touched();
    refill();
}

void AttachmentPane::addObject()
{
    if (!m_rights.add)
        return;
    const QString path =
        m_chooseOpen(QStringLiteral("Add Object"), QStringLiteral("All Files (*)"));
    if (path.isEmpty())
        return;
    PendingAttachment p;
    p.type = AttachmentType::Object;
    p.title = QFileInfo(path).fileName();
    p.sourcePath = path;
    p.owner = m_session.user.userId;
    p.date = GmtConverter(m_session.clock()).nowGmt();
    store(p, true);
}

void AttachmentPane::addContact()
{
    if (!m_rights.add)
        return;
    const qlonglong key = m_chooseContact();
    if (key == 0)
        return;
    std::optional<PendingAttachment> pending;
    if (runTaskCommand(m_session, m_prompt, kSource,
                       [&] {
                           pending = attachments::contactAttachment(
                               m_session.db(), QString::number(key), m_session.user.userId,
                               GmtConverter(m_session.clock()).nowGmt());
                       }) &&
        pending)
        store(*pending, false);
}

void AttachmentPane::addFromParent()
{
    if (!m_rights.add || m_parent == 0)
        return;
    COPY_ATT form(m_session, m_prompt, m_parent, &m_window);
    if (run(form) != QDialog::Accepted)
        return;
    const AttachmentPlace place = m_editor.place();
    Outcome<qlonglong> copied = Outcome<qlonglong>::declined();
    runTaskCommand(m_session, m_prompt, kSource, [&] {
        copied =
            attachments::copyToTask(m_session.db(), place, form.chosen(), m_session.user.userId,
                                    GmtConverter(m_session.clock()).nowGmt());
    });
    report(copied.refusal());
    if (!copied)
        return;
    if (m_editor.added)
        m_editor.added(*copied);
    if (m_editor.touched)
        m_editor.touched();
    refill();
}

void AttachmentPane::dropFiles(const QStringList& paths)
{
    if (!m_rights.add || paths.isEmpty() || busy())
        return;
    if (paths.size() > 1 &&
        m_prompt.ask(
            QStringLiteral("You are dropping multiple files.  Would you like to continue?"),
            QStringLiteral("Drop multiple files?"), PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    for (const QString& path : paths) {
        PendingAttachment p;
        p.type = AttachmentType::File;
        p.title = path;
        p.sourcePath = path;
        p.owner = m_session.user.userId;
        p.date = GmtConverter(m_session.clock()).nowGmt();
        p.publish = false;
        const Outcome<qlonglong> stored = store(p, true);
        if (!stored && !stored.refusal())
            return; // cancelled: the files after it are not added either
    }
}

bool AttachmentPane::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    QStringList paths;
    if (drop->mimeData()->hasUrls())
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
                paths << url.toLocalFile();
    if (paths.isEmpty())
        return QObject::eventFilter(watched, event); // text goes into the description as usual
    if (!m_rights.add || busy()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        dropFiles(paths);
    return true;
}

// --- Reading and opening -------------------------------------------------------------------------

void AttachmentPane::copySelectedText()
{
    QString text;
    for (QTextEdit* box : std::initializer_list<QTextEdit*>{m_memoBox, m_discussionBox, m_browser})
        if (box->hasFocus() && box->textCursor().hasSelection())
            text = box->textCursor().selection().toPlainText();
    for (QTextEdit* box : std::initializer_list<QTextEdit*>{m_memoBox, m_discussionBox, m_browser})
        if (text.isEmpty() && box->textCursor().hasSelection())
            text = box->textCursor().selection().toPlainText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void AttachmentPane::saveAttachmentAs()
{
    const attachments::ListedAttachment* item = selected();
    if (!item) {
        m_prompt.inform(attachments::kSelectAttachment);
        return;
    }
    const bool text =
        isType(*item, AttachmentType::Memo) || isType(*item, AttachmentType::Discussion);
    if (!text && !isType(*item, AttachmentType::File) && !isType(*item, AttachmentType::Object)) {
        m_prompt.inform(QStringLiteral("This attachment holds no file to save."));
        return;
    }
    const qlonglong number = item->number;
    QString target =
        m_chooseSave(attachments::suggestedSaveName(*item),
                     text ? QStringLiteral("Text File (*.txt)") : QStringLiteral("All Files (*)"));
    if (target.isEmpty())
        return;
    if (text)
        target = attachments::withTextExtension(target);
    Outcome<Done> saved = Outcome<Done>::declined();
    m_busy = true;
    {
        TransferProgress progress(&m_window, QStringLiteral("Saving ") + target);
        runTaskCommand(m_session, m_prompt, kSource, [&] {
            saved = attachments::saveAs(m_session.db(), number, target, progress.callback());
        });
    }
    m_busy = false;
    report(saved.refusal());
}

void AttachmentPane::deleteItem()
{
    const attachments::ListedAttachment* item = selected();
    const qlonglong number = item ? item->number : 0;
    Outcome<Done> deleted = Outcome<Done>::declined();
    if (number != 0 && number == m_plugInItem)
        retirePlugIn();
    if (number != 0 && m_editor.deleting)
        m_editor.deleting(number);
    runTaskCommand(m_session, m_prompt, kSource, [&] {
        deleted = attachments::deleteAttachment(m_session.db(), m_prompt, m_task, number,
                                                m_rights.change);
    });
    report(deleted.refusal());
    if (!deleted) {
        if (m_editor.listed)
            m_editor.listed(m_lists.attachments);
        return;
    }
    m_editedText.remove(number);
    m_copies.forget(number);
    for (auto [shown, box] :
         {std::pair{&m_memoItem, m_memoBox}, std::pair{&m_discussionItem, m_discussionBox}}) {
        if (*shown == number) {
            *shown = 0;
            m_filling = true;
            box->clear();
            m_filling = false;
        }
    }
    refill();
}

void AttachmentPane::launchViewer()
{
    if (const attachments::ListedAttachment* item = selected())
        openItem(*item);
    else
        m_prompt.inform(attachments::kSelectAttachment);
}

void AttachmentPane::openUrl(const QUrl& url)
{
    if (!m_open(url))
        m_prompt.inform(QStringLiteral("No program could open ") +
                        (url.isLocalFile() ? url.toLocalFile() : url.toString()));
}

void AttachmentPane::openWebAddress(const QUrl& link)
{
    const Outcome<QUrl> url = attachments::webAddressToOpen(link.toString());
    if (url)
        openUrl(*url);
    else
        report(url.refusal());
}

void AttachmentPane::openItem(const attachments::ListedAttachment& item)
{
    if (busy())
        return;
    if (isType(item, AttachmentType::Memo) || isType(item, AttachmentType::Discussion)) {
        Memo_Form form(m_session, m_prompt,
                       isType(item, AttachmentType::Discussion) ? AttachmentType::Discussion
                                                                : AttachmentType::Memo,
                       &m_window);
        if (form.openExisting(item.number, m_rights.change) && run(form) == QDialog::Accepted) {
            m_editedText.remove(item.number);
            refill();
        }
        return;
    }
    if (isType(item, AttachmentType::Form)) {
        openFormCopy(item.number);
        return;
    }
    if (isType(item, AttachmentType::Checklist)) {
        F_CHECKLIST form(m_session, m_prompt, item.number, &m_window);
        if (form.load())
            run(form);
        refill();
        return;
    }
    if (isType(item, AttachmentType::WebPage)) {
        openWebAddress(QUrl(item.fileName.toString()));
        return;
    }
    if (isType(item, AttachmentType::Contact)) {
        F_CONTACT card(m_session, m_prompt, &m_window);
        if (card.openContact(item.fileName.toString().trimmed().toLongLong()))
            run(card);
        refill();
        return;
    }
    if (isType(item, AttachmentType::Shortcut)) {
        openFile(item.fileName.toString());
        return;
    }
    if (!isType(item, AttachmentType::File) && !isType(item, AttachmentType::Object))
        return;
    const qlonglong number = item.number;
    const bool writable = m_rights.change;
    Outcome<attachments::ViewerCopy> exported = Outcome<attachments::ViewerCopy>::declined();
    m_busy = true;
    {
        TransferProgress progress(&m_window, QStringLiteral("Opening ") + item.title);
        runTaskCommand(m_session, m_prompt, kSource, [&] {
            exported = attachments::exportForViewer(m_session.db(), number, progress.callback(),
                                                    !writable);
        });
    }
    m_busy = false;
    report(exported.refusal());
    if (!exported)
        return;
    m_copies.watch(*exported, writable);
    openFile(exported->path);
}

void AttachmentPane::openFile(const QString& path)
{
    const Outcome<QUrl> url = attachments::fileToOpen(path);
    if (url)
        openUrl(*url);
    else
        report(url.refusal());
}

// --- Viewer copies -------------------------------------------------------------------------------

void AttachmentPane::offerSaveBack()
{
    if (!m_busy)
        m_copies.offerSaveBack();
}

void AttachmentPane::closeViewerCopies()
{
    offerSaveBack();
    m_copies.removeAll();
}

} // namespace bx
