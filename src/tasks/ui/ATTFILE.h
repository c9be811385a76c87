#pragma once

#include "tasks/PendingAttachment.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * "Add File": the file to attach, its title and whether it is published, handed back as a
 * pending file attachment ("F") for the caller's shared add. The file dialog starts in the folder
 * remembered under AttachFile/InitDir in the per-user settings and remembers the chosen one.
 */
class ATTFILE final : public QDialog
{
    Q_OBJECT
public:
    /** Asks for a file, starting in `folder`; "" when none was chosen. */
    using FileChooser = std::function<QString(const QString& folder)>;

    ATTFILE(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    /** "Browse...": asks for the file and shows it with its note. */
    void chooseFile();

    /** After OK: what the shared add is to store. */
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

    static inline const QString kSection = QStringLiteral("AttachFile");
    static inline const QString kKey = QStringLiteral("InitDir");

private:
    void showNote();
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    FileChooser m_chooseFile;
    std::optional<PendingAttachment> m_pending;
    QLineEdit* m_file;
    QLineEdit* m_title;
    QLabel* m_note;
    QCheckBox* m_publish;
};

} // namespace bx
