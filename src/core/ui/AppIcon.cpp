#include "core/ui/AppIcon.h"

namespace bx {

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/brindlepax-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace bx
