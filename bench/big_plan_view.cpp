// The big-plan figure: View of a large plan, from the click until the editor holds the text and has
// painted it, against the floor of the toolkit: the same text given once to setPlainText of a
// QPlainTextEdit of the same size and font, then painted the same way.
//
//   big-plan-view PLAN TEXT RUNS
//
// PLAN is a plan file named after its date (20030404.txt), viewed from its own directory; TEXT is the same
// plan as UTF-8 with LF line breaks, made by another decoder, which is what the floor is given and what the
// editor must hold after every View. Prints one line per run, "<View seconds> <floor seconds>", after one
// run of each that is not printed (it fills the caches both would otherwise pay for unevenly).

#include "Application.h"
#include "Unit1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "big-plan-view: %s\n", qPrintable(what));
    std::exit(1);
}

// Seconds until the editor has laid out and painted what it shows.
template <class Fn>
double timed(QPlainTextEdit *editor, Fn action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    editor->viewport()->repaint();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double viewOnce(const QByteArray &name, const QString &expected, QFont *font)
{
    TForm1 form;
    form.show();
    form.EditYear->setText(QString::fromLatin1(name.left(4)));
    form.ComboMonth->setCurrentIndex(name.mid(4, 2).toInt() - 1);
    form.EditDate->setText(QString::fromLatin1(name.mid(6, 2)));
    QApplication::processEvents();

    QStringList dialogs;
    ui::SetDialogSink([&dialogs](const ui::TShownDialog &dialog) { dialogs.append(dialog.text); });
    const double seconds = timed(form.RichEdit1, [&form] { form.ButtonViewClick(); });
    ui::SetDialogSink(nullptr);
    if (!dialogs.isEmpty())
        fail(QStringLiteral("View showed: ") + dialogs.join(u'/'));
    if (form.RichEdit1->toPlainText() != expected)
        fail(QStringLiteral("the editor does not hold the plan as the other decoder reads it"));
    *font = form.RichEdit1->font();
    return seconds;
}

double floorOnce(const QString &text, const QFont &font)
{
    QWidget window;
    window.setFixedSize(518, 297);
    QPlainTextEdit editor(&window);
    editor.setGeometry(224, 152, 273, 81);
    editor.setFont(font);
    window.show();
    QApplication::processEvents();
    return timed(&editor, [&] { editor.setPlainText(text); });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 4)
        fail(QStringLiteral("usage: big-plan-view PLAN TEXT RUNS"));
    const QFileInfo plan(QString::fromLocal8Bit(argv[1]));
    QFile textFile(QString::fromLocal8Bit(argv[2]));
    const int runs = std::atoi(argv[3]);
    if (!plan.exists() || !textFile.open(QIODevice::ReadOnly) || runs < 1)
        fail(QStringLiteral("usage: big-plan-view PLAN TEXT RUNS"));
    const QString text = QString::fromUtf8(textFile.readAll());
    const QByteArray name = plan.fileName().toLatin1();
    if (!QDir::setCurrent(plan.absolutePath()))
        fail(QStringLiteral("cannot enter the plan's directory"));
    ui::SetTitle(QStringLiteral("カレンダー"));

    QFont font;
    for (int run = 0; run <= runs; ++run) {
        // Alternate which goes first, so that neither always finds the other's garbage to clear.
        double view = 0;
        double floor = 0;
        if (run % 2 == 0) {
            view = viewOnce(name, text, &font);
            floor = floorOnce(text, font);
        } else {
            floor = floorOnce(text, font);
            view = viewOnce(name, text, &font);
        }
        if (run > 0)
            std::printf("%.6f %.6f\n", view, floor);
    }
    return 0;
}
