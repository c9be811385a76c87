#include "mainwindow/ui/FileCabinetPage.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/ui/CommandMenus.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/CategoryPaths.h"
#include "mainwindow/ui/F_DOCFIND.h"
#include "mainwindow/ui/dlgArchive.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/AttachmentView.h"
#include "tasks/Attachments.h"
#include "tasks/ui/ATTFILE.h"
#include "tasks/ui/Form_Form.h"
#include "tasks/ui/Memo_Form.h"
#include "tasks/ui/TransferProgress.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace bx {

FileCabinetPage::FileCabinetPage(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_chooseSave([this](const QString& name, const QString& filter) {
        return QFileDialog::getSaveFileName(this, QString(), name, filter);
    })
    , m_runDialog([](QDialog& dialog) { return dialog.exec(); })
    , m_toolbar(named(new QToolBar(this), "Toolbar4"))
    , m_stack(new QStackedWidget(this))
    , m_tree(named(new QTreeView(m_stack), "IvvTree3"))
    , m_note(named(new QLabel(kNoFolderAccess, m_stack), "lblNoFolderAccess"))
    , m_model(new CabinetTree(this))
    , m_reader(new BackgroundReader(this))
    , m_copies(
          session, prompt, *this,
          [this](const std::function<void()>& step) {
              return runCommand(m_session, m_prompt, step);
          },
          [this] { return cabinet::authorOf(m_session); })
{
    setObjectName(QStringLiteral("FILECABINET"));
    m_tree->setHeaderHidden(true);
    m_tree->setModel(m_model);
    m_tree->setUniformRowHeights(true);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);
    m_stack->addWidget(m_tree);
    m_stack->addWidget(m_note);
    buildToolbar();
    buildPopups();
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(m_toolbar);
    box->addWidget(m_stack, 1);

    m_model->setDropHandler([this](qlonglong document, const QString& folder) {
        // Asked and done after the drag has ended, not inside its event.
        QTimer::singleShot(0, this, [this, document, folder] { moveDocument(document, folder); });
    });
    connect(m_tree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_model->node(index)->isDocument())
            openDocument();
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& where) {
        const QModelIndex index = m_tree->indexAt(where);
        if (!index.isValid())
            return;
        m_tree->setCurrentIndex(index);
        const QString popup = m_model->node(index)->isDocument()
                                  ? QStringLiteral("POPUP_FILE_CABINET")
                                  : QStringLiteral("POPUP_CATEGORY");
        m_popups.value(popup)->popup(m_tree->viewport()->mapToGlobal(where));
    });
    connect(m_reader, &BackgroundReader::finished, this, &FileCabinetPage::showRows);
    connect(m_reader, &BackgroundReader::failed, this,
            [this](const DbError& e) { reportDatabaseError(e, m_session, m_prompt); });
}

FileCabinetPage::~FileCabinetPage() = default;

bool FileCabinetPage::event(QEvent* event)
{
    // Back from the viewer: to this window, or to this page from another.
    if (event->type() == QEvent::WindowActivate)
        offerSaveBack();
    else if (event->type() == QEvent::Show)
        QTimer::singleShot(0, this, &FileCabinetPage::offerSaveBack);
    return QWidget::event(event);
}

void FileCabinetPage::offerSaveBack()
{
    if (m_session.isOpen() && m_copies.offerSaveBack() > 0)
        refresh();
}

void FileCabinetPage::closeViewerCopies()
{
    offerSaveBack();
    m_copies.removeAll();
}

QAction* FileCabinetPage::makeAction(const char* name, const QString& caption,
                                     void (FileCabinetPage::*slot)())
{
    return addCommand(m_actions, this, name, caption, slot);
}

