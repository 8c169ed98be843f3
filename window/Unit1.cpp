#include "Unit1.h"

#include "Application.h"
#include "Controls.h"
#include "PlanFiles.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QHeaderView>

TForm1 *Form1 = nullptr;

namespace {

const QString Mark = QStringLiteral("○");

// Indexed by day of the week, Sunday 1 to Saturday 7.
const QString DayNames[8] = {{}, "日", "月", "火", "水", "木", "金", "土"};

int DayOfWeek(QDate date)
{
    return date.dayOfWeek() % 7 + 1; // Qt counts Monday 1 to Sunday 7
}

QString DayLabel(QDate date)
{
    return DayNames[DayOfWeek(date)] + u' ' + QString::number(date.month()) + u'/' + QString::number(date.day());
}

QString TwoDigits(int n)
{
    return QString::number(n).rightJustified(2, u'0');
}

// The only form of day text from which View can name a file: two bytes, not "00".
bool IsDayText(const QByteArray &day)
{
    return day.size() == 2 && day != "00";
}

// Asks for the Windows fonts first, then for the Japanese fonts Linux desktops ship, so that Japanese text
// never falls back to a font without kana and kanji.
QFont JapaneseFont(const QStringList &families, int pixelSize)
{
    QFont font;
    font.setFamilies(families + QStringList{"IPAPGothic", "IPAGothic", "Noto Sans CJK JP"});
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace

TForm1::TForm1(QDate today, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setupUi(this);
    setFixedSize(518, 297);
    setFont(JapaneseFont({QStringLiteral("ＭＳ Ｐゴシック")}, 12));
    const QFont labelFont = JapaneseFont({QStringLiteral("ＭＳ ゴシック")}, 13);
    for (QLabel *label : {Label1, Label2, Label3})
        label->setFont(labelFont);
    MonthCalendar1->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Japanese month and weekday names, one kanji each, fit the small calendar; weeks start on Sunday,
    // and Saturdays are blue as on Japanese calendars.
    MonthCalendar1->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    QTextCharFormat saturday = MonthCalendar1->weekdayTextFormat(Qt::Saturday);
    saturday.setForeground(QColor(0x1f, 0x4f, 0xc8));
    MonthCalendar1->setWeekdayTextFormat(Qt::Saturday, saturday);

    SGToDo->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    SGToDo->horizontalHeader()->setSectionsClickable(false);
    SGToDo->horizontalHeader()->setFixedHeight(25);
    // Day labels such as "水 12/31" need the whole 50 pixels of their column, and a pixel less of font
    // than the Windows font's: the Linux Japanese fonts have wider digits.
    SGToDo->horizontalHeader()->setStyleSheet(QStringLiteral("QHeaderView::section { padding: 0px; }"));
    QFont headerFont = SGToDo->horizontalHeader()->font();
    headerFont.setPixelSize(11);
    SGToDo->horizontalHeader()->setFont(headerFont);
    SGToDo->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QPalette stripColours = SGToDo->palette();
    stripColours.setColor(QPalette::Base, stripColours.color(QPalette::HighlightedText));
    SGToDo->setPalette(stripColours);

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->SetHide(true);
    TrayIcon1->SetRestoreOn(TTrayIcon::TTrayIconMessage::imDoubleClick);
    TrayIcon1->SetPopupMenuOn(TTrayIcon::TTrayIconMessage::imNone);
    TrayIcon1->SetVisible(true);

    BuildStrip(today);
    // The strip starts on its header column, as a grid with one fixed row does, without loading anything
    // and without showing a selection the user did not make.
    SGToDo->setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);

    connect(ButtonView, &QPushButton::clicked, this, ui::Handler([this] { ButtonViewClick(); }));
    connect(ButtonRefresh, &QPushButton::clicked, this, ui::Handler([this] { OnRefreshClicked(); }));
    connect(ButtonDel, &QPushButton::clicked, this, ui::Handler([this] { ButtonDelClick(); }));
    connect(Button5, &QPushButton::clicked, this, ui::Handler([this] { OnQuitClick(); }));
    connect(SGToDo, &QTableWidget::currentCellChanged, this,
            ui::Handler([this](int row, int column, int, int) { SGToDoSelectCell(column, row + 1); }));
}

TForm1::~TForm1() = default;

void TForm1::BuildStrip(QDate today)
{
    for (int month = 1; month <= 12; ++month)
        ComboMonth->addItem(TwoDigits(month));
    ComboMonth->setCurrentIndex(-1);

    StartDate = today;
    EditYear->setText(QString::number(StartDate.year()));

    ui::SetCell(SGToDo, 0, 0, QStringLiteral("ToDo"));
    for (int k = 1; k <= 7; ++k) {
        const QDate day = StartDate.addDays(k - 1);
        ui::SetCell(SGToDo, k, 0, DayLabel(day));
        ui::SetCell(SGToDo, k, 1, PlanHasText(PlanFileName(day)) ? Mark : QString());
    }
    ui::SetCell(SGToDo, 0, 1, QString());

    MonthCalendar1->setSelectedDate(StartDate);
    FileName.clear();
}

std::optional<int> TForm1::StripColumnOfFile(const QByteArray &name) const
{
    for (int k = 1; k <= 7; ++k) {
        if (PlanFileName(StartDate.addDays(k - 1)) == name)
            return k;
    }
    return std::nullopt;
}

// After a file was written or removed, its day's mark tells again whether it holds a plan.
void TForm1::RefreshStripMark(const QByteArray &name)
{
    if (const std::optional<int> column = StripColumnOfFile(name))
        ui::SetCell(SGToDo, *column, 1, PlanHasText(name) ? Mark : QString());
}

void TForm1::ButtonViewClick()
{
    const QByteArray year = ui::TextOf(EditYear);
    const int month = ComboMonth->currentIndex();
    const QByteArray day = ui::TextOf(EditDate);
    const QByteArray name = InputFileName(year, ui::ItemText(ComboMonth, month), day);

    // A refused View leaves no name pending: Save would store the plan where View cannot find it.
    FileName.clear();
    if (month < 0) {
        ui::ShowMessage("月を選択してください");
        ComboMonth->setFocus();
        return;
    }
    if (!IsDayText(day)) {
        ui::ShowMessage("入力した日が間違っています");
        EditDate->setFocus();
        return;
    }
    FileName = name;

    ui::TLineBatch lines;
    switch (LoadPlanLines(name, lines.Collector())) {
    case TLoadResult::CannotOpen:
        ui::ShowMessage("開けません");
        RichEdit1->clear();
        return;
    case TLoadResult::Empty:
        ui::ShowMessage("予定が登録されていません");
        RichEdit1->clear();
        return;
    case TLoadResult::Loaded:
        lines.AppendTo(RichEdit1);
        FileName.clear();
        return;
    }
}

void TForm1::OnRefreshClicked()
{
    if (ui::LineCount(RichEdit1) == 0) {
        ui::ShowMessage("予定を入力してください");
        return;
    }
    const std::optional<QList<QByteArray>> lines = ui::LinesOf(RichEdit1);
    if (!lines) {
        ui::ShowMessage("保存できない文字が含まれています");
        return;
    }

    if (FileName.isEmpty()) {
        const int month = ComboMonth->currentIndex();
        const QByteArray year = ui::TextOf(EditYear);
        const QByteArray day = ui::TextOf(EditDate);
        // Refused here, a name is not kept: a plan stored under it could never be viewed again.
        if (month < 0) {
            ui::ShowMessage("月を入力してください");
            return;
        }
        if (!IsDayText(day)) {
            ui::ShowMessage("入力した日が間違っています");
            EditDate->setFocus();
            return;
        }
        FileName = InputFileName(year, ui::ItemText(ComboMonth, month), day);
    }

    switch (StorePlanLines(FileName, *lines)) {
    case TStoreResult::CannotOpen:
        ui::ShowMessage("開けません");
        return;
    case TStoreResult::WriteFailed:
        ui::ShowMessage("保存できません");
        return;
    case TStoreResult::Stored:
        break;
    }
    const QByteArray written = FileName;
    RichEdit1->clear();
    FileName.clear();
    RefreshStripMark(written);
}

void TForm1::ButtonDelClick()
{
    const QByteArray year = ui::TextOf(EditYear);
    const int month = ComboMonth->currentIndex();
    const QByteArray day = ui::TextOf(EditDate);
    const QByteArray name = InputFileName(year, ui::ItemText(ComboMonth, month), day);

    if (month < 0) {
        ui::ShowMessage("月が選択されていません");
        ComboMonth->setFocus();
        return;
    }
    if (!RemovePlanFile(name)) {
        ui::ShowMessage("削除できません");
        return;
    }
    RichEdit1->clear();
    RefreshStripMark(name);
    FileName.clear();
}

void TForm1::SGToDoSelectCell(int column, int /*row*/)
{
    const QDate date = StartDate.addDays(column - 1);
    if (column == 0) {
        ui::SystemMessageBox("選択できません", "エラー");
        return;
    }
    const QByteArray name = PlanFileName(date);
    EditYear->setText(QString::number(date.year()));
    ComboMonth->setCurrentIndex(date.month() - 1);
    EditDate->setText(TwoDigits(date.day()));
    RichEdit1->clear();

    ui::TLineBatch lines;
    switch (LoadPlanLines(name, lines.Collector())) {
    case TLoadResult::CannotOpen:
        ui::ShowMessage("開けません");
        return;
    case TLoadResult::Empty:
        ui::ShowMessage("予定が登録されていません");
        RichEdit1->clear();
        return;
    case TLoadResult::Loaded:
        lines.AppendTo(RichEdit1);
        return;
    }
}

void TForm1::OnQuitClick()
{
    QApplication::quit();
}
