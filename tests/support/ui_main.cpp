#include "support/TestMain.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    return bx::test::runTests(
        argc, argv, [](int& c, char** v) { return std::make_unique<QApplication>(c, v); });
}
