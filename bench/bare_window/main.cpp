// The references of the start-up benchmark: a Qt Widgets program that shows one
// empty window, says so on one line, and ends; built once bare and once with the
// browser engine linked in.
#include <QApplication>
#include <cstdio>
#include <QTimer>
#include <QWidget>
#ifdef WITH_BROWSER_ENGINE
#include <QWebEngineView>
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1024, 700);
    window.show();
#ifdef WITH_BROWSER_ENGINE
    // Linked and loaded, never made (as in the program until a browser window opens).
    if (argc > 99) new QWebEngineView(&window);
#endif
    std::printf("shown\n");
    std::fflush(stdout);
    QTimer::singleShot(0, &app, &QApplication::quit);
    return QApplication::exec();
}
