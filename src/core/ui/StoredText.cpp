#include "core/ui/StoredText.h"

#include "core/StoredTextDocument.h"

#include <QLabel>
#include <QTextBrowser>
#include <QTextEdit>

namespace bx {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QString plainToolTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space: pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

void useStoredTextDocument(QTextEdit& view)
{
    auto* document = new StoredTextDocument(&view);
    document->setDefaultFont(view.font());
    view.setDocument(document);
    if (auto* browser = qobject_cast<QTextBrowser*>(&view)) {
        browser->setSearchPaths({});
        browser->setOpenLinks(false);
        browser->setOpenExternalLinks(false);
    }
}

} // namespace bx
