#pragma once

#include "core/Prompt.h"

#include <QStringList>

#include <functional>

namespace bx::test {

/**
 * A Prompt that answers every question with Yes after running `whileAsked`, as if another client
 * acted while the question was open. Records every text it is shown or asked.
 */
class ActingPrompt final : public Prompt
{
public:
    void inform(const QString& text, const QString&, PromptIcon) override { shown << text; }
    PromptAnswer ask(const QString& text, const QString&, PromptButtons, PromptIcon) override
    {
        shown << text;
        if (whileAsked)
            whileAsked();
        return PromptAnswer::Yes;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }

    std::function<void()> whileAsked;
    QStringList shown;
};

} // namespace bx::test
