// Answers a message box shown by another program in the same Wine prefix, and
// reports what the box looked like.
//
//   boxhelper.exe [--caption <text>] --answer ok|yes|no|cancel|default
//                 [--timeout-ms N]
//
// It waits (polling) for a visible top-level dialog of class "#32770" whose
// caption equals <text> exactly (UTF-16 comparison; without --caption the
// first such dialog found), reads it, clicks the requested button and prints
// one JSON line in UTF-8 on stdout:
//
//   {"caption": "...", "text": "...", "buttons": "Yes/No", "icon": "question"}
//
// "buttons" lists the buttons left to right ("OK", "OK/Cancel", "Yes/No",
// "Yes/No/Cancel", ...). "icon" is one of none, information, error, warning,
// question, user, unknown. "text" is the text of the static control 0xFFFF
// exactly as read back: no line-break conversion is done.
//
// Exit codes: 0 answered; 1 no such box within the timeout (the captions of
// all "#32770" dialogs are listed on stderr); 2 bad usage; 3 the box has no
// such button or did not close after the click.
//
// How the icon is found: the icon control (id 1088) holds the handle the
// box's own process got from LoadIcon(NULL, IDI_...). Icon handles are per
// process (the shared-icon cache lives in each process, and GetIconInfo on a
// foreign icon fails with ERROR_INVALID_CURSOR_HANDLE), so comparing that
// handle with our own LoadIcon results never matches. Instead the helper reads
// the box's MSGBOXPARAMSW out of the other process: MessageBoxW builds one on
// its stack and it stays there while the box is up. The structure is found by
// its size field, by its caption and text pointers leading to the very
// strings the dialog shows, and by its button type matching the buttons on
// screen; its dwStyle gives the icon. When no such structure is found (or
// several disagree), an empty icon control still means "none", anything else
// "unknown". A 32-bit helper cannot read above 4 GB of a 64-bit process: use
// the helper of the program's own architecture.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kTextControlId = 0xFFFF;
constexpr int kIconControlId = 1088;
constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 3000;

struct Options {
  bool anyCaption = true;
  std::wstring caption;
  int answer = -1;  // a button id, or 0 for the default button
  DWORD timeoutMs = 20000;
};

struct ButtonName {
  int id;
  const char* name;
};

constexpr ButtonName kButtons[] = {
    {IDOK, "OK"},       {IDCANCEL, "Cancel"},     {IDABORT, "Abort"},
    {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"},     {IDYES, "Yes"},
    {IDNO, "No"},       {IDHELP, "Help"},         {IDTRYAGAIN, "Try Again"},
    {IDCONTINUE, "Continue"},
};

struct Answer {
  const wchar_t* word;
  int id;
};

constexpr Answer kAnswers[] = {
    {L"ok", IDOK},         {L"yes", IDYES},     {L"no", IDNO},
    {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
    {L"ignore", IDIGNORE}, {L"default", 0},
};

void writeOut(HANDLE h, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string toUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &out[0], n,
                      nullptr, nullptr);
  return out;
}

std::string jsonString(const std::wstring& w) {
  std::wstring esc = L"\"";
  for (wchar_t c : w) {
    switch (c) {
      case L'"': esc += L"\\\""; break;
      case L'\\': esc += L"\\\\"; break;
      case L'\n': esc += L"\\n"; break;
      case L'\r': esc += L"\\r"; break;
      case L'\t': esc += L"\\t"; break;
      case L'\b': esc += L"\\b"; break;
      case L'\f': esc += L"\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          wchar_t buf[8];
          std::swprintf(buf, 8, L"\\u%04X", static_cast<unsigned>(c));
          esc += buf;
        } else {
          esc += c;
        }
    }
  }
  esc += L'"';
  return toUtf8(esc);
}

std::wstring className(HWND h) {
  wchar_t buf[64] = {};
  GetClassNameW(h, buf, 64);
  return buf;
}

