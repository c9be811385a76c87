#pragma once

#include "core/db/SecondConnection.h"
#include "mainwindow/CabinetTree.h"
#include "mainwindow/DocumentSearch.h"
#include "tasks/PendingAttachment.h"
#include "tasks/ui/ViewerCopies.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolBar;
class QTreeView;

namespace bx {

class Prompt;
class Session;

/**
 * The "FILECABINET" page: the document tree (IvvTree3) under its toolbar (Toolbar4), or the note
 * of a user without folder access in its place. The tree is read in the background on a
 * connection the window gives; past the Query_Wait limit it shows what was read and says so.
 * Its commands (actions named as the menus name them) add, open, save, move, rename and delete
 * shared documents and list archived versions; each reads the document again and runs through
 * the cabinet's checks. "POPUP_FILE_CABINET" is the menu of documents, "POPUP_CATEGORY" that of
 * folders and the root.
 */
class FileCabinetPage : public QWidget
{
    Q_OBJECT
public:
    FileCabinetPage(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~FileCabinetPage() override;

    /** Where background reads get their connection; nothing: read on the session's own. */
    void setConnector(std::function<std::optional<Connector>()> connector)
    {
        m_connector = std::move(connector);
    }
    /** The file dialog of mnuDocSave: (offered name, filter) -> chosen path, "" when cancelled. */
    void setChooseSave(std::function<QString(const QString&, const QString&)> choose)
    {
        m_chooseSave = std::move(choose);
    }
    /** How the page's dialogs are run (QDialog::exec by default); tests answer them themselves. */
    void setDialogRunner(std::function<int(QDialog&)> run) { m_runDialog = std::move(run); }

    /**
     * Offers each viewer copy of a file document the user changed for saving back; one saved
     * back is a new version, and the tree is read again.
     */
    void offerSaveBack();
    /** The window closes: offers the save-back, then removes the viewer copies. */
    void closeViewerCopies();

    /** Reads the tree again (RefreshDocumentTree) under the search last confirmed, if any. */
    void refresh();
    /** A background read is running. */
    bool reading() const;
    /** Rebuilds the tree with the documents `search` finds; nothing: all of them. */
    void showSearch(std::optional<DocumentSearch> search);

    QAction* action(const QString& name) const { return m_actions.value(name); }
    QToolBar* toolBar() const { return m_toolbar; }
    QTreeView* tree() const { return m_tree; }
    const CabinetTree& model() const { return *m_model; }

    // Commands.
    void addFile();
    void addMemo();
    void addForm();
    void openDocument();
    void saveDocument();
    void deleteDocument();
    void cutDocument();
    void pasteDocument();
    void renameDocument();
    void findDocuments();
    void showArchive();
    /** Moves `document` into the folder of stored category `folder` (a drop, a paste). */
    void moveDocument(qlonglong document, const QString& folder);

signals:
    /** MNUNEWCONTACT: a new contact, as the Contacts page adds one. */
    void newContactRequested();
    /** MNUNEWREPORT: a new report in the report window. */
    void newReportRequested();
    /**
     * A search was confirmed: the window brings the page forward (whose refresh reads the tree
     * under it); the page reads it itself when nothing did.
     */
    void searchChosen();

protected:
    bool event(QEvent* event) override;

private:
    QAction* makeAction(const char* name, const QString& caption, void (FileCabinetPage::*slot)());
    void buildToolbar();
    void buildPopups();
    void showRows(const ReadRows& rows);
    /** The folder of the selected node ("" for the Unspecified Folder and the root). */
    QString selectedFolder() const;
    /** The selected document read again and checked; nothing (refusal shown) otherwise. */
    std::optional<cabinet::Document> selectedDocument();
    void openVersion(const cabinet::Document& doc);
    /** Runs a change of the cabinet: shows its refusal, reads the tree again when it was made. */
    void applyChange(const std::function<Outcome<Done>()>& change);
    /** applyChange of `change` on the selected document, when there is one. */
    void changeSelected(Outcome<Done> (*change)(Session&, Prompt&, qlonglong));
    void addPending(bool fromFile, const std::optional<PendingAttachment>& pending);

    Session& m_session;
    Prompt& m_prompt;
    std::function<std::optional<Connector>()> m_connector;
    std::function<QString(const QString&, const QString&)> m_chooseSave;
    std::function<int(QDialog&)> m_runDialog;
    QToolBar* m_toolbar;
    QStackedWidget* m_stack;
    QTreeView* m_tree;
    QLabel* m_note;
    CabinetTree* m_model;
    BackgroundReader* m_reader;
    cabinet::FolderAccess m_access;
    std::optional<DocumentSearch> m_search;
    QHash<QString, QAction*> m_actions;
    QHash<QString, QMenu*> m_popups;
    qlonglong m_cut = 0;
    /** Reads of the tree started so far. */
    quint64 m_reads = 0;
    ViewerCopies m_copies;
};

} // namespace bx
