#pragma once

#include <QString>

namespace bx::pivot {

/** How an analysis is shown, apart from its grid: its title and what the viewer lets users do. */
struct Presentation
{
    QString title;
    bool showTitle = true;
    /** 0 left, 1 centred, 2 right. */
    int titleAlign = 0;
    /** Dimensions may be moved between the row and column areas, and the grid built again. */
    bool allowPivot = true;
    /** Users may choose the members shown. */
    bool allowFilter = true;
};

} // namespace bx::pivot
