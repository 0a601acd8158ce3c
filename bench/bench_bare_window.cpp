// The floor of the start-up benchmark: a bare Qt main window of the same size, with a menu bar,
// a list as its central widget and a status bar, shown as soon as the application object exists.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(u"bare window"_s);
    window.menuBar()->addMenu(u"&Menu"_s);
    window.setCentralWidget(new QListWidget(&window));
    window.setStatusBar(new QStatusBar(&window));
    window.resize(457, 520);
    window.show();
    return QApplication::exec();
}
