#include "Application.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    try {
        ui::SetTitle(QStringLiteral("カレンダー"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/calendar.png")));
        TForm1 form;
        Form1 = &form;
        form.show();
        QApplication::exec();
        Form1 = nullptr;
    } catch (const std::exception &error) {
        Form1 = nullptr;
        ui::ShowException(error);
    }
    return 0;
}