// GetWindowTextW on another process's window reads the stored title without
// sending a message, so it never blocks.
std::wstring windowTitle(HWND h) {
  const int n = GetWindowTextLengthW(h);
  std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
  s.resize(static_cast<std::size_t>(GetWindowTextW(h, &s[0], n + 1)));
  return s;
}

// A control's text, asked for by message so that static controls of another
// process answer with their real text.
std::wstring controlText(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
    return {};
  std::wstring s(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&s[0]),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
    return {};
  s.resize(std::min<std::size_t>(got, len));
  return s;
}

struct Search {
  const Options* options = nullptr;
  HWND found = nullptr;
  std::vector<std::wstring> seen;  // every "#32770" caption, for the timeout report
};

BOOL CALLBACK onTopLevel(HWND h, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (className(h) != L"#32770") return TRUE;
  const std::wstring title = windowTitle(h);
  search->seen.push_back(title + (IsWindowVisible(h) ? L"" : L" (hidden)"));
  // A message box becomes visible only after its dialog procedure has set
  // the text, removed the unused buttons and chosen the icon.
  if (!IsWindowVisible(h)) return TRUE;
  if (!search->options->anyCaption && title != search->options->caption) return TRUE;
  search->found = h;
  return FALSE;
}

struct Button {
  int id;
  LONG left;
  bool isDefault;
  HWND hwnd;
};

BOOL CALLBACK onChild(HWND h, LPARAM param) {
  auto* buttons = reinterpret_cast<std::vector<Button>*>(param);
  if (className(h) != L"Button" || !IsWindowVisible(h)) return TRUE;
  RECT r{};
  GetWindowRect(h, &r);
  const bool isDefault = (GetWindowLongW(h, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
  buttons->push_back({GetDlgCtrlID(h), r.left, isDefault, h});
  return TRUE;
}

std::vector<Button> buttonsOf(HWND dialog) {
  std::vector<Button> buttons;
  EnumChildWindows(dialog, onChild, reinterpret_cast<LPARAM>(&buttons));
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const Button& a, const Button& b) { return a.left < b.left; });
  return buttons;
}

std::string buttonName(int id) {
  for (const auto& b : kButtons)
    if (b.id == id) return b.name;
  return "#" + std::to_string(id);
}

// --- Reading the box's MSGBOXPARAMSW from its process ------------------------

struct Remote {
  HANDLE process;
  bool read(std::uint64_t address, void* out, std::size_t size) const {
    if (address == 0 || address > UINTPTR_MAX) return false;
    SIZE_T got = 0;
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                             out, size, &got) &&
           got == size;
  }
  // True when a NUL-terminated UTF-16 string equal to `expected` is at `address`.
  bool stringAt(std::uint64_t address, const std::wstring& expected) const {
    std::vector<wchar_t> buf(expected.size() + 1);
    if (!read(address, buf.data(), buf.size() * sizeof(wchar_t))) return false;
    return buf.back() == L'\0' && std::wstring(buf.data(), expected.size()) == expected;
  }
};

template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// MSGBOXPARAMSW as laid out by a 32-bit or a 64-bit process.
struct Layout {
  std::size_t pointer, size, text, caption, style;
};
constexpr Layout kLayout32{4, 40, 12, 16, 20};
constexpr Layout kLayout64{8, 80, 24, 32, 40};
constexpr DWORD kKnownStyleBits = 0x003FFFFF;  // MB_* flags end below 0x00400000