void FileCabinetPage::buildToolbar()
{
    m_toolbar->addAction(
        makeAction("MNUNEWMEMO", QStringLiteral("Memo"), &FileCabinetPage::addMemo));
    m_toolbar->addAction(
        makeAction("MNUNEWFILE", QStringLiteral("File"), &FileCabinetPage::addFile));
    m_toolbar->addAction(
        makeAction("MNUNEWFORM", QStringLiteral("Form"), &FileCabinetPage::addForm));
    QAction* contact = makeAction("MNUNEWCONTACT", QStringLiteral("Contact"), nullptr);
    connect(contact, &QAction::triggered, this, &FileCabinetPage::newContactRequested);
    m_toolbar->addAction(contact);
    // Shown to report designers only (the main window decides at log-on).
    QAction* report = makeAction("MNUNEWREPORT", QStringLiteral("Report"), nullptr);
    connect(report, &QAction::triggered, this, &FileCabinetPage::newReportRequested);
    m_toolbar->addAction(report);
    m_toolbar->addSeparator();
    // MNUSMALLTREE folds the tree to its folders.
    QAction* small = makeAction("MNUSMALLTREE", QStringLiteral("Folders Only"), nullptr);
    connect(small, &QAction::triggered, this, [this] {
        m_tree->collapseAll();
        m_tree->expandToDepth(0);
    });
    m_toolbar->addAction(small);
    m_toolbar->addAction(
        makeAction("Delete", QStringLiteral("Delete"), &FileCabinetPage::deleteDocument));
    m_toolbar->addAction(
        makeAction("Refresh", QStringLiteral("Refresh"), &FileCabinetPage::refresh));

    makeAction("mnuDocEdit", QStringLiteral("&Open"), &FileCabinetPage::openDocument);
    makeAction("mnuDocSave", QStringLiteral("&Save As..."), &FileCabinetPage::saveDocument);
    makeAction("mnuShowArchive", QStringLiteral("&Archived Versions..."),
               &FileCabinetPage::showArchive);
    makeAction("mnuDocCut", QStringLiteral("Cu&t"), &FileCabinetPage::cutDocument);
    makeAction("mnuDocPaste", QStringLiteral("&Paste"), &FileCabinetPage::pasteDocument);
    makeAction("mnuSharedRename", QStringLiteral("&New File Name..."),
               &FileCabinetPage::renameDocument);
    makeAction("mnuRemoveShared", QStringLiteral("&Delete"), &FileCabinetPage::deleteDocument);
    makeAction("mnuFindDoc", QStringLiteral("&Find Documents..."), &FileCabinetPage::findDocuments);
    m_actions.value(QStringLiteral("mnuDocPaste"))->setEnabled(false);
}

void FileCabinetPage::buildPopups()
{
    const auto popup = [this](const QString& name, const QStringList& commands) {
        m_popups.insert(name, commandMenu(this, name, commands, m_actions));
    };
    popup(QStringLiteral("POPUP_FILE_CABINET"), {QStringLiteral("mnuDocEdit"),
                                                 QStringLiteral("mnuDocSave"),
                                                 QStringLiteral("mnuShowArchive"),
                                                 {},
                                                 QStringLiteral("mnuDocCut"),
                                                 QStringLiteral("mnuSharedRename"),
                                                 QStringLiteral("mnuRemoveShared"),
                                                 {},
                                                 QStringLiteral("mnuFindDoc")});
    popup(QStringLiteral("POPUP_CATEGORY"), {QStringLiteral("MNUNEWFILE"),
                                             QStringLiteral("MNUNEWMEMO"),
                                             QStringLiteral("MNUNEWFORM"),
                                             {},
                                             QStringLiteral("mnuDocPaste"),
                                             {},
                                             QStringLiteral("mnuFindDoc"),
                                             QStringLiteral("Refresh")});
}

// --- Reading -------------------------------------------------------------------------------------

void FileCabinetPage::refresh()
{
    if (!m_session.isOpen())
        return;
    m_reader->cancel();
    ++m_reads;
    bool ran = runCommand(m_session, m_prompt, [&] {
        m_access = cabinet::folderAccess(m_session.db(), m_session.user.record);
    });
    if (!ran)
        return;
    m_stack->setCurrentWidget(m_access.none() ? static_cast<QWidget*>(m_note) : m_tree);
    if (m_access.none()) {
        showRows({});
        return;
    }
    const TaskCriteria statement = documentTreeQuery(m_search ? &*m_search : nullptr, m_session);
    const int wait = m_session.system.queryWait;
    // The folders' paths come with the rows, so that building the tree asks the database nothing.
    const SideRead categories = [](Database& db) {
        return QVariant::fromValue(CategoryPaths::read(db));
    };
    if (std::optional<Connector> opener = m_connector ? m_connector() : std::nullopt) {
        m_reader->start(std::move(*opener), statement, wait, {}, categories);
        return;
    }
    ReadRows read;
    if (runCommand(m_session, m_prompt, [&] {
            read = readRows(m_session.db(), statement, wait);
            read.side = categories(m_session.db());
        }))
        showRows(read);
}

