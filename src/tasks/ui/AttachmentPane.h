#pragma once

#include "tasks/AttachmentTransfer.h"
#include "tasks/AttachmentView.h"
#include "tasks/Attachments.h"
#include "tasks/PendingAttachment.h"
#include "tasks/PlugInProtocol.h"
#include "tasks/ui/ViewerCopies.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class QAction;
class QBoxLayout;
class QDialog;
class QMenu;
class QTextBrowser;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace bx {

class HostedPlugIn;
class Prompt;
class Session;

/**
 * The attachment side of the task editor: the attachment and memo pages with their lists,
 * preview and memo boxes, the commands of the Attach menu, files dropped on the description, and
 * the copies handed to viewers with their save-back. The editor (the window given) owns it and
 * tells it which task it shows and what the user may do; it tells the editor what it added.
 */
class AttachmentPane final : public QObject
{
    Q_OBJECT
public:
    /** Opens a file or address with the desktop's program; false when nothing could open it. */
    using Opener = std::function<bool(const QUrl&)>;
    /** Asks for a file to read: caption, filter; "" when none was chosen. */
    using OpenChooser = std::function<QString(const QString& caption, const QString& filter)>;
    /** Asks for a file to write: suggested name, filter; "" when none was chosen. */
    using SaveChooser = std::function<QString(const QString& suggested, const QString& filter)>;
    /** Runs a dialog modally and returns its result (QDialog::exec by default). */
    using DialogRunner = std::function<int(QDialog&)>;

    /** What the pane needs of its editor. */
    struct Editor
    {
        /** Where a new attachment goes: the task, its folder box, its workshop. */
        std::function<AttachmentPlace()> place;
        /** Told of every attachment this pane added (the rows a discard takes back). */
        std::function<void(qlonglong)> added;
        /** Told when the user changed something the editor must save or take back. */
        std::function<void()> touched;
        /** Told after the lists were read, with the attachments (the tab bar follows them). */
        std::function<void(const QList<attachments::ListedAttachment>&)> listed;
        /** Told before attachment `number` may be deleted (its tab goes first). */
        std::function<void(qlonglong number)> deleting;
        /** What a plug-in attachment shown in the pane is told of the editor. */
        std::function<plugins::EditorValues()> plugInValues;
    };

    AttachmentPane(Session& session, Prompt& prompt, QWidget& window, Editor editor);
    ~AttachmentPane() override;

    QWidget* buildAttachmentsPage();
    QWidget* buildMemosPage();
    /** Fills the Attach menu; the commands for other kinds of attachment stay disabled. */
    void buildMenu(QMenu& attach);
    /** The toolbar commands "Attach", "Discussion", "AttachFile" and "AttachForm". */
    QAction* toolKey(const QString& key) const;
    /** Takes new files dropped on `box` (the description) as file attachments. */
    void acceptDropsOn(QTextEdit& box);

    /** Shows task `taskNumber` (`parentNumber` 0 without parent) with the user's rights. */
    void setTask(qlonglong taskNumber, qlonglong parentNumber,
                 const attachments::AttachmentRights& rights);
    /** Reads both lists again, keeping the memo boxes' unsaved text. */
    void refill();

    /** Refused when a memo box holds more text than is stored; checked before the save starts. */
    std::optional<RefusalOf<>> checkMemoBoxes() const;
    /** Writes the changed memo boxes (part of the editor's save). @return false on an error */
    bool saveMemoBoxes();
    /** Forgets the memo boxes' changes (the editor discards or opens another task). */
    void forgetMemoBoxes();

    /** Asks about each viewer copy the user changed (with rights) and saves it back on Yes. */
    void offerSaveBack();
    /** The editor closes or moves on: offers the save-back, then removes its viewer copies. */
    void closeViewerCopies();
    /** A transfer is running: the editor must not close. */
    bool busy() const { return m_busy || m_copies.saving(); }

