#pragma once

#include <QString>

#include <memory>

class QLocalServer;

namespace bx {

/**
 * Keeps a second copy of the program from starting for the same user on the same display. The
 * first copy holds a local socket named after the user and the display; a later copy finds it
 * answering and gives way. A socket left behind by a copy that crashed does not answer and is
 * taken over.
 *
 * The socket lives in a folder only its user may enter: $XDG_RUNTIME_DIR when that is such a
 * folder, otherwise "brindlepax-<uid>" in the temporary folder, made with mode 0700. A folder of
 * that name that belongs to someone else or is open to others is never used; the next name
 * ("brindlepax-<uid>.1", ...) is, made afresh, the same way by every copy so that they still
 * meet.
 */
class SingleInstance
{
public:
    /** @param key distinguishes programs (and tests); the user and display are added to it */
    explicit SingleInstance(const QString& key = QStringLiteral("brindlepax"));
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /**
     * Claims the name; false when another running copy holds it, or when no private folder for
     * the socket can be found or made.
     */
    bool claim();

    /** The socket name used: key, user id and display. */
    const QString& name() const { return m_name; }

    /** The full path of the socket, once claim() has chosen its folder; "" before. */
    const QString& socketPath() const { return m_path; }

private:
    QString m_name;
    QString m_path;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace bx
