#pragma once

#include "core/ui/SessionDialog.h"

#include <QHash>

class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;
struct UserDraft;

/**
 * One user: identity and password (General), rights (Permissions), visible folders (Folders),
 * e-mail preferences (E-mail Notification) and workshops (Member of). Mode "NEW" adds a user,
 * "OPEN" edits the user whose ID is the key. OK saves through saveUser() and closes; every
 * refusal is shown and leaves the window open with the focus on the box concerned.
 *
 * The password box of an existing user shows a stand-in; unless the administrator types into it
 * the stored password stays as it is.
 *
 * Memberships of an existing user are shown, not edited: they change in the workshop windows.
 */
class USER_FORM : public SessionDialog
{
    Q_OBJECT
public:
    USER_FORM(Session& session, Prompt& prompt, const QString& mode, const QString& key = {},
              QWidget* parent = nullptr);
    ~USER_FORM() override;

    /** The supervisor a new user gets (the node chosen in the user tree). */
    void setSupervisor(const QString& userId);

    /** The level of a line of the folder list (its leading blanks by four). */
    int getLevel(const QString& text) const;
    /** Shows the note on marked folders when the list holds any, and hides it otherwise. */
    void HideNoAccess();

    /** The user ID saved by the last successful OK. */
    const QString& savedUserId() const { return m_savedUserId; }
    /** Whether the key of "OPEN" named an existing user. */
    bool isLoaded() const { return m_loaded; }

private:
    /** The General tab's boxes, and the flag boxes of General, Permissions and Notification. */
    void buildGeneralTab(QWidget* general, QWidget* permissions, QWidget* notification);
    /** "Combine my e-mail notices", below the notification boxes. */
    QLayout* buildDigestRow();
    void buildFoldersTab(QWidget* folders);
    void buildMemberOfTab(QWidget* memberOf);
    /** Fills the lists and, for "OPEN", the user's values; a database error is shown. */
    void load(const QString& mode, const QString& key);
    void showDraft(const UserDraft& draft);
    void buildFolders();
    void buildWorkshops(const QList<qlonglong>& memberOf, bool editable);
    void onFolderChanged(QListWidgetItem* item);
    void onOk();

    QString m_originalUserId;
    QString m_savedUserId;
    bool m_loaded = true;
    bool m_passwordEdited = false;
    bool m_autoSelecting = false;
    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_holdKey;
    QLineEdit* m_name;
    QLineEdit* m_password;
    QLineEdit* m_rate;
    QLineEdit* m_email;
    QComboBox* m_supervisor;
    QHash<QString, QCheckBox*> m_flags; ///< by column
    QComboBox* m_noticeDigest;          ///< "Combine my e-mail notices": minutes as item data
    QListWidget* m_folders;
    QLabel* m_noAccess;
    QCheckBox* m_autoSelect;
    QTreeWidget* m_workshops;
};

} // namespace bx
