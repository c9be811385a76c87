#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/**
 * The printable listing of the team tree: fixed-width text, one line per node, for printing and
 * PDF export of the current view (PPRINT). Pure text; the printer side lives in
 * mainwindow/ui/ViewPrinter.
 */
namespace bx {

class Clock;
class RecordSet;
class TeamTree;
struct TreeNode;

/** A column of the listing: its header and its width in characters (separating blank included). */
struct ListingColumn
{
    QString header;
    int width;
};

/** The eight columns, in order: name, owner, start, date in, viewed, due, request, status. */
const QList<ListingColumn>& listingColumns();

/**
 * The listing of the tree as it stands: `title` (the view's caption), an empty line, the header
 * line, then one line per node in tree order from the workshop down (the invisible root is not
 * listed). The name column is indented two blanks per level below the workshop. Task lines also
 * fill Owner (SCR_Owner_User_ID), Start Date (SCR_StartDate), Date In (SCR_Owner_Date_In), Viewed
 * (SCR_Owner_Date_Viewed), Due (SCR_Owner_Target_Date), Request (SCR_Request_Date) and Status
 * (the word of SCR_Status).
 *
 * Every column is padded to its width, and text longer than the column is cut so that it keeps
 * one blank before the next column: every line but the title has the same length and the same
 * column offsets. Dates are stored in GMT and shown as the local day (yyyy-MM-dd) by `clock`.
 *
 * @param tasks the rows the tree's tasks were placed from (the team view's read, with the
 *        columns of taskListColumns()); a task is found by SCR_Number. A task not among them, and
 *        any column the rows lack, is listed blank.
 */
QStringList viewListing(const TeamTree& tree, const RecordSet& tasks, const Clock& clock,
                        const QString& title);

/** The same for the nodes below `root` (root itself is not listed). */
QStringList viewListing(const TreeNode& root, const RecordSet& tasks, const Clock& clock,
                        const QString& title);

} // namespace bx
