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
 */
class SingleInstance
{
public:
    /** @param key distinguishes programs (and tests); the user and display are added to it */
    explicit SingleInstance(const QString& key = QStringLiteral("brindlepax"));
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /** Claims the name; false when another running copy holds it. */
    bool claim();

    /** The socket name used: key, user id and display. */
    const QString& name() const { return m_name; }

private:
    QString m_name;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace bx
