// The desktop program's entry.
#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label("Brellin");
    label.show();
    return app.exec();
}
