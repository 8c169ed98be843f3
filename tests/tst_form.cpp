#include "FormFixture.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QTimer>

class TestForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FormFixture::setUpApplication(); }

    void startState()
    {
        FormFixture f(QDate(2003, 4, 28));
        TForm1 &w = *f.form;
        QCOMPARE(w.windowTitle(), QStringLiteral("カレンダー"));
        QCOMPARE(w.EditYear->text(), QStringLiteral("2003"));
        QCOMPARE(w.ComboMonth->currentIndex(), -1);
        QCOMPARE(w.ComboMonth->currentText(), QString());
        QCOMPARE(w.EditDate->text(), QStringLiteral("00"));
        QCOMPARE(w.RichEdit1->toPlainText(), QString());
        QCOMPARE(w.StartDate, QDate(2003, 4, 28));
        QCOMPARE(w.FileName, QByteArray());
        QCOMPARE(w.MonthCalendar1->selectedDate(), QDate(2003, 4, 28));
        QStringList items;
        for (int i = 0; i < w.ComboMonth->count(); ++i)
            items << w.ComboMonth->itemText(i);
        QCOMPARE(items, QStringList({"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"}));
        QCOMPARE(f.dialogs.size(), 0);
    }

    void stripLabels_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("week from Monday 28 April 2003")
            << QDate(2003, 4, 28)
            << QStringList{"ToDo", "月 4/28", "火 4/29", "水 4/30", "木 5/1", "金 5/2", "土 5/3", "日 5/4"};
        QTest::newRow("across a year end")
            << QDate(2003, 12, 29)
            << QStringList{"ToDo", "月 12/29", "火 12/30", "水 12/31", "木 1/1", "金 1/2", "土 1/3", "日 1/4"};
        QTest::newRow("across a leap day")
            << QDate(2004, 2, 27)
            << QStringList{"ToDo", "金 2/27", "土 2/28", "日 2/29", "月 3/1", "火 3/2", "水 3/3", "木 3/4"};
    }
    void stripLabels()
    {
        QFETCH(QDate, today);
        QFETCH(QStringList, labels);
        FormFixture f(today);
        QStringList got;
        for (int k = 0; k <= 7; ++k)
            got << f.form->SGToDo->horizontalHeaderItem(k)->text();
        QCOMPARE(got, labels);
    }

    // A day is marked when its own file, with its own year, holds at least one byte.
    void stripMarks()
    {
        FormFixture f(QDate(2003, 12, 29),
                      {{"20031231.txt", "a"},
                       {"20040101.txt", "\r\n"},
                       {"20040102.txt", ""},          // empty: no plan
                       {"20030101.txt", "x"},         // the same day a year before
                       {"20041229.txt", "x"},         // and a year after
                       {"2003122.txt", "x"}});        // a name View cannot make
        QCOMPARE(f.marks(), QStringLiteral("..○○..."));
        QCOMPARE(f.form->SGToDo->item(0, 0)->text(), QString());
        // The probe created nothing.
        QCOMPARE(FormFixture::files().size(), 6);
    }

    void windowAndControls()
    {
        FormFixture f(QDate(2003, 4, 28));
        TForm1 &w = *f.form;
        QCOMPARE(w.size(), QSize(518, 297));
        QCOMPARE(w.minimumSize(), QSize(518, 297));
        QCOMPARE(w.maximumSize(), QSize(518, 297));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);

        struct Control { QWidget *widget; QRect geometry; QString text; };
        const QList<Control> controls = {
            {w.Label1, {289, 92, 13, 13}, "年"},           {w.Label2, {400, 92, 13, 13}, "月"},
            {w.Label3, {464, 92, 13, 13}, "日"},           {w.MonthCalendar1, {24, 88, 162, 145}, {}},
            {w.SGToDo, {48, 0, 408, 49}, {}},              {w.EditYear, {248, 88, 33, 20}, {}},
            {w.ComboMonth, {324, 88, 65, 20}, {}},         {w.EditDate, {432, 88, 25, 20}, {}},
            {w.ButtonView, {324, 120, 65, 25}, "表示"},    {w.ButtonDel, {432, 120, 65, 25}, "削除"},
            {w.RichEdit1, {224, 152, 273, 81}, {}},        {w.ButtonRefresh, {324, 256, 65, 25}, "保存"},
            {w.Button5, {432, 256, 65, 25}, "終了"},
        };
        for (const Control &c : controls) {
            QCOMPARE(c.widget->geometry(), c.geometry);
            if (auto *button = qobject_cast<QAbstractButton *>(c.widget))
                QCOMPARE(button->text(), c.text);
            if (auto *label = qobject_cast<QLabel *>(c.widget))
                QCOMPARE(label->text(), c.text);
        }
        QCOMPARE(w.ButtonView->toolTip(), QStringLiteral("選択した日付の予定を表示します"));
        QCOMPARE(w.ButtonRefresh->toolTip(), QStringLiteral("予定の新規、上書き保存をします"));
        for (QWidget *noHint : {static_cast<QWidget *>(w.ButtonDel), static_cast<QWidget *>(w.Button5)})
            QCOMPARE(noHint->toolTip(), QString());
        QCOMPARE(w.EditYear->maxLength(), 4);
        QCOMPARE(w.EditDate->maxLength(), 2);

        // Tab order, and each input named by its label for screen readers.
        const QList<QWidget *> order = {w.MonthCalendar1, w.SGToDo,    w.EditYear,   w.ComboMonth,    w.EditDate,
                                        w.ButtonView,     w.ButtonDel, w.RichEdit1,  w.ButtonRefresh, w.Button5};
        for (qsizetype i = 0; i + 1 < order.size(); ++i) {
            QWidget *next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus || !order.contains(next))
                next = next->nextInFocusChain();
            QCOMPARE(next->objectName(), order[i + 1]->objectName());
        }
        QCOMPARE(w.Label1->buddy(), w.EditYear);
        QCOMPARE(w.Label2->buddy(), w.ComboMonth);
        QCOMPARE(w.Label3->buddy(), w.EditDate);

        // The strip: a fixed header row and one row of marks, 50 px columns, 25 px rows, no editing.
        QCOMPARE(w.SGToDo->columnCount(), 8);
        QCOMPARE(w.SGToDo->rowCount(), 1);
        QCOMPARE(w.SGToDo->horizontalHeader()->height(), 25);
        for (int k = 0; k < 8; ++k)
            QCOMPARE(w.SGToDo->columnWidth(k), 50);
        QCOMPARE(w.SGToDo->rowHeight(0), 25);
        QCOMPARE(w.SGToDo->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(w.SGToDo->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(w.SGToDo->showGrid());
        QCOMPARE(w.SGToDo->frameShape(), QFrame::NoFrame);

        QCOMPARE(w.TrayIcon1->Hide(), true);
        QCOMPARE(w.TrayIcon1->RestoreOn(), TTrayIcon::TTrayIconMessage::imDoubleClick);
        QCOMPARE(w.TrayIcon1->PopupMenuOn(), TTrayIcon::TTrayIconMessage::imNone);
        QVERIFY(w.TrayIcon1->Visible());
    }

    // With no notification area to restore it from, minimizing must not hide the window.
    void minimizeWithoutTrayKeepsWindow()
    {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("this desktop has a notification area");
        FormFixture f(QDate(2003, 4, 28));
        QVERIFY(!f.form->TrayIcon1->CanHideForm());
        f.form->showMinimized();
        QCoreApplication::processEvents();
        QVERIFY(f.form->isVisible());
    }

    void quitEndsTheEventLoop()
    {
        FormFixture f(QDate(2003, 4, 28));
        f.form->RichEdit1->setPlainText("unsaved"); // no question is asked
        QTimer::singleShot(0, f.form.get(), [&f] { f.click(f.form->Button5); });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(f.dialogs.size(), 0);
        QCOMPARE(FormFixture::files(), Files{});
    }

    // An exception escaping a handler is shown with its text; the program goes on.
    void exceptionBoundary()
    {
        Dialogs shown;
        ui::SetDialogSink([&shown](const ui::TShownDialog &d) { shown.append(d); });
        bool after = false;
        ui::Guard([] { throw std::runtime_error("変換できません"); });
        ui::Guard([] { throw 42; });
        ui::Guard([&after] { after = true; });
        ui::SetDialogSink(nullptr);
        QVERIFY(after);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].kind, ui::TShownDialog::Kind::Error);
        QCOMPARE(shown[0].text, QStringLiteral("変換できません"));
        QCOMPARE(shown[0].caption, QStringLiteral("カレンダー"));
        QCOMPARE(shown[1].kind, ui::TShownDialog::Kind::Error);
        QVERIFY(!shown[1].text.isEmpty());
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
