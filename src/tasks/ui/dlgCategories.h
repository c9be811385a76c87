#pragma once

#include "tasks/ui/PickerDialog.h"

#include <QStringList>

#include <optional>

namespace bx {

class Prompt;
class Session;

/**
 * The folder picker: the folder tree of LU_CATEGORY, one folder to be selected, or several to be
 * ticked when the caller asks for several. The folder `current` is selected (ticked) at the
 * start. OK without a folder says "Please select a Folder." and stays open.
 */
class dlgCategories : public PickerOf<dlgCategories>
{
    Q_OBJECT
public:
    dlgCategories(Session& session, Prompt& prompt, bool several, QWidget* parent = nullptr,
                  const QString& current = {});

    /**
     * Shows the picker modally. @return the chosen folder (one entry) or the ticked ones, in tree
     * order; nullopt when closed without OK
     */
    static std::optional<QStringList> choose(Session& session, Prompt& prompt, bool several,
                                             QWidget* parent, const QString& current = {});
};

} // namespace bx