// The buttons a message box style asks for, sorted by id.
std::vector<int> buttonsOfStyle(DWORD style) {
  std::vector<int> ids;
  switch (style & MB_TYPEMASK) {
    case MB_OK: ids = {IDOK}; break;
    case MB_OKCANCEL: ids = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: ids = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: ids = {IDCANCEL, IDYES, IDNO}; break;
    case MB_YESNO: ids = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: ids = {IDCANCEL, IDRETRY}; break;
    case MB_CANCELTRYCONTINUE: ids = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
    default: break;
  }
  if (style & MB_HELP) ids.push_back(IDHELP);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The dwStyle of every MSGBOXPARAMSW in the process's private read-write
// memory (stacks, heaps) whose caption and text pointers lead to `caption`
// and `text`.
std::vector<DWORD> findStyles(const Remote& remote, const Layout& layout,
                              const std::wstring& caption, const std::wstring& text) {
  const auto ptr = [&](const unsigned char* p) -> std::uint64_t {
    return layout.pointer == 4 ? load<std::uint32_t>(p) : load<std::uint64_t>(p);
  };
  std::vector<DWORD> styles;
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  auto address = reinterpret_cast<uintptr_t>(si.lpMinimumApplicationAddress);
  const auto end = reinterpret_cast<uintptr_t>(si.lpMaximumApplicationAddress);
  std::vector<unsigned char> buf;
  MEMORY_BASIC_INFORMATION mbi;
  while (address < end &&
         VirtualQueryEx(remote.process, reinterpret_cast<LPCVOID>(address), &mbi, sizeof mbi)) {
    const auto base = reinterpret_cast<uintptr_t>(mbi.BaseAddress);
    const uintptr_t next = base + mbi.RegionSize;
    if (next <= address) break;
    address = next;
    if (mbi.State != MEM_COMMIT || mbi.Type != MEM_PRIVATE || mbi.Protect != PAGE_READWRITE ||
        mbi.RegionSize > (64u << 20))
      continue;
    buf.resize(mbi.RegionSize);
    SIZE_T got = 0;
    if (!ReadProcessMemory(remote.process, mbi.BaseAddress, buf.data(), buf.size(), &got))
      continue;
    for (std::size_t off = 0; off + layout.size <= got; off += layout.pointer) {
      const unsigned char* p = buf.data() + off;
      if (load<std::uint32_t>(p) != layout.size) continue;
      const DWORD style = load<std::uint32_t>(p + layout.style);
      if (style & ~kKnownStyleBits) continue;
      const std::uint64_t textPtr = ptr(p + layout.text);
      const std::uint64_t captionPtr = ptr(p + layout.caption);
      if (textPtr && captionPtr && remote.stringAt(captionPtr, caption) &&
          remote.stringAt(textPtr, text))
        styles.push_back(style);
    }
  }
  return styles;
}

std::string iconName(HWND dialog, const std::wstring& caption, const std::wstring& text,
                     const std::vector<Button>& buttons) {
  std::vector<int> shown;
  for (const auto& b : buttons) shown.push_back(b.id);
  std::sort(shown.begin(), shown.end());

  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  std::vector<DWORD> styles;
  if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)) {
    BOOL targetWow = FALSE, selfWow = FALSE;
    IsWow64Process(process, &targetWow);
    IsWow64Process(GetCurrentProcess(), &selfWow);
    const bool target32 = targetWow || (sizeof(void*) == 4 && !selfWow);
    styles = findStyles(Remote{process}, target32 ? kLayout32 : kLayout64, caption, text);
    CloseHandle(process);
  }
  // A structure left over from an earlier box with the same strings may still
  // sit in dead stack memory: keep those that fit the buttons on screen, and
  // trust the icon only when they all agree.
  styles.erase(std::remove_if(styles.begin(), styles.end(),
                              [&](DWORD s) { return buttonsOfStyle(s) != shown; }),
               styles.end());
  const bool agree =
      !styles.empty() && std::all_of(styles.begin(), styles.end(), [&](DWORD s) {
        return (s & MB_ICONMASK) == (styles.front() & MB_ICONMASK);
      });
  if (agree) {
    switch (styles.front() & MB_ICONMASK) {
      case 0: return "none";
      case MB_ICONHAND: return "error";
      case MB_ICONQUESTION: return "question";
      case MB_ICONEXCLAMATION: return "warning";
      case MB_ICONASTERISK: return "information";
      case MB_USERICON: return "user";
      default: return "unknown";
    }
  }
  DWORD_PTR icon = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, kIconControlId), STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &icon);
  return icon ? "unknown" : "none";
}

