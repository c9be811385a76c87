#pragma once

#include "core/ui/SessionDialog.h"
#include "people/cSelUser.h"

#include <QList>

class QLineEdit;
class QTextEdit;

namespace bx {

class Prompt;
class Session;

/**
 * Forwards a task: a recipient chosen with the recipient chooser and a note. OK without a
 * recipient shows "Please specify a recipient" and keeps the dialog open; after OK recipients()
 * and note() hold what the task object routes with (cSCR::Route_SCR).
 *
 * The session and the prompt must outlive the window.
 */
class FORWARD_FORM : public SessionDialog
{
    Q_OBJECT
public:
    FORWARD_FORM(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Takes the recipients as the chooser would hand them back and shows them in T_RECIPIENT. */
    void setRecipients(const QList<cSelUser>& recipients);
    const QList<cSelUser>& recipients() const { return m_recipients; }
    QString note() const;

private:
    void onChoose();
    void onOk();

    QList<cSelUser> m_recipients;
    QLineEdit* m_recipient;
    QTextEdit* m_note;
};

} // namespace bx
