#pragma once

#include <QString>
#include <QStringList>

class QPagedPaintDevice;
class QWidget;

namespace bx {

class Prompt;

/**
 * Prints the fixed-width listing of the current view (see mainwindow/ViewListing.h) to a print
 * preview, a printer or a PDF file. Every route draws through render().
 */
class ViewPrinter
{
public:
    /** Shows the print preview of the lines (modal). */
    static void preview(const QStringList& lines, QWidget* parent);
    /** Asks for a printer and prints; false when the user cancels or printing fails. */
    static bool print(const QStringList& lines, QWidget* parent);
    /**
     * Writes the lines to a PDF file at `path`, without any dialog. On failure returns false and,
     * when `error` is given, puts the reason there.
     */
    static bool exportPdf(const QStringList& lines, const QString& path, QString* error);

    /**
     * Draws the lines top to bottom in the listing font (monospaced even when "Courier New" is
     * missing), sized so that the longest line fits the page width, breaking pages between
     * lines. False when the device cannot be painted on.
     */
    static bool render(const QStringList& lines, QPagedPaintDevice& device);

    /**
     * Offers "Print Preview", "Print" and "PDF" in a menu at the cursor and runs the choice; PDF
     * asks for the file and reports a failure through `prompt`. False when nothing was done.
     */
    static bool chooseAndRun(const QStringList& lines, QWidget* parent, Prompt& prompt);
};

} // namespace bx
