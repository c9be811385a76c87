#pragma once

#include "contacts/Contacts.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QWidget>

#include <functional>

class QAction;
class QFileDialog;
class QLineEdit;
class QMenu;
class QToolBar;
class QTreeView;

namespace bx {

class Prompt;
class Session;

/** The rows of the contact list: name and company. */
class ContactListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<contacts::ListedContact> rows);
    qlonglong keyAt(int row) const;
    int rowOf(qlonglong key) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<contacts::ListedContact> m_rows;
};

/**
 * The contact list: a search box (txtSearch) whose text the last names begin with, and the list
 * (lvContacts, "Key" + number per row's key). Its commands "New", "Delete", "Prop",
 * "Import...", "Export..." are QActions a host puts on its toolbar (toolBar()) and the list's
 * context menu POPUP_CONTACTS offers; "New", "Import..." and "Delete" are off without the
 * right. A double-click runs "Prop", or, in a chooser, emits chosen().
 */
class ContactsCtrl : public QWidget
{
    Q_OBJECT
public:
    ContactsCtrl(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** The selected contact's key; 0 for none. */
    qlonglong Contact_Key() const;
    void setContactKey(qlonglong key);

    void AddContact();
    void ShowProperties();
    void DeleteContact();
    void RefreshContactList();
    void importContacts();
    void exportContacts();

    /** The command named "New", "Delete", "Prop", "Import..." or "Export...". */
    QAction* command(const QString& name) const { return m_commands.value(name); }
    /** A toolbar (Toolbar1) with the commands, for the host to place. */
    QToolBar* toolBar();
    /** A double-click chooses the contact instead of opening it. */
    void setChooser(bool on) { m_chooser = on; }

    /** How dialogs are run (exec by default); tests answer them themselves. */
    void setDialogRunner(std::function<int(QDialog&)> run) { m_run = std::move(run); }
    /** How a file is chosen: `save` for export; "" when cancelled. */
    void setFileChooser(std::function<QString(bool save)> choose)
    {
        m_chooseFile = std::move(choose);
    }

signals:
    void chosen(qlonglong key);

private:
    bool needSelection();

    Session& m_session;
    Prompt& m_prompt;
    QLineEdit* m_search;
    QTreeView* m_list;
    ContactListModel* m_model;
    QMenu* m_popup;
    QHash<QString, QAction*> m_commands;
    bool m_chooser = false;
    std::function<int(QDialog&)> m_run;
    std::function<QString(bool)> m_chooseFile;
};

} // namespace bx
