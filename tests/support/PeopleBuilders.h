#pragma once

#include "core/PasswordCipher.h"
#include "core/StoredPassword.h"
#include "core/db/DbError.h"
#include "core/db/PgDatabase.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>

namespace bx::test {

/** A hash of "old pw" made with 8 MiB and one pass, far below today's limits. */
inline const QString kCheapHash =
    StoredPassword::kHashPrefix +
    QStringLiteral("$argon2id$v=19$m=8192,t=1,p=1$RCRJsvO4dYHhn/"
                   "ABkFy/cQ$dkpU5hepa1aQgn0dgdWCuBLrtVfTZ79rn7ZBF2mLS9E");

/**
 * Whether the login role `role` of the test cluster logs on to the process database with the
 * enciphered form of a typed password; any failure but a refused log-on fails the test.
 */
inline bool roleAccepts(const QString& role, const QString& typed)
{
    PgConnectParams p = *testCluster();
    p.database = processDatabase();
    p.user = role;
    p.password = PasswordCipher::loginPassword(typed);
    try {
        PgDatabase::connect(p);
        return true;
    } catch (const DbError& e) {
        EXPECT_EQ(e.kind(), DbErrorKind::LoginFailed) << e.text().toStdString();
        return false;
    }
}

} // namespace bx::test
