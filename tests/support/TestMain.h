#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace bx::test {

/**
 * Shared body of the two test mains. Defaults QT_QPA_PLATFORM to "offscreen" with one 1366x768
 * screen (plain "offscreen" gets that screen too), points the per-user data and settings folders
 * at a fresh temporary folder (so no test touches a real home), and creates the application object
 * only when tests are actually run: test discovery lists the tests without the environment the
 * tests run in, so listing must not start Qt.
 *
 * @param makeApp creates the QCoreApplication or QApplication; called with argc/argv.
 */
template <typename MakeApp> int runTests(int argc, char** argv, MakeApp makeApp);

bool isListingTests(int argc, char** argv);
void prepareTestEnvironment();
void finishTests();

template <typename MakeApp> int runTests(int argc, char** argv, MakeApp makeApp)
{
    ::testing::InitGoogleMock(&argc, argv);
    if (isListingTests(argc, argv))
        return RUN_ALL_TESTS();
    prepareTestEnvironment();
    auto app = makeApp(argc, argv);
    const int result = RUN_ALL_TESTS();
    finishTests();
    return result;
}

} // namespace bx::test
