#pragma once

#include "core/db/Database.h"

#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

namespace bx {

/**
 * The progress window of one attachment transfer. callback() drives it from the transfer's
 * progress, keeps the program responsive between pieces and, after Cancel, throws
 * attachments::TransferCancelled so that the transfer undoes what it wrote. The window closes
 * when the object goes, whatever way the transfer ended.
 */
class TransferProgress final
{
public:
    TransferProgress(QWidget* parent, const QString& label);
    ~TransferProgress();
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    BlobProgress callback();

private:
    QPointer<QProgressDialog> m_dialog;
};

} // namespace bx
