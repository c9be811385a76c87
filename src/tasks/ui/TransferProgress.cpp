#include "tasks/ui/TransferProgress.h"

#include "core/ui/Named.h"
#include "tasks/AttachmentTransfer.h"

#include <QApplication>
#include <QProgressDialog>

namespace bx {

TransferProgress::TransferProgress(QWidget* parent, const QString& label)
    : m_dialog(named(new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1, parent),
                     "TransferProgress"))
{
    m_dialog->setWindowTitle(QStringLiteral("Brindlepax"));
    // Modal to its window: the editor takes no other command while the transfer runs.
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setMinimumDuration(400);
    m_dialog->setValue(0);
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

TransferProgress::~TransferProgress()
{
    QApplication::restoreOverrideCursor();
    delete m_dialog.data();
}

BlobProgress TransferProgress::callback()
{
    return [this](qint64 done, qint64 total) {
        if (!m_dialog)
            return;
        // One step per piece, as many as the content has pieces.
        const qint64 pieces = total / Database::kBlobPiece + 1;
        const int maximum = int(std::min<qint64>(pieces, std::numeric_limits<int>::max()));
        if (m_dialog->maximum() != maximum)
            m_dialog->setMaximum(maximum);
        m_dialog->setValue(int(std::min<qint64>(done / Database::kBlobPiece, maximum)));
        QCoreApplication::processEvents();
        if (m_dialog->wasCanceled())
            throw attachments::TransferCancelled();
    };
}

} // namespace bx
