#pragma once

// A planner window on a chosen day, in a scratch directory, with its dialogs captured: driven by tests
// through its controls as a user would.

#include "Application.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QDir>
#include <QMap>
#include <QTest>

#include <memory>

using Files = QMap<QString, QByteArray>;
using Dialogs = QList<ui::TShownDialog>;

class FormFixture {
public:
    explicit FormFixture(QDate today, const Files &files = {})
    {
        for (auto it = files.begin(); it != files.end(); ++it)
            ScratchDir::write(it.key(), it.value());
        ui::SetDialogSink([this](const ui::TShownDialog &d) { dialogs.append(d); });
        form = std::make_unique<TForm1>(today);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    ~FormFixture()
    {
        form.reset();
        ui::SetDialogSink(nullptr);
    }
    // What the program's entry function sets before it creates the window.
    static void setUpApplication()
    {
        ui::SetTitle(QStringLiteral("カレンダー"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/calendar.png")));
    }

    FormFixture(const FormFixture &) = delete;
    FormFixture &operator=(const FormFixture &) = delete;

    void setInputs(const QString &year, int monthIndex, const QString &day)
    {
        form->EditYear->setText(year);
        form->ComboMonth->setCurrentIndex(monthIndex);
        form->EditDate->setText(day);
    }

    void click(QAbstractButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Clicks a cell of the strip's day row.
    void pickColumn(int column)
    {
        QTableWidget *grid = form->SGToDo;
        const QRect cell = grid->visualRect(grid->model()->index(0, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    // The texts of the strip's mark row, columns 1 to 7, "." for an empty cell.
    QString marks() const
    {
        QString row;
        for (int k = 1; k <= 7; ++k) {
            const QTableWidgetItem *item = form->SGToDo->item(0, k);
            row += (item && !item->text().isEmpty()) ? item->text() : QStringLiteral(".");
        }
        return row;
    }

    // The message texts shown so far, and forgets them.
    QStringList takeMessages()
    {
        QStringList texts;
        for (const ui::TShownDialog &d : dialogs)
            texts.append(d.text);
        dialogs.clear();
        return texts;
    }

    // Every file of the current directory with its bytes.
    static Files files()
    {
        Files all;
        for (const QString &name : QDir().entryList(QDir::Files | QDir::Hidden | QDir::System))
            all.insert(name, ScratchDir::read(name));
        return all;
    }

    ScratchDir dir;
    Dialogs dialogs;
    std::unique_ptr<TForm1> form;
};
