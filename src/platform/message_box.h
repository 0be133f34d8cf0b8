// Modal message boxes without an owner window, topmost and in front.
#pragma once

#include <string>

namespace bu::platform {

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Information, Error };

// Answers, with the values the Windows message box returns.
constexpr int kBoxFailed = 0;
constexpr int kBoxOk = 1;
constexpr int kBoxYes = 6;
constexpr int kBoxNo = 7;

// Shows the box and blocks until it is answered; kBoxFailed when it cannot
// be shown.
int showMessageBox(const std::wstring& caption, const std::wstring& text, BoxButtons buttons,
                   BoxIcon icon);

}  // namespace bu::platform