bool FileCabinetPage::reading() const
{
    return m_reader->busy();
}

void FileCabinetPage::showSearch(std::optional<DocumentSearch> search)
{
    m_search = std::move(search);
    refresh();
}

void FileCabinetPage::showRows(const ReadRows& rows)
{
    const CategoryPaths paths = rows.side.value<CategoryPaths>();
    m_model->build(rows, m_access,
                   [&paths](const QString& category) { return paths.path(category); });
    m_tree->expandToDepth(0);
    if (rows.stopped)
        m_prompt.inform(QStringLiteral("There are too many documents in the current document tree "
                                       "view, not all will be displayed. "
                                       "Please apply more restrictive filter or change \"Query "
                                       "Timeout\" option in System Options "
                                       "(admin utility)"));
}

// --- Selection -----------------------------------------------------------------------------------

QString FileCabinetPage::selectedFolder() const
{
    const CabinetNode* n = m_model->node(m_tree->currentIndex());
    return n->tag.isEmpty() ? QString() : n->folder;
}

std::optional<cabinet::Document> FileCabinetPage::selectedDocument()
{
    const CabinetNode* n = m_model->node(m_tree->currentIndex());
    if (!n->isDocument())
        return std::nullopt;
    std::optional<cabinet::Document> doc;
    std::optional<RefusalOf<>> refusal;
    const bool ran = runCommand(m_session, m_prompt, [&] {
        doc = cabinet::readDocument(m_session.db(), n->document.number);
        if (doc)
            refusal = cabinet::refuseUnlessVisible(m_session.db(), m_session.user.record, *doc);
    });
    if (!ran)
        return std::nullopt;
    if (!doc) {
        showRefusal(m_prompt, cabinet::kDocumentNotFound);
        return std::nullopt;
    }
    if (refusal) {
        showRefusal(m_prompt, refusal->message);
        return std::nullopt;
    }
    return doc;
}

// --- Commands ------------------------------------------------------------------------------------

void FileCabinetPage::addPending(bool fromFile, const std::optional<PendingAttachment>& pending)
{
    if (!pending)
        return;
    PendingAttachment shared = *pending;
    shared.publish = true;
    const AttachmentPlace place = cabinet::placeFor(m_session, selectedFolder());
    Outcome<qlonglong> stored = Outcome<qlonglong>::declined();
    {
        TransferProgress progress(
            this, QStringLiteral("Storing ") +
                      attachments::withoutFolder(fromFile ? shared.sourcePath : shared.title));
        runCommand(m_session, m_prompt, [&] {
            stored = fromFile ? attachments::addFromFile(m_session.db(), place, shared,
                                                         progress.callback())
                              : attachments::add(m_session.db(), place, shared);
        });
    }
    if (stored.refusal())
        showRefusal(m_prompt, stored.refusal()->message);
    if (stored)
        refresh();
}

void FileCabinetPage::addFile()
{
    ATTFILE form(m_session, m_prompt, this);
    if (m_runDialog(form) == QDialog::Accepted)
        addPending(true, form.pending());
}

void FileCabinetPage::addMemo()
{
    Memo_Form form(m_session, m_prompt, AttachmentType::Memo, this);
    if (m_runDialog(form) == QDialog::Accepted)
        addPending(false, form.pending());
}

void FileCabinetPage::addForm()
{
    Form_Form form(m_session, m_prompt, this);
    form.openNew(cabinet::placeFor(m_session, selectedFolder()), true);
    m_runDialog(form);
    if (!form.added().isEmpty())
        refresh();
}

void FileCabinetPage::openDocument()
{
    if (const std::optional<cabinet::Document> doc = selectedDocument())
        openVersion(*doc);
}

