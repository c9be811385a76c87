#pragma once

#include "core/settings/SystemSettings.h"
#include "core/ui/SessionDialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The system settings window: edits the SYSTEM row (tabs "General" and "Additional"), the shared
 * server login of the current server database, and the search tables (tab "Search").
 *
 * OK saves through SystemSettingsEditor and closes with Accepted; the window does not reload the
 * session's system settings, so the caller does that after an Accepted result. Cancel closes
 * without writing. The search tables are saved by their own Save button.
 *
 * The session's database must be open for the window's whole life. Every message goes through
 * the prompt; a database error is reported there too and leaves the window open.
 */
class F_SYSTEM : public SessionDialog
{
    Q_OBJECT
public:
    F_SYSTEM(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~F_SYSTEM() override;

private:
    QWidget* buildGeneralTab();
    QWidget* buildAdditionalTab();
    QWidget* buildSearchTab();
    void loadSettings();
    void onOk();
    void stepStorage(int delta);

    void fillPluginTables();
    void onTableChosen(const QString& table);
    void showTable(const QString& table);
    void onAdd();
    void onRemove();
    /** Saves the shown table's search fields; false (after the message) when refused or failed. */
    bool saveSearch();

    SystemSettingsEditor editor();

    SystemSettingsInput m_loaded; ///< as stored; keeps the values no control edits
    QTabWidget* m_tabs;

    QLineEdit* m_text1;
    QLineEdit* m_text2;
    QLineEdit* m_text5;
    QCheckBox* m_check6;
    QCheckBox* m_chbSubtaskPar;
    QCheckBox* m_chbWinLogin;
    QCheckBox* m_check3;
    QCheckBox* m_check2;
    QLineEdit* m_text3;
    QCheckBox* m_check1;
    QCheckBox* m_check4;
    QCheckBox* m_check7;
    QLineEdit* m_edtLogin;
    QLineEdit* m_edtPwd;

    QLineEdit* m_text6;
    QLineEdit* m_text10;
    QCheckBox* m_chkSmtpPlain;
    QCheckBox* m_chkPopPlain;
    QCheckBox* m_chkAuth;
    QCheckBox* m_chkLeave;
    QLineEdit* m_text7;
    QLineEdit* m_text8;
    QLineEdit* m_txtVoipIP;

    QListWidget* m_lstTables;
    QListWidget* m_lstFields;
    QListWidget* m_lstSearchFields;
    QComboBox* m_cboSCRField;
    QString m_shownTable;       ///< the table whose fields the lists show
    bool m_searchDirty = false; ///< the lists changed since they were loaded or saved
};

} // namespace bx
