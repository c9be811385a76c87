#pragma once

#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QTemporaryDir>

namespace bx::test {

/**
 * A fresh database of the current schema on the engine of the parameter, without users or
 * workshops; a fixture adds its own in arrange().
 */
class CurrentSchemaTest : public EngineTest
{
protected:
    void prepare() override;
};

/**
 * A fresh database of the current schema, as CurrentSchemaTest gives it, and a session on a
 * connection of its own signed in as "ann", with a fixed clock and a scripted prompt; a fixture
 * adds its own in arrange().
 */
class SessionTest : public CurrentSchemaTest
{
protected:
    void prepare() override;
    void TearDown() override;

    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.filePath(QStringLiteral("MRBX.conf"))};
    FixedClock clock;
    ScriptedPrompt prompt;
    Session session{settings, clock};
};

} // namespace bx::test
