#pragma once

#include <QDialog>

class QLabel;

namespace bx {

/**
 * Tells that an e-mail could not be sent, without blocking the window behind it: "An e-mail error
 * has occurred: <error> Notification may not have been sent." with an OK button.
 */
class dlgMailError : public QDialog
{
    Q_OBJECT
public:
    explicit dlgMailError(QWidget* parent = nullptr);

    void setError(const QString& error);
    QString text() const;

    /**
     * Shows the error in the dialog of `parent` that is already open, or in a new one that goes
     * when closed; returns it.
     */
    static dlgMailError* showError(QWidget* parent, const QString& error);

private:
    QLabel* m_text;
};

} // namespace bx
