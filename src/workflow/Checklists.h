#pragma once

#include <QString>

namespace bx {

class Database;

/**
 * Looks for a mandatory checklist item that is not ticked on task `taskNumber`: for each checklist
 * attached to the task (ATTACH rows of type 'K', the checklist named by Attach_Filename), each
 * mandatory template item (CHECKLIST_ITEM with Attach_Number 0 and Mandatory non-zero) counts as
 * ticked when a filled row of the same name exists for that attachment.
 *
 * @return "" when every mandatory item is ticked; otherwise the message naming the first item
 *         found unticked: "Mandatory field '<item>' for CheckList '<checklist>' should be checked"
 * @throws DbError
 */
QString uncheckedMandatoryItem(Database& db, qlonglong taskNumber);

} // namespace bx
