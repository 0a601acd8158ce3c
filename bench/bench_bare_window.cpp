// The floor of the start-up benchmark: a bare Qt main window of the same size, with a menu bar,
// a status bar and nothing else, shown as soon as the application object exists.
#include <QApplication>
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
    window.setStatusBar(new QStatusBar(&window));
    window.resize(457, 520);
    window.show();
    return QApplication::exec();
}
