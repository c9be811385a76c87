#pragma once

#include "core/Refusal.h"

#include <optional>

class QWidget;

namespace bx {

class Prompt;

/**
 * Shows a refusal the way every window does: the message through the prompt (an empty message is
 * not shown: whoever refused has said why), then the focus on `control` when there is one, its
 * tab page brought forward.
 */
void showRefusal(Prompt& prompt, const QString& message, QWidget* control = nullptr);

/**
 * Shows the refusal, if there is one, with the focus on the control `controlOf` names for its
 * field (nullptr for none). Returns whether there was a refusal, so that a slot can end on it.
 */
template <typename Field, typename ControlOf>
bool showRefusal(Prompt& prompt, const std::optional<RefusalOf<Field>>& refusal,
                 ControlOf&& controlOf)
{
    if (!refusal)
        return false;
    showRefusal(prompt, refusal->message, controlOf(refusal->field));
    return true;
}

/** The same for a refusal without a control to focus, or whose window keeps the focus. */
template <typename Field>
bool showRefusal(Prompt& prompt, const std::optional<RefusalOf<Field>>& refusal)
{
    if (!refusal)
        return false;
    showRefusal(prompt, refusal->message);
    return true;
}

} // namespace bx
