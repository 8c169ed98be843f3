#include "Application.h"

#include <QApplication>
#include <QMessageBox>

#include <stdexcept>

namespace {

std::function<void(const ui::TShownDialog &)> &sink()
{
    static std::function<void(const ui::TShownDialog &)> s;
    return s;
}

void show(ui::TShownDialog::Kind kind, const QString &caption, const QString &text, QWidget *owner)
{
    if (sink()) {
        sink()({kind, caption, text});
        return;
    }
    const QMessageBox::Icon icon = kind == ui::TShownDialog::Kind::Error ? QMessageBox::Critical : QMessageBox::NoIcon;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

namespace ui {

// Kept here rather than as Qt's application display name, which Qt would append to every other window
// title: the system message box must be captioned "エラー" alone.
QString &title()
{
    static QString t;
    return t;
}

void SetTitle(const QString &text)
{
    title() = text;
}

QString Title()
{
    return title();
}

void ShowMessage(const QString &text)
{
    show(TShownDialog::Kind::Message, Title(), text, QApplication::activeWindow());
}

void SystemMessageBox(const QString &text, const QString &caption)
{
    show(TShownDialog::Kind::SystemBox, caption, text, nullptr);
}

void ShowException(const std::exception &error)
{
    show(TShownDialog::Kind::Error, Title(), QString::fromLocal8Bit(error.what()), QApplication::activeWindow());
}

void SetDialogSink(std::function<void(const TShownDialog &)> s)
{
    sink() = std::move(s);
}

void Guard(const std::function<void()> &handler) noexcept
{
    try {
        try {
            handler();
        } catch (const std::exception &error) {
            ShowException(error);
        } catch (...) {
            ShowException(std::runtime_error("予期しないエラーが発生しました"));
        }
    } catch (...) {
        // Showing the error failed too (out of memory): there is nothing left to tell the user with.
    }
}

} // namespace ui
