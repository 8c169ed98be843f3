#include "TrayIcon.h"

#include "Application.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

TTrayIcon::TTrayIcon(QWidget *form) : QObject(form), form_(form)
{
    icon_.setIcon(form->windowIcon());
    icon_.setToolTip(ui::Title());
    connect(&icon_, &QSystemTrayIcon::activated, this,
            ui::Handler([this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); }));
    form_->installEventFilter(this);
}

void TTrayIcon::SetVisible(bool visible)
{
    icon_.setVisible(visible);
}

bool TTrayIcon::CanHideForm() const
{
    return hide_ && icon_.isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool TTrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == form_ && event->type() == QEvent::WindowStateChange && form_->isMinimized() && CanHideForm()) {
        // Hiding from inside the state change confuses some window managers; do it once the event is done.
        QMetaObject::invokeMethod(form_, &QWidget::hide, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason)
{
    const bool restore = (reason == QSystemTrayIcon::DoubleClick && restoreOn_ == TTrayIconMessage::imDoubleClick)
        || (reason == QSystemTrayIcon::Trigger && restoreOn_ == TTrayIconMessage::imClick)
        || (reason == QSystemTrayIcon::MiddleClick && restoreOn_ == TTrayIconMessage::imMiddleClick);
    if (restore)
        RestoreForm();
}

void TTrayIcon::RestoreForm()
{
    form_->showNormal();
    form_->raise();
    form_->activateWindow();
}
