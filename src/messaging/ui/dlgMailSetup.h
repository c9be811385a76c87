#pragma once

#include "core/ui/SessionDialog.h"

class QCheckBox;
class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * The personal mail settings window: whether the user's own SMTP and POP settings replace those
 * of the database, and those settings (PersonalMailSettings). OK stores them and closes with
 * Accepted; the caller then reloads the session's system settings. A refusal is shown through the
 * prompt and leaves the window open. Cancel stores nothing.
 */
class dlgMailSetup : public SessionDialog
{
    Q_OBJECT
public:
    dlgMailSetup(Session& session, Prompt& prompt, QWidget* parent = nullptr);

private:
    void onOk();
    void applyOwn(bool own);

    QCheckBox* m_own;
    QLineEdit* m_smtp;
    QLineEdit* m_pop;
    QCheckBox* m_auth;
    QCheckBox* m_leave;
    QLineEdit* m_user;
    QLineEdit* m_password;
};

} // namespace bx
