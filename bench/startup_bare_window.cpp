// The yardstick of bench_startup: a bare Qt 6 window, nothing in it but its title, of the
// configurator's size (9600 x 5700 twips), so the two differ only by what the configurator does.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Qt");
    window.setFixedSize(640, 380);
    window.show();
    return app.exec();
}
