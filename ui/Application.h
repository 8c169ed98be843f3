#pragma once

// Dialogs and the exception boundary, as the form's handlers use them. Every dialog goes through here,
// so that tests can capture them instead of blocking on them.

#include <QString>

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace ui {

void SetTitle(const QString &title);
QString Title();

// Modal, one OK button, captioned with the application title.
void ShowMessage(const QString &text);

// Modal, OK only, the given caption and no owner window.
void SystemMessageBox(const QString &text, const QString &caption);

// An error the program did not expect, with its text.
void ShowException(const std::exception &error);

struct TShownDialog {
    enum class Kind { Message, SystemBox, Error };
    Kind kind;
    QString caption;
    QString text;
};

// While set, dialogs are handed to the sink instead of being shown. For tests only.
void SetDialogSink(std::function<void(const TShownDialog &)> sink);

// Runs one event handler. An exception must never reach Qt's event loop: one that escapes the handler is
// shown with its text, and the window stays open.
void Guard(const std::function<void()> &handler) noexcept;

// Wraps a handler for QObject::connect. A handler that takes nothing ignores what the signal passes.
template <class Fn>
auto Handler(Fn fn)
{
    return [fn = std::move(fn)](auto &&...args) {
        Guard([&] {
            if constexpr (std::is_invocable_v<const Fn &, decltype(args)...>)
                fn(std::forward<decltype(args)>(args)...);
            else
                fn();
        });
    };
}

} // namespace ui
