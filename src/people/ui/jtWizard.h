#pragma once

#include "core/ui/SessionDialog.h"

namespace bx {

class Prompt;
class Session;

/**
 * The start panel of workshops: join an existing workshop (needs the Join_Team right) or create a
 * workshop of one's own. Emits workshopReady() with the joined or created workshop and closes.
 */
class jtWizard : public SessionDialog
{
    Q_OBJECT
public:
    jtWizard(Session& session, Prompt& prompt, QWidget* parent = nullptr);

signals:
    void workshopReady(qlonglong groupId);

private:
    void onJoin();
    void onCreate();
};

} // namespace bx