// ------------------------------------------------------------------------------

bool parseArgs(int argc, wchar_t** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring v = argv[++i];
    if (a == L"--caption") {
      o->anyCaption = false;
      o->caption = v;
    } else if (a == L"--answer") {
      for (const auto& ans : kAnswers)
        if (v == ans.word) o->answer = ans.id;
      if (o->answer < 0) return false;
    } else if (a == L"--timeout-ms") {
      wchar_t* endp = nullptr;
      const unsigned long ms = std::wcstoul(v.c_str(), &endp, 10);
      if (v.empty() || *endp) return false;
      o->timeoutMs = static_cast<DWORD>(ms);
    } else {
      return false;
    }
  }
  return o->answer >= 0;
}

bool waitClosed(HWND dialog, DWORD ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (GetTickCount() - start > ms) return false;
    Sleep(5);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  Options options;
  if (!parseArgs(argc, argv, &options)) {
    writeOut(err,
             "usage: boxhelper [--caption <text>] --answer ok|yes|no|cancel|default "
             "[--timeout-ms N]\n");
    return 2;
  }

  const DWORD start = GetTickCount();
  Search search;
  search.options = &options;
  for (;;) {
    search.found = nullptr;
    search.seen.clear();
    EnumWindows(onTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    if (GetTickCount() - start >= options.timeoutMs) {
      std::string msg = "boxhelper: no message box ";
      msg += options.anyCaption ? std::string("at all") : "captioned " + jsonString(options.caption);
      msg += " within " + std::to_string(options.timeoutMs) + " ms; #32770 windows: " +
             std::to_string(search.seen.size()) + "\n";
      for (const auto& c : search.seen) msg += "  " + jsonString(c) + "\n";
      writeOut(err, msg);
      return 1;
    }
    Sleep(kPollMs);
  }

  const HWND dialog = search.found;
  const std::wstring caption = windowTitle(dialog);
  const std::wstring text = controlText(GetDlgItem(dialog, kTextControlId));
  const std::vector<Button> buttons = buttonsOf(dialog);
  const std::string icon = iconName(dialog, caption, text, buttons);

  std::string names;
  HWND target = nullptr;
  int targetId = 0;
  for (const auto& b : buttons) {
    if (!names.empty()) names += "/";
    names += buttonName(b.id);
    if ((options.answer == 0 && b.isDefault) || b.id == options.answer) {
      target = b.hwnd;
      targetId = b.id;
    }
  }
  // A box without a default-styled button answers Enter with its first one.
  if (!target && options.answer == 0 && !buttons.empty()) {
    target = buttons.front().hwnd;
    targetId = buttons.front().id;
  }

  writeOut(out, "{\"caption\": " + jsonString(caption) + ", \"text\": " + jsonString(text) +
                    ", \"buttons\": \"" + names + "\", \"icon\": \"" + icon + "\"}\n");

  if (!target) {
    writeOut(err, "boxhelper: the box has no button to answer with (buttons: " + names + ")\n");
    return 3;
  }
  // BM_CLICK makes the button send WM_COMMAND to the box, which ends it. The
  // message is posted so that a box that does not close cannot hang us; a
  // WM_COMMAND straight to the dialog is the fallback.
  PostMessageW(target, BM_CLICK, 0, 0);
  if (waitClosed(dialog, 2000)) return 0;
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(targetId, BN_CLICKED),
               reinterpret_cast<LPARAM>(target));
  if (waitClosed(dialog, 2000)) return 0;
  writeOut(err, "boxhelper: the box did not close after the click\n");
  return 3;
}
