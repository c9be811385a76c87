#pragma once

#include <functional>

class QDialog;
class QDialogButtonBox;

namespace bx {

/** The object names of a dialog's OK and Cancel buttons; a null name leaves the button unnamed. */
struct ButtonNames
{
    const char* ok = "cmdOK";
    const char* cancel = "cmdCancel";
};

/** The names most of the user and database windows give their buttons. */
inline constexpr ButtonNames kOkButtonNames{"OKButton", "CancelButton"};

/**
 * The OK and Cancel buttons of `dialog`, named: OK runs `onOk` (the dialog's accept() when
 * empty), Cancel rejects the dialog. The caller places the box in its layout.
 */
QDialogButtonBox* okCancelButtons(QDialog* dialog, std::function<void()> onOk,
                                  ButtonNames names = {});

/** The same, OK running the dialog's own member `onOk`. */
template <typename D, typename R>
QDialogButtonBox* okCancelButtons(D* dialog, R (D::*onOk)(), ButtonNames names = {})
{
    return okCancelButtons(dialog, std::function<void()>([dialog, onOk] { (dialog->*onOk)(); }),
                           names);
}

} // namespace bx
