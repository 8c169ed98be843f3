#pragma once

// The controls as the form's handlers use them: texts as CP932 byte strings, a combo box whose missing
// selection is index -1 with the empty text, an editor made of lines, and a grid addressed by (column, row)
// whose row 0 is the fixed header.

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace ui {

// What the user typed, in CP932. A character CP932 lacks comes out as a byte that no file name accepts.
QByteArray TextOf(const QLineEdit *edit);

// The text of item index, the empty text for -1 (no selection).
QByteArray ItemText(const QComboBox *combo, int index);

// An empty editor has no lines.
int LineCount(const QPlainTextEdit *editor);

// The editor's lines in CP932, or nullopt when one holds a character that cannot be stored as it is: one
// CP932 lacks, or a control character that would change the plan when it is read back (NUL, CR, SUB).
std::optional<QList<QByteArray>> LinesOf(const QPlainTextEdit *editor);

// Collects the lines of one load and adds them to the editor in one step: line by line, a large plan
// would take quadratic time.
class TLineBatch {
public:
    std::function<void(QByteArrayView)> Collector();
    void AppendTo(QPlainTextEdit *editor) const;

private:
    QByteArray bytes_;
    bool any_ = false;
};

void SetCell(QTableWidget *grid, int column, int row, const QString &text);
QString Cell(const QTableWidget *grid, int column, int row);

} // namespace ui
