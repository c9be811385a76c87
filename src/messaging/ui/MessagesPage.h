#pragma once

#include "core/db/DbError.h"
#include "messaging/MailFetch.h"
#include "messaging/Mailbox.h"

#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QThread;
class QToolBar;
class QTreeView;

namespace bx {

class MailTreeModel;
class Prompt;
class Session;
struct WindowLayout;

/**
 * The "MESSAGES" page of the main window: the box selector ("Inbox", "Sent", "Outbox"), the tree
 * of mail folders and messages (IvvTree5) with Toolbar8, and the one text box (NewMessageBody)
 * that shows the message read and holds the message written, with Toolbar5, the recipient label
 * and line, cmdSendMessage and cmdSTOP. The work is Mailbox's; the page shows what it hands back.
 */
class MessagesPage : public QWidget
{
    Q_OBJECT
public:
    /**
     * Fetches POP3 mail into the user's inbox (GET_MAIL) on a thread of its own, which owns any
     * connection it opens; `stop` is raised by cmdSTOP. Throws DbError.
     */
    using MailFetcher =
        std::function<Outcome<int>(const FetchRequest& request, const std::atomic_bool& stop)>;

    MessagesPage(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~MessagesPage() override;

    /**
     * RefreshMessageList: reads the box shown again, keeping the selection. Throws DbError (the
     * poll hands it back; commands report it).
     */
    void RefreshMessageList();
    /** The same as a command: a database error is reported. */
    void refresh();
    /** Reads the list when the workshop changed since the last read. */
    void refreshIfStale();

    /** The probe values of the last read, for the poll (Poller::messagesSeen). */
    QVariantList probeState() const;
    qlonglong unread() const;

    /**
     * "POP": replaces the fetcher of POP3 mail, which by default runs fetchMail on a connection of
     * its own to the session's database.
     */
    void setMailFetcher(MailFetcher fetcher) { m_fetcher = std::move(fetcher); }
    /**
     * Starts fetching POP3 mail away from the window's thread and returns; cmdSTOP shows until it
     * ends, then the refusal or database error is shown and the list read again.
     */
    void GET_MAIL();
    /** Whether a fetch started by GET_MAIL is still running. */
    bool fetching() const { return m_fetchThread != nullptr; }

    /** The chosen recipients (user IDs or addresses). */
    const QStringList& recipients() const { return m_recipients; }
    void setRecipients(const QStringList& recipients);
    /** Adds recipients at the end (the To chooser, a drop from the team view). */
    void addRecipients(const QStringList& recipients);

    /** Column widths as kept ("Title", "Owner", "Date"), and back. */
    void restoreLayout(const WindowLayout& layout);
    void keepLayout(WindowLayout& layout) const;

    QTreeView* tree() const { return m_tree; }
    MailTreeModel* model() const { return m_model; }

    // Commands of the toolbars and menus.
    void cmdSendMessage();
    void newMessage();
    void replyToSelected();
    void forwardSelected();
    void chooseRecipients();
    void deleteSelected();
    void deleteAll();
    void newFolder();
    void renameFolder();
    void deleteFolder();
    /** Moves the selected message into `folder` (0: back to the box). */
    void moveSelected(qlonglong folder);
    void showBox(MailBox box);

signals:
    /** The unread count changed (after a read of the list or of a message). */
    void unreadChanged(qlonglong unread);
    /** The list was read; the values are those of probeState(). */
    void listRead(const QVariantList& probe);
    /** A status message for the window's status label. */
    void status(const QString& text);
    /** cmdSTOP was pressed while mail was being fetched. */
    void stopFetch();

private:
    /** The commands of the two toolbars and of the tree's folder and message menus. */
    void buildCommands();
    /** The message tree: its columns, its menus and dropping a message on a folder. */
    void buildTree();
    /** The recipient line, the message box and its buttons. */
    void buildComposer();
    /** The tree on the left, the message being written on the right. */
    void buildLayout();
    Mailbox mailbox() const;
    MailBox currentBox() const;
    /** The selected message's number (0 for none) and folder (0 when not a folder). */
    qlonglong selectedMessage() const;
    qlonglong selectedFolder() const;
    /**
     * Reads the message of `index` into the box, asking first over unsent text; No keeps the text
     * and puts the selection back on `previous`.
     */
    void onSelected(const QModelIndex& index, const QModelIndex& previous);
    /** Sets the text of the box without counting it as written by the user. */
    void setBoxText(const QString& text, bool composing);
    /** The selected message as read, for a reply or a forward; nothing after a message. */
    std::optional<MailMessageText> selectedText();
    void showRecipients();
    /** Takes what is typed in the recipient line into the recipients. */
    void takeTypedAddresses();
    void showContextMenu(const QPoint& at);
    void fillMoveMenu();
    /** Back on the window's thread when the fetch ended: what it stored, refused or failed on. */
    void fetchEnded(const std::optional<Outcome<int>>& fetched,
                    const std::optional<DbError>& error);

    Session& m_session;
    Prompt& m_prompt;
    QComboBox* m_boxes;
    QToolBar* m_toolbar8;
    QToolBar* m_toolbar5;
    QTreeView* m_tree;
    MailTreeModel* m_model;
    QLabel* m_to;
    QLineEdit* m_addresses;
    QPlainTextEdit* m_body;
    QPushButton* m_send;
    QPushButton* m_stop;
    QMenu* m_folderMenu;
    QMenu* m_messageMenu;
    QMenu* m_moveMenu;
    QAction* m_pop;
    MailFetcher m_fetcher;
    QThread* m_fetchThread = nullptr;
    std::atomic_bool m_stopFetch{false};
    QStringList m_recipients;
    bool m_composing = false; ///< the box holds text the user wrote and has not sent
    bool m_settingText = false;
    bool m_filling = false; ///< the tree is being refilled: selection changes read nothing
    qlonglong m_shown = 0;  ///< the message whose text the box shows
    qlonglong m_listedWorkshop = -1;
    qlonglong m_unread = -1;
};

} // namespace bx
