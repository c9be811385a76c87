#pragma once

#include "core/ui/SessionDialog.h"

class QCompleter;
class QLineEdit;
class QPlainTextEdit;
class QStringListModel;

namespace bx {

class Prompt;
class Session;

/**
 * The e-mail window of the task editor: recipients (txtTo, separated by ";", completed from the
 * contacts while typed), subject (txtSubject) and message (txtMessage); the commands Send, Cut,
 * Copy, Paste and Delete.
 *
 * Send queues the e-mail through email::send and closes with Accepted; record() then holds the
 * record of the e-mail for the editor's description. A refusal is shown through the prompt and
 * leaves the window open. Closing it otherwise while any box holds text asks "Are you sure?".
 */
class dlgEmail : public SessionDialog
{
    Q_OBJECT
public:
    dlgEmail(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** The record of the sent e-mail; empty until Send succeeded. */
    const QString& record() const { return m_record; }

    /** Escape, Close and the close box: asks first while a box holds text. */
    void reject() override;

private:
    void onSend();
    void onToEdited(const QString& text);
    void onCompletionChosen(const QString& chosen);
    bool hasText() const;
    /** Runs the edit on the box that has the focus, if it is one of the window's boxes. */
    template <typename LineEdit, typename TextEdit>
    void onFocusedBox(LineEdit lineEdit, TextEdit textEdit);

    QLineEdit* m_to;
    QLineEdit* m_subject;
    QPlainTextEdit* m_message;
    QCompleter* m_completer;
    QStringListModel* m_contacts;
    QString m_record;
};

} // namespace bx
