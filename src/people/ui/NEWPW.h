#pragma once

#include <QDialog>

class QLineEdit;

namespace bx {

class Prompt;
class Session;

/** The change of the logged-on user's password: the new password typed twice. */
class NEWPW : public QDialog
{
    Q_OBJECT
public:
    NEWPW(Session& session, Prompt& prompt, QWidget* parent = nullptr);

private:
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    QLineEdit* m_new;
    QLineEdit* m_retyped;
};

} // namespace bx
