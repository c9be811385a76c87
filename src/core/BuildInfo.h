#pragma once

#include <QString>

namespace bx::BuildInfo {

/** The program's version. CMakeLists.txt reads these two lines for the project and the package. */
inline constexpr int kMajor = 9;
inline constexpr int kMinor = 0;

/** The version as text, "7.9". */
inline QString versionText()
{
    return QString::number(kMajor) + QLatin1Char('.') + QString::number(kMinor);
}

/** What `--version` prints: "Brindlepax 7.9". */
inline QString versionLine()
{
    return QStringLiteral("Brindlepax ") + versionText();
}

/**
 * The program's build number: major, minor and "0" written one after the other and read as a
 * whole number (7.9 gives 790). A database stamped with a smaller number is out of date.
 */
inline int buildNumber()
{
    return (QString::number(kMajor) + QString::number(kMinor) + QLatin1Char('0')).toInt();
}

/** How a database's build compares with the program's. */
enum class BuildState
{
    Current,
    DatabaseOlder,
    ProgramOlder
};

/**
 * Compares a database's build number with the program's. A database without a build number (0)
 * is never out of date.
 */
inline BuildState compareBuilds(int databaseBuild, int programBuild = buildNumber())
{
    if (databaseBuild == 0 || databaseBuild == programBuild)
        return BuildState::Current;
    return programBuild > databaseBuild ? BuildState::DatabaseOlder : BuildState::ProgramOlder;
}

} // namespace bx::BuildInfo
