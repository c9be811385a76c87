#include "workflow/CloseOutChoice.h"

#include <array>

namespace bx {

QString closeOutAction(const QString& response)
{
    // The panel answers in upper case where CloseOut records mixed case ("Cancel", "LCEnd");
    // the stored route action must read as the workflow writes it everywhere else.
    static const std::array<QString, 6> kActions{
        QStringLiteral("YES"),         QStringLiteral("NO"),     QStringLiteral("Jump"),
        QStringLiteral("CONDITIONAL"), QStringLiteral("Cancel"), QStringLiteral("LCEnd"),
    };
    const QString word = response.trimmed();
    for (const QString& action : kActions) {
        if (word.compare(action, Qt::CaseInsensitive) == 0)
            return action;
    }
    return word;
}

std::optional<CloseOutChoice> closeOutChoice(const QString& response, int jumpStage,
                                             const QString& comment)
{
    if (response.trimmed().isEmpty())
        return std::nullopt;
    CloseOutChoice choice;
    choice.action = closeOutAction(response);
    choice.step = choice.action == u"Jump" ? jumpStage : 0;
    choice.note = comment;
    return choice;
}

} // namespace bx
