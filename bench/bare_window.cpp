// The floor of the start-up and memory figures: Qt Widgets showing one empty top-level window, as large as
// the planner's, so that both put the same number of pixels on the screen for their first frame.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(518, 297);
    window.show();
    return QApplication::exec();
}
