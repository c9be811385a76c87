#pragma once

#include "core/ui/SessionDialog.h"
#include "people/cSelUser.h"

#include <QList>

#include <memory>

class QComboBox;
class QLabel;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

class Prompt;
class RecipientChooser;
class Session;

/**
 * The recipient chooser of routing: users of a workshop (ticked), the workshop itself, or one of
 * its lifecycles. The echo line shows what OK will hand back; recipients() holds it after OK
 * (see RecipientChooser for the rules).
 */
class dlgChooseUser : public SessionDialog
{
    Q_OBJECT
public:
    dlgChooseUser(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~dlgChooseUser() override;

    /** The chosen recipients after OK; empty before. */
    const QList<cSelUser>& recipients() const { return m_recipients; }

private:
    void onWorkshop();
    void onMode();
    void onUserChanged(QTreeWidgetItem* item);
    void onLifecycle(QTreeWidgetItem* item);
    void showEcho();
    void onOk();

    std::unique_ptr<RecipientChooser> m_chooser;
    QList<cSelUser> m_recipients;
    QRadioButton* m_optW;
    QRadioButton* m_optL;
    QComboBox* m_cmbRecType;
    QTreeWidget* m_lvUsers;
    QTreeWidget* m_lvLifecycles;
    QLabel* m_lblEcho;
    bool m_filling = false;
};

} // namespace bx
