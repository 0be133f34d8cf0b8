#include "platform/message_box.h"

#include <windows.h>

namespace bu::platform {

int showMessageBox(const std::wstring& caption, const std::wstring& text, BoxButtons buttons,
                   BoxIcon icon) {
  UINT flags = MB_TOPMOST | MB_SETFOREGROUND;
  flags |= buttons == BoxButtons::YesNo ? MB_YESNO : MB_OK;
  if (icon == BoxIcon::Information) flags |= MB_ICONINFORMATION;
  if (icon == BoxIcon::Error) flags |= MB_ICONERROR;
  const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
  return answer > 0 ? answer : kBoxFailed;
}

}  // namespace bu::platform