    void setOpener(Opener opener) { m_open = std::move(opener); }
    void setOpenChooser(OpenChooser chooser) { m_chooseOpen = std::move(chooser); }
    void setSaveChooser(SaveChooser chooser) { m_chooseSave = std::move(chooser); }
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    /** How "Add Contact" chooses the contact: its key, 0 when cancelled. */
    void setContactChooser(std::function<qlonglong()> choose)
    {
        m_chooseContact = std::move(choose);
    }

    // The commands, also reachable from the menu by their object names.
    void addMemo(AttachmentType type);
    void addFile();
    void addLink(AttachmentType type);
    void addObject();
    /** "Add Custom Form": a new copy of a form, filled in and saved by Form_Form. */
    void addForm();
    /** "Open Form": the selected copy of a form, read-only without the right to add. */
    void openForm();
    void addChecklist();
    void addPlugIn();
    void addSignature();
    void addFromParent();
    void addContact();
    void copySelectedText();
    void saveAttachmentAs();
    void deleteItem();
    void launchViewer();
    /** Files dropped on the description: asks once for several, then adds each as a file. */
    void dropFiles(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* command(const char* name) const;
    void applyEnabling();
    const attachments::ListedAttachment* selected() const;
    const attachments::ListedAttachment* itemOf(const QTreeWidgetItem* row) const;
    void fillList(QTreeWidget& list, const QList<attachments::ListedAttachment>& items);
    void showPreview();
    /** Hosts plug-in attachment `item` ("BX_Custom") in place of the preview. */
    void showPlugIn(const attachments::ListedAttachment& item);
    /** Tells the plug-in shown in the pane "EXIT" and removes it; the preview comes back. */
    void retirePlugIn();
    void showMemo();
    void boxEdited(QTextEdit* box, qlonglong item);
    void openItem(const attachments::ListedAttachment& item);
    void openUrl(const QUrl& url);
    void openFile(const QString& path);
    void openWebAddress(const QUrl& link);
    /** The shared add with the progress window; `fromFile` streams pending.sourcePath. */
    Outcome<qlonglong> store(const PendingAttachment& pending, bool fromFile);
    void report(const std::optional<RefusalOf<>>& refusal);
    /** After Form_Form closed: the copies it added are told to the editor; the lists refilled. */
    void formsClosed(const QList<qlonglong>& added);
    void openFormCopy(qlonglong number);
    int run(QDialog& dialog);
    /**
     * With the right to add: runs the window `Form` (made from the session, the prompt, `args`
     * and the window) and stores what it hands back.
     */
    template <typename Form, typename... Args> void addThrough(bool fromFile, Args... args);

    Session& m_session;
    Prompt& m_prompt;
    QWidget& m_window;
    Editor m_editor;
    Opener m_open;
    OpenChooser m_chooseOpen;
    SaveChooser m_chooseSave;
    DialogRunner m_runDialog;
    std::function<qlonglong()> m_chooseContact;

    qlonglong m_task = 0;
    qlonglong m_parent = 0;
    attachments::AttachmentRights m_rights;
    attachments::TaskAttachmentLists m_lists;
    /** Unsaved text of the memo boxes, by attachment number. */
    QMap<qlonglong, QString> m_editedText;
    qlonglong m_memoItem = 0;       ///< shown in T_Memo
    qlonglong m_discussionItem = 0; ///< shown in T_MEMODiscussion
    bool m_filling = false;
    bool m_busy = false;
    ViewerCopies m_copies;

    QTreeWidget* m_attachList = nullptr;
    QTextBrowser* m_browser = nullptr;
    QBoxLayout* m_attachLayout = nullptr;
    std::unique_ptr<HostedPlugIn> m_plugIn;
    qlonglong m_plugInItem = 0; ///< the attachment m_plugIn shows
    QTreeWidget* m_memoList = nullptr;
    QTextEdit* m_memoBox = nullptr;
    QTextEdit* m_discussionBox = nullptr;
    QTreeWidget* m_lastList = nullptr;
    QHash<QString, QAction*> m_commands;
};

} // namespace bx
