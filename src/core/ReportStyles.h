#pragma once

#include <QString>

namespace bx::html {

/**
 * The style sheet of the program's generated pages (route history, time-sheet report): the
 * classes BXHeaderFont, BXNormalFont, BXTableHeaderFont, BXSumFont and the coloured normal fonts.
 */
inline constexpr char kStyles[] = R"(<style type="text/css">
.BXNormalFont { font-family: "Courier New"; font-size: 10pt; color: black; }
.BXHeaderFont { font-family: "Courier New"; font-size: 14pt; font-weight: bold; color: black; }
.BXNormaBLUEFont { font-family: "Courier New"; font-size: 10pt; color: blue; }
.BXNormaREDFont { font-family: "Courier New"; font-size: 10pt; color: red; }
.BXNormaGREENFont { font-family: "Courier New"; font-size: 10pt; color: green; }
.BXTableHeaderFont { font-family: "Courier New"; font-size: 10pt; font-weight: bold; color: black; }
.BXSumFont { font-family: "Courier New"; font-size: 12pt; color: black; }
</style>
)";

/** A table cell of class `cls` holding `text` escaped; an empty one a blank, so that its border
 * is drawn. */
inline QString cell(const QString& cls, const QString& text)
{
    return QStringLiteral("<td class=\"") + cls + QStringLiteral("\">") +
           (text.isEmpty() ? QStringLiteral("&nbsp;") : text.toHtmlEscaped()) +
           QStringLiteral("</td>");
}

} // namespace bx::html
