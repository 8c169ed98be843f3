#pragma once

// The icon in the notification area that accompanies the form. With Hide set, minimizing the form hides
// it to the icon, and the RestoreOn action on the icon brings it back. Where the desktop has no
// notification area the form is never hidden, since nothing could bring it back.

#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

class TTrayIcon : public QObject {
    Q_OBJECT

public:
    enum class TTrayIconMessage { imNone, imClick, imDoubleClick, imMiddleClick };

    explicit TTrayIcon(QWidget *form);

    void SetVisible(bool visible);
    void SetHide(bool hide) { hide_ = hide; }
    void SetRestoreOn(TTrayIconMessage action) { restoreOn_ = action; }
    // Only imNone is supported: the icon has no popup menu.
    void SetPopupMenuOn(TTrayIconMessage action) { popupMenuOn_ = action; }

    bool Visible() const { return icon_.isVisible(); }
    bool Hide() const { return hide_; }
    TTrayIconMessage RestoreOn() const { return restoreOn_; }
    TTrayIconMessage PopupMenuOn() const { return popupMenuOn_; }

    // Whether minimizing can hide the form now: Hide is set and there is an icon to restore it from.
    bool CanHideForm() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void RestoreForm();

    QWidget *form_;
    QSystemTrayIcon icon_;
    bool hide_ = false;
    TTrayIconMessage restoreOn_ = TTrayIconMessage::imDoubleClick;
    TTrayIconMessage popupMenuOn_ = TTrayIconMessage::imNone;
};
