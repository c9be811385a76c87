#pragma once

#include "core/ui/SessionDialog.h"

class QLineEdit;

namespace bx {

class Prompt;
class Session;

/** The change of the logged-on user's password: the new password typed twice. */
class NEWPW : public SessionDialog
{
    Q_OBJECT
public:
    NEWPW(Session& session, Prompt& prompt, QWidget* parent = nullptr);

private:
    void onOk();

    QLineEdit* m_new;
    QLineEdit* m_retyped;
};

} // namespace bx
