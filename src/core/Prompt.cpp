#include "core/Prompt.h"

namespace bx {

void showTaskError(Prompt& prompt, const QString& description)
{
    prompt.inform(description.trimmed(), QStringLiteral("Budget Row Error"), PromptIcon::Critical);
}

} // namespace bx
