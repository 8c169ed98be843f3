#include "Controls.h"

#include "Cp932.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>

namespace ui {

QByteArray TextOf(const QLineEdit *edit)
{
    return Cp932::encodeMarkingInvalid(edit->text());
}

QByteArray ItemText(const QComboBox *combo, int index)
{
    if (index < 0 || index >= combo->count())
        return {};
    return Cp932::encodeMarkingInvalid(combo->itemText(index));
}

int LineCount(const QPlainTextEdit *editor)
{
    return editor->document()->isEmpty() ? 0 : editor->document()->blockCount();
}

std::optional<QList<QByteArray>> LinesOf(const QPlainTextEdit *editor)
{
    QList<QByteArray> lines;
    if (editor->document()->isEmpty())
        return lines;
    // toPlainText turns paragraph and line separators into "\n" and no-break spaces into spaces.
    const QString text = editor->toPlainText();
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (line.contains(u'\0') || line.contains(u'\r') || line.contains(u'\x1A'))
            return std::nullopt;
        std::optional<QByteArray> bytes = Cp932::encode(line);
        if (!bytes)
            return std::nullopt;
        lines.append(std::move(*bytes));
    }
    return lines;
}

std::function<void(QByteArrayView)> TLineBatch::Collector()
{
    return [this](QByteArrayView line) {
        if (any_)
            bytes_.append('\n');
        bytes_.append(line);
        any_ = true;
    };
}

void TLineBatch::AppendTo(QPlainTextEdit *editor) const
{
    if (!any_)
        return;
    const QString text = Cp932::decode(bytes_);
    if (editor->document()->isEmpty())
        editor->setPlainText(text);
    else
        editor->appendPlainText(text);
}

// Row 0 is the grid's fixed header row: Qt's horizontal header plays it, so it can be neither selected
// nor edited. Row 1 is the table's only row.
void SetCell(QTableWidget *grid, int column, int row, const QString &text)
{
    if (row == 0) {
        QTableWidgetItem *item = grid->horizontalHeaderItem(column);
        if (!item) {
            item = new QTableWidgetItem;
            grid->setHorizontalHeaderItem(column, item);
        }
        item->setText(text);
        return;
    }
    QTableWidgetItem *item = grid->item(row - 1, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setItem(row - 1, column, item);
    }
    item->setText(text);
}

QString Cell(const QTableWidget *grid, int column, int row)
{
    const QTableWidgetItem *item = row == 0 ? grid->horizontalHeaderItem(column) : grid->item(row - 1, column);
    return item ? item->text() : QString();
}

} // namespace ui
