#pragma once

#include "tasks/ui/PickerDialog.h"

#include <QStringList>

#include <optional>

namespace bx {

class Prompt;
class Session;

/**
 * The priority picker: the priorities of LU_PRIORITY in order, one to be selected, or several to
 * be ticked when the caller asks for several. OK without one says "Please select a priority." and
 * stays open.
 */
class dlgPriority : public PickerOf<dlgPriority>
{
    Q_OBJECT
public:
    dlgPriority(Session& session, Prompt& prompt, bool several, QWidget* parent = nullptr);

    /**
     * Shows the picker modally. @return the chosen priority (one entry) or the ticked ones;
     * nullopt when closed without OK
     */
    static std::optional<QStringList> choose(Session& session, Prompt& prompt, bool several,
                                             QWidget* parent);
};

} // namespace bx
