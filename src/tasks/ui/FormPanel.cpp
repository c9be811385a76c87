#include "tasks/ui/FormPanel.h"

#include "core/ui/Named.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace bx {

QWidget* buildFieldPanel(const forms::FormCopy& copy, QList<QWidget*>& fields)
{
    auto* panel = named(new QWidget, "FieldPanel");
    QRect bounds(0, 0, 1, 1);
    for (const forms::FormField& f : copy.fields) {
        QWidget* w = nullptr;
        switch (f.type) {
        case forms::FieldType::Label:
            w = new QLabel(f.value);
            break;
        case forms::FieldType::Edit: {
            auto* edit = new QLineEdit(f.value);
            if (f.rightAlign)
                edit->setAlignment(Qt::AlignRight);
            w = edit;
            break;
        }
        case forms::FieldType::Combo: {
            auto* combo = new QComboBox;
            combo->setEditable(true);
            combo->setEditText(f.value);
            w = combo;
            break;
        }
        case forms::FieldType::Check: {
            auto* box = new QCheckBox(f.value);
            box->setChecked(f.checked);
            w = box;
            break;
        }
        }
        w->setObjectName(QStringLiteral("Field") + QString::number(f.key));
        w->setParent(panel);
        w->setGeometry(f.pixels);
        bounds = bounds.united(f.pixels);
        fields << w;
    }
    panel->resize(bounds.right() + 8, bounds.bottom() + 8);
    return panel;
}

} // namespace bx
