#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brindlepax"));
    QTextStream(stderr) << QStringLiteral("Brindlepax: no database is chosen yet.\n");
    return 0;
}
