#pragma once

#include "core/ui/SessionDialog.h"
#include "mainwindow/ListOptions.h"

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace bx {

class Prompt;
class Session;

/**
 * The task list options: the columns of the task list, the font and colour of each kind of tree
 * node, the task poll interval, and named profiles of the whole set. OK stores the set shown
 * as the one in use; choosing a profile only shows it until OK.
 */
class DlgTaskListOptions : public SessionDialog
{
    Q_OBJECT
public:
    DlgTaskListOptions(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~DlgTaskListOptions() override;

    /** The set as the controls show it now. */
    ListOptionsSet shownSet() const;

private:
    /** The font of each kind of node: its controls and the sample. */
    QWidget* buildFontBox();
    void connectFontControls();
    void showSet(const ListOptionsSet& set);
    void showFont();
    void changeFont(const std::function<void(NodeFont&)>& change);
    void onProfile();
    void onSaveProfile();
    void onColour();
    void onOk();
    void fillProfiles(const QString& select);

    std::unique_ptr<ListOptions> m_options;
    ListOptionsSet m_set;
    int m_node = 0;
    bool m_filling = false;
    QColor m_customColour;

    QListWidget* m_lstFields;
    QComboBox* m_cboNode;
    QFontComboBox* m_cboFontName;
    QSpinBox* m_spnFontSize;
    QCheckBox* m_chkBold;
    QCheckBox* m_chkItalic;
    QCheckBox* m_chkUnderline;
    QComboBox* m_cboColor;
    QLabel* m_lblSample;
    QComboBox* m_cboProfile;
    QPushButton* m_cmdSaveProfile;
    QSpinBox* m_spnCheckTasks;
};

} // namespace bx
