#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("VARNEL-Wil编辑器 Ver3.1"));
    QLabel placeholder(QStringLiteral("VARNEL WIL EDITOR - NEW KOREAN TYPE"));
    placeholder.show();
    return app.exec();
}
