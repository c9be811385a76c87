#pragma once

#include <QDialog>

namespace bx {

class Prompt;
class Session;

/**
 * The start panel of workshops: join an existing workshop (needs the Join_Team right) or create a
 * workshop of one's own. Emits workshopReady() with the joined or created workshop and closes.
 */
class jtWizard : public QDialog
{
    Q_OBJECT
public:
    jtWizard(Session& session, Prompt& prompt, QWidget* parent = nullptr);

signals:
    void workshopReady(qlonglong groupId);

private:
    void onJoin();
    void onCreate();

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
