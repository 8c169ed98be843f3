#pragma once

#include "ui_Unit1.h"

#include <QByteArray>
#include <QDate>
#include <QWidget>

#include <optional>

class TTrayIcon;

// The planner's window: the controls of Unit1.ui (public, under their designer names), the week strip,
// and one handler per command.
class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT

public:
    // today is the first day of the week strip; the program passes the local date.
    explicit TForm1(QDate today = QDate::currentDate(), QWidget *parent = nullptr);
    ~TForm1() override;

    TTrayIcon *TrayIcon1;
    QDate StartDate;     // the strip's first day; never changes
    QByteArray FileName; // the plan file a View found empty, to be written by the next Save; else empty

    void ButtonViewClick();
    void OnRefreshClicked();
    void ButtonDelClick();
    void SGToDoSelectCell(int column, int row);
    void OnQuitClick();

    // The strip column (1 to 7) whose day's plan is the file name, if any.
    std::optional<int> StripColumnOfFile(const QByteArray &name) const;

private:
    void BuildStrip(QDate today);
    void RefreshStripMark(const QByteArray &name);
};

extern TForm1 *Form1;
