#pragma once

#include "tasks/ui/AttachmentDialog.h"

#include <functional>

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
class ATTFILE final : public AttachmentDialog
{
    Q_OBJECT
public:
    /** Asks for a file, starting in `folder`; "" when none was chosen. */
    using FileChooser = std::function<QString(const QString& folder)>;

    ATTFILE(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    /** "Browse...": asks for the file and shows it with its note. */
    void chooseFile();

private:
    void showNote();
    void onOk() override;

    FileChooser m_chooseFile;
    QLineEdit* m_file;
    QLabel* m_note;
};

} // namespace bx
