#pragma once

#include <QString>

#include <optional>

namespace bx {

enum class PromptIcon
{
    None,
    Information,
    Warning,
    Critical,
    Question
};

enum class PromptButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    RetryCancel
};

enum class PromptAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
    Retry
};

/** The question of every window closed or moved on over edits it has not saved. */
inline const QString kSaveChanges = QStringLiteral("Do you want to save changes?");

/**
 * Every message box, question and one-line input of the program goes through this interface, so
 * that windows show real dialogs (MessageBoxPrompt) and tests answer from a script
 * (ScriptedPrompt). Texts and titles are passed exactly as the user is to read them.
 */
class Prompt
{
public:
    virtual ~Prompt() = default;

    /** A message with an OK button. */
    virtual void inform(const QString& text, const QString& title = {},
                        PromptIcon icon = PromptIcon::None) = 0;

    /** A question; returns the button the user chose (Cancel or No when the box is closed). */
    virtual PromptAnswer ask(const QString& text, const QString& title = {},
                             PromptButtons buttons = PromptButtons::YesNo,
                             PromptIcon icon = PromptIcon::Question) = 0;

    /** One line of input; std::nullopt when the user cancels. */
    virtual std::optional<QString> input(const QString& text, const QString& title = {},
                                         const QString& defaultValue = {}) = 0;
};

/**
 * Shows an error raised by the task object: its description, trimmed, in a critical box titled
 * "Budget Row Error".
 */
void showTaskError(Prompt& prompt, const QString& description);

} // namespace bx
