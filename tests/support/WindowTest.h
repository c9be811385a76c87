#pragma once

#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QObject>
#include <QTemporaryDir>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace bx {
class Database;
} // namespace bx

namespace bx::test {

/** The control of that objectName inside `window`; fails the test when there is none. */
template <typename W> W* child(QObject& window, const QString& name)
{
    W* w = window.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
}

template <typename W> W* child(QObject& window, const char* name)
{
    return child<W>(window, QString::fromLatin1(name));
}

/**
 * What window tests start from: a new embedded database made as the creation wizard makes it
 * (template and every upgrade step), and a session on it signed in as "admin". A fixture adds its
 * own in arrange(), which runs only when that succeeded.
 */
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override;
    /** A test fixture's own set-up, run once the session is ready: override this, not SetUp(). */
    virtual void arrange() {}

    Database& db() { return session.db(); }

    /**
     * Makes a new embedded database at `path` as the creation wizard does; with `remember`, the
     * settings keep it as the database to open. The prompt is left without records.
     */
    void makeDatabase(const QString& path, bool remember);

    /** A task row owned and asked for by "admin", in the session's workshop; returns its number. */
    qlonglong addOwnTask(const QVariantMap& columns = {});

    /** Adds workshop `id` with "admin" as a member and makes it the session's workshop. */
    void enterWorkshop(qlonglong id, const QString& name = {});

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
    FixedClock clock;
    ScriptedPrompt prompt;
    Session session{settings, clock};
};

} // namespace bx::test
