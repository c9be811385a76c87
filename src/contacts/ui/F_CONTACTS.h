#pragma once

#include "core/ui/SessionDialog.h"

namespace bx {

class ContactsCtrl;
class Prompt;
class Session;

/**
 * The contacts window: the contact list with its toolbar (New, Delete, Prop, Import...,
 * Export...). As a chooser it also has OK and Cancel, and a double-click chooses: chosenKey()
 * is then the contact chosen, 0 after Cancel.
 */
class F_CONTACTS : public SessionDialog
{
    Q_OBJECT
public:
    F_CONTACTS(Session& session, Prompt& prompt, bool chooser, QWidget* parent = nullptr);

    ContactsCtrl* list() const { return m_list; }
    qlonglong chosenKey() const { return m_chosen; }

    /** Shows the chooser and returns the chosen contact's key, 0 when cancelled. */
    static qlonglong choose(Session& session, Prompt& prompt, QWidget* parent);

    void accept() override;

private:
    ContactsCtrl* m_list;
    qlonglong m_chosen = 0;
};

} // namespace bx