void FileCabinetPage::openVersion(const cabinet::Document& doc)
{
    const QString type = doc.type.toUpper();
    if (type == QLatin1String("M")) {
        Memo_Form form(m_session, m_prompt, AttachmentType::Memo, this);
        if (form.openExisting(doc.number, true) && m_runDialog(form) == QDialog::Accepted)
            refresh();
        return;
    }
    if (type == QLatin1String("X")) {
        Form_Form form(m_session, m_prompt, this);
        if (form.openCopy(cabinet::placeFor(m_session, doc.category), doc.number, true)) {
            m_runDialog(form);
            refresh();
        }
        return;
    }
    Outcome<attachments::ViewerCopy> exported = Outcome<attachments::ViewerCopy>::declined();
    {
        TransferProgress progress(this, QStringLiteral("Opening ") + doc.title);
        runCommand(m_session, m_prompt, [&] {
            exported =
                attachments::exportForViewer(m_session.db(), doc.number, progress.callback());
        });
    }
    if (exported.refusal())
        showRefusal(m_prompt, exported.refusal()->message);
    if (!exported)
        return;
    // Saved back, the copy becomes a new version of the document.
    m_copies.watch(*exported, true);
    const Outcome<QUrl> url = attachments::fileToOpen(exported->path);
    if (!url)
        showRefusal(m_prompt, url.refusal()->message);
    else if (!QDesktopServices::openUrl(*url))
        m_prompt.inform(QStringLiteral("No program could open ") + exported->path);
}

void FileCabinetPage::saveDocument()
{
    const std::optional<cabinet::Document> doc = selectedDocument();
    if (!doc)
        return;
    const QString name = attachments::withoutFolder(doc->fileName.toString());
    const QString extension = QFileInfo(name).suffix();
    const QString target = m_chooseSave(
        name, QStringLiteral("*.") + (extension.isEmpty() ? QStringLiteral("*") : extension));
    if (target.isEmpty())
        return;
    Outcome<Done> saved = Outcome<Done>::declined();
    {
        TransferProgress progress(this, QStringLiteral("Saving ") + target);
        runCommand(m_session, m_prompt, [&] {
            saved = attachments::saveAs(m_session.db(), doc->number, target, progress.callback());
        });
    }
    if (saved.refusal())
        showRefusal(m_prompt, saved.refusal()->message);
}

void FileCabinetPage::applyChange(const std::function<Outcome<Done>()>& change)
{
    Outcome<Done> changed = Outcome<Done>::declined();
    runCommand(m_session, m_prompt, [&] { changed = change(); });
    if (changed.refusal())
        showRefusal(m_prompt, changed.refusal()->message);
    if (changed)
        refresh();
}

void FileCabinetPage::changeSelected(Outcome<Done> (*change)(Session&, Prompt&, qlonglong))
{
    if (const std::optional<cabinet::Document> doc = selectedDocument())
        applyChange([&] { return change(m_session, m_prompt, doc->number); });
}

void FileCabinetPage::deleteDocument()
{
    changeSelected(&cabinet::deleteDocument);
}

void FileCabinetPage::cutDocument()
{
    if (const std::optional<cabinet::Document> doc = selectedDocument()) {
        m_cut = doc->number;
        m_actions.value(QStringLiteral("mnuDocPaste"))->setEnabled(true);
    }
}

void FileCabinetPage::pasteDocument()
{
    const CabinetNode* n = m_model->node(m_tree->currentIndex());
    if (m_cut == 0 || !n->isFolder())
        return;
    const qlonglong document = std::exchange(m_cut, 0);
    m_actions.value(QStringLiteral("mnuDocPaste"))->setEnabled(false);
    moveDocument(document, n->folder);
}

void FileCabinetPage::moveDocument(qlonglong document, const QString& folder)
{
    applyChange([&] { return cabinet::moveDocument(m_session, m_prompt, document, folder); });
}

void FileCabinetPage::renameDocument()
{
    changeSelected(&cabinet::renameDocument);
}

void FileCabinetPage::findDocuments()
{
    F_DOCFIND dialog(m_session, m_prompt, this);
    if (m_runDialog(dialog) != QDialog::Accepted)
        return;
    m_search = dialog.chosen();
    const quint64 reads = m_reads;
    emit searchChosen();
    if (m_reads == reads)
        refresh();
}

void FileCabinetPage::showArchive()
{
    const std::optional<cabinet::Document> doc = selectedDocument();
    if (!doc)
        return;
    QList<cabinet::Document> versions;
    if (!runCommand(m_session, m_prompt,
                    [&] { versions = cabinet::archivedVersions(m_session.db(), *doc); }))
        return;
    dlgArchive dialog(m_session.clock(), versions, this);
    connect(&dialog, &dlgArchive::versionChosen, this, &FileCabinetPage::openVersion);
    m_runDialog(dialog);
}

} // namespace bx
