#include "core/ui/ShowRefusal.h"

#include "core/Prompt.h"

#include <QTabWidget>
#include <QWidget>

namespace bx {

void showRefusal(Prompt& prompt, const QString& message, QWidget* control)
{
    if (!message.isEmpty())
        prompt.inform(message);
    if (!control)
        return;
    // A control on a tab page that is not shown brings its page forward first.
    for (QWidget* page = control; page->parentWidget(); page = page->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget())) {
            if (const int index = tabs->indexOf(page); index >= 0)
                tabs->setCurrentIndex(index);
        }
    }
    control->setFocus();
}

} // namespace bx
