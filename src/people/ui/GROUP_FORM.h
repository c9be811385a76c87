#pragma once

#include "core/ui/SessionDialog.h"

class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * Renames a group (mode "OPEN", given its GROUP_ID) or adds one by name (mode "NEW"). Only the
 * name is written. A group that is gone is reported when the window is made; isLoaded() is then
 * false and the window should not be shown.
 */
class GROUP_FORM : public SessionDialog
{
    Q_OBJECT
public:
    GROUP_FORM(Session& session, Prompt& prompt, const QString& mode, qlonglong groupId = 0,
               QWidget* parent = nullptr);

    bool isLoaded() const { return m_loaded; }
    /** The group's GROUP_ID after OK (a new group's new number); 0 before. */
    qlonglong savedGroupId() const { return m_saved; }

private:
    void onOk();

    qlonglong m_groupId;
    qlonglong m_saved = 0;
    bool m_loaded = true;
    QLineEdit* m_txtName;
};

} // namespace bx
