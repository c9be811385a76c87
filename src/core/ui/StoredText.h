#pragma once

#include <QString>

class QLabel;
class QTextEdit;
class QWidget;

/**
 * Showing text that comes from the database: task titles, names, comments, mail, file names and
 * messages that quote them. Such text is shown as it is written, never as markup: a title
 * "<b>x</b><img src=...>" shows those characters, and a rich-text view of a comment loads nothing.
 */
namespace bx {

/** A label that shows its text literally (QLabel would render text that looks like HTML). */
QLabel* plainLabel(const QString& text = {}, QWidget* parent = nullptr);

/**
 * The tool tip that shows `text` literally: Qt renders a tool tip as rich text when it looks like
 * HTML, so such a text is escaped inside a paragraph; any other text is returned unchanged.
 */
QString plainToolTip(const QString& text);

/**
 * Gives `view` a StoredTextDocument, so that whatever HTML it shows or is pasted into it loads no
 * file and no network resource; a QTextBrowser also gets no search paths and follows no link
 * itself (its anchorClicked signal still reports a click). Call it before the view shows text.
 */
void useStoredTextDocument(QTextEdit& view);

/** `useStoredTextDocument` on a new view, returning it. */
template <typename View> View* withStoredTextDocument(View* view)
{
    useStoredTextDocument(*view);
    return view;
}

} // namespace bx
