#pragma once

#include "core/Refusal.h"

#include <initializer_list>
#include <optional>
#include <type_traits>
#include <utility>

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

/** A window's controls by the field of its refusals. */
template <typename Field>
using ControlsByField = std::initializer_list<std::pair<std::type_identity_t<Field>, QWidget*>>;

/** The control `controls` pairs with `field`; `otherwise` for a field they do not name. */
template <typename Field>
QWidget* controlFor(Field field, ControlsByField<Field> controls, QWidget* otherwise = nullptr)
{
    for (const auto& [f, control] : controls)
        if (f == field)
            return control;
    return otherwise;
}

/**
 * Shows the refusal, if there is one, with the focus on the control `controls` pairs with its
 * field (`otherwise` for a field they do not name). Returns whether there was a refusal.
 */
template <typename Field>
bool showRefusal(Prompt& prompt, const std::optional<RefusalOf<Field>>& refusal,
                 ControlsByField<Field> controls, QWidget* otherwise = nullptr)
{
    if (!refusal)
        return false;
    showRefusal(prompt, refusal->message, controlFor(refusal->field, controls, otherwise));
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
