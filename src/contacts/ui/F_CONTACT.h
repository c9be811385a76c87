#pragma once

#include "contacts/Contacts.h"
#include "core/ui/SessionDialog.h"

#include <QHash>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The contact card: the names and details (T_LNAME, T_FNAME, ..., T_CNAME with the companies
 * that begin with what is typed in lstCompanies unless chkNoCompletion is set), the key
 * (lblKey) and, for a saved contact, its calls (lvCalls; cmdNewCall, cmdOpenCall,
 * cmdDeleteCall). OK saves through contacts::save and closes; a refusal keeps the card open with
 * the focus on the box it names. Without the right to edit contacts, or opened read-only, every
 * box is locked and OK is off.
 */
class F_CONTACT : public SessionDialog
{
    Q_OBJECT
public:
    F_CONTACT(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** "OPEN": shows the contact; false after "Unable to locate Contact record". */
    bool openContact(qlonglong key, bool readOnly = false);
    /** "ADD": an empty card without the call history. */
    void addContact();
    /** "DELETE": deletes the contact without showing it. @return whether it was deleted */
    static bool deleteContact(Session& session, Prompt& prompt, qlonglong key);

    /** The saved contact's key; 0 for a new one until OK saved it. */
    qlonglong key() const { return m_key; }
    bool isReadOnly() const { return m_readOnly; }

    /** How the call dialog is run (exec by default); tests answer it themselves. */
    void setDialogRunner(std::function<int(QDialog&)> run) { m_run = std::move(run); }

    void accept() override;

private:
    QWidget* buildCard();
    QWidget* buildCalls();
    void fill(const contacts::Contact& c);
    contacts::Contact typed() const;
    void lock(bool readOnly);
    void fillCompanies();
    void takeCompany();
    void refreshCalls();
    void newCall();
    void openCall();
    void deleteCall();
    qlonglong selectedCall() const;
    /** The selected call; 0, refused, when none is. */
    qlonglong chosenCall();

    QHash<QString, QLineEdit*> m_boxes;
    QPlainTextEdit* m_notes;
    QCheckBox* m_noCompletion;
    QListWidget* m_companies;
    QLabel* m_keyLabel;
    QTabWidget* m_tabs;
    QWidget* m_callsPage = nullptr;
    QTreeWidget* m_calls = nullptr;
    QWidget* m_ok = nullptr;
    qlonglong m_key = 0;
    bool m_readOnly = false;
    bool m_filling = false;
    std::function<int(QDialog&)> m_run;
};

} // namespace bx
