#include "support/TestMain.h"

#include <QCoreApplication>

#include <memory>

int main(int argc, char** argv)
{
    return bx::test::runTests(
        argc, argv, [](int& c, char** v) { return std::make_unique<QCoreApplication>(c, v); });
}
