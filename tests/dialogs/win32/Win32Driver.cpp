#include "dialogs/win32/Win32Driver.h"

#include <commctrl.h>

#include <chrono>
#include <vector>

namespace nivexa::dialogs::test {

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

std::string windowText(HWND window) {
  wchar_t buffer[512] = {};
  SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
  return narrow(buffer);
}

struct Search {
  std::wstring caption;
  HWND found = nullptr;
};

BOOL CALLBACK matchCaption(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (std::wstring(className) == L"#32770" && caption == search->caption &&
      IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

struct IdSearch {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK matchId(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<IdSearch*>(lParam);
  if (GetDlgCtrlID(window) == search->id) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Sends what a control sends its dialog when the user changes it.
void notifyCommand(HWND control, WORD code) {
  SendMessageW(GetParent(control), WM_COMMAND,
               MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(control)), code),
               reinterpret_cast<LPARAM>(control));
}

BOOL CALLBACK collect(HWND window, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
  return TRUE;
}

std::wstring className(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The size `text` needs in the control's font: on one line, or broken into lines no wider than
// `wrapWidth` when that is positive.
SIZE textExtent(HWND control, const std::wstring& text, int wrapWidth) {
  const HDC dc = GetDC(control);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT box{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
  DrawTextW(dc, text.c_str(), -1, &box,
            DT_CALCRECT | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{box.right - box.left, box.bottom - box.top};
}

// Why the text of `control` is cut off, or empty when it fits.
std::string clipping(HWND control) {
  wchar_t buffer[256] = {};
  GetWindowTextW(control, buffer, 256);
  const std::wstring text = buffer;
  if (text.empty()) {
    return {};
  }
  RECT client{};
  GetClientRect(control, &client);
  const std::wstring kind = className(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (kind == L"Static") {
    if ((style & SS_TYPEMASK) > SS_RIGHT) {
      return {};  // icons, frames and the like carry no text
    }
    const SIZE needed = textExtent(control, text, client.right);
    if (needed.cx > client.right || needed.cy > client.bottom) {
      return "needs " + std::to_string(needed.cx) + "x" + std::to_string(needed.cy) + ", has " +
             std::to_string(client.right) + "x" + std::to_string(client.bottom);
    }
    return {};
  }
  if (kind != L"Button") {
    return {};
  }
  const SIZE needed = textExtent(control, text, 0);
  const LONG type = style & BS_TYPEMASK;
  int room = client.right;
  if (type == BS_GROUPBOX) {
    room -= 2 * 8;  // the frame line runs on both sides of the caption
  } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
             type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
    room -= GetSystemMetrics(SM_CXMENUCHECK) + 2;
  } else {
    room -= 2 * 3;  // the push button's border
  }
  if (needed.cx > room || (type != BS_GROUPBOX && needed.cy > client.bottom)) {
    return "needs " + std::to_string(needed.cx) + "x" + std::to_string(needed.cy) + ", has " +
           std::to_string(room) + "x" + std::to_string(client.bottom);
  }
  return {};
}

}  // namespace

std::wstring wide(const std::string& utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), length);
  out.resize(out.size() - 1);
  return out;
}

std::string narrow(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

OpenDialog::OpenDialog(std::function<BOOL()> open, const std::string& caption) {
  std::promise<DWORD> started;
  std::future<DWORD> id = started.get_future();
  std::packaged_task<BOOL()> task([open = std::move(open), &started] {
    started.set_value(GetCurrentThreadId());
    return open();
  });
  done_ = task.get_future();
  thread_ = std::thread(std::move(task));
  threadId_ = id.get();
  Search search{wide(caption)};
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (search.found == nullptr && std::chrono::steady_clock::now() < deadline &&
         done_.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    EnumThreadWindows(threadId_, matchCaption, reinterpret_cast<LPARAM>(&search));
  }
  window_ = search.found;
}

OpenDialog::~OpenDialog() {
  if (done_.valid() && done_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    // Cancel whatever is open on the thread, the found window or one that never matched.
    EnumThreadWindows(
        threadId_,
        [](HWND window, LPARAM) {
          PostMessageW(window, WM_CLOSE, 0, 0);
          return TRUE;
        },
        0);
  }
  thread_.join();
}

int OpenDialog::result() {
  if (done_.wait_for(kPatience) != std::future_status::ready) {
    return -1;
  }
  return done_.get();
}

HWND OpenDialog::control(int id) const {
  if (window_ == nullptr) {
    return nullptr;
  }
  if (HWND own = GetDlgItem(window_, id)) {
    return own;
  }
  IdSearch search{id};
  EnumChildWindows(window_, matchId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string OpenDialog::caption() const {
  return window_ == nullptr ? std::string() : windowText(window_);
}

std::string OpenDialog::text(int id) const {
  const HWND w = control(id);
  return w == nullptr ? std::string("<no control>") : windowText(w);
}

std::string OpenDialog::selectedEntry(int id) const {
  const HWND combo = control(id);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (combo == nullptr || selected < 0) {
    return {};
  }
  std::wstring entry(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, selected, 0)) + 1,
                     L'\0');
  SendMessageW(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry.data()));
  entry.resize(entry.size() - 1);
  return narrow(entry);
}

int OpenDialog::entryCount(int id) const {
  return static_cast<int>(SendMessageW(control(id), CB_GETCOUNT, 0, 0));
}

int OpenDialog::sliderMaximum(int id) const {
  return static_cast<int>(SendMessageW(control(id), TBM_GETRANGEMAX, 0, 0));
}

double OpenDialog::thumbPlace(int id) const {
  RECT channel{};
  RECT thumb{};
  SendMessageW(control(id), TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  SendMessageW(control(id), TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const LONG travel = (channel.right - channel.left) - (thumb.right - thumb.left);
  return travel <= 0 ? -1.0 : static_cast<double>(thumb.left - channel.left) / travel;
}

bool OpenDialog::visible(int id) const {
  const HWND w = control(id);
  return w != nullptr && IsWindowVisible(w) != 0;
}

bool OpenDialog::enabled(int id) const {
  const HWND w = control(id);
  return w != nullptr && IsWindowEnabled(w) != 0;
}

bool OpenDialog::checked(int id) const {
  return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::string> OpenDialog::tabs() const {
  std::vector<std::string> labels;
  const HWND tab = control(1001);
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t label[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = label;
    item.cchTextMax = 127;
    SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    labels.push_back(narrow(label));
  }
  return labels;
}

void OpenDialog::moveSlider(int id, int position) {
  const HWND slider = control(id);
  SendMessageW(slider, TBM_SETPOS, TRUE, position);
  SendMessageW(GetParent(slider), WM_HSCROLL,
               MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(position)),
               reinterpret_cast<LPARAM>(slider));
  SendMessageW(GetParent(slider), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
               reinterpret_cast<LPARAM>(slider));
}

void OpenDialog::type(int id, const std::string& text, bool leave) {
  const HWND edit = control(id);
  const std::wstring typed = wide(text);
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
  notifyCommand(edit, EN_CHANGE);
  if (leave) {
    notifyCommand(edit, EN_KILLFOCUS);
  }
}

void OpenDialog::pressEnter() {
  const LRESULT found = SendMessageW(window_, DM_GETDEFID, 0, 0);
  const WORD id = HIWORD(found) == DC_HASDEFID ? LOWORD(found) : IDOK;
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window_, id)));
}

void OpenDialog::press(int id) {
  SendMessageW(control(id), BM_CLICK, 0, 0);
}

void OpenDialog::clickArrow(int id, int delta) {
  const HWND upDown = control(id);
  NMUPDOWN change{};
  change.hdr.hwndFrom = upDown;
  change.hdr.idFrom = static_cast<UINT_PTR>(id);
  change.hdr.code = UDN_DELTAPOS;
  change.iPos = static_cast<int>(SendMessageW(upDown, UDM_GETPOS32, 0, 0));
  change.iDelta = delta;
  SendMessageW(GetParent(upDown), WM_NOTIFY, static_cast<WPARAM>(id),
               reinterpret_cast<LPARAM>(&change));
}

void OpenDialog::choose(int id, int entry) {
  const HWND combo = control(id);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  notifyCommand(combo, CBN_SELCHANGE);
}

void OpenDialog::showPage(int page) {
  const HWND tab = control(1001);
  SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  NMHDR change{};
  change.hwndFrom = tab;
  change.idFrom = 1001;
  change.code = TCN_SELCHANGE;
  SendMessageW(GetParent(tab), WM_NOTIFY, 1001, reinterpret_cast<LPARAM>(&change));
}

std::vector<std::string> OpenDialog::layoutFaults() const {
  std::vector<std::string> faults;
  std::vector<HWND> controls;
  EnumChildWindows(window_, collect, reinterpret_cast<LPARAM>(&controls));
  for (const HWND control : controls) {
    if (IsWindowVisible(control) == 0) {
      continue;
    }
    wchar_t buffer[256] = {};
    GetWindowTextW(control, buffer, 256);
    const std::string name = std::to_string(GetDlgCtrlID(control)) + " \"" + narrow(buffer) + "\" ";
    if (className(control) == L"#32770") {
      // A page: inside the display area of the tab control.
      RECT page{};
      GetWindowRect(control, &page);
      const HWND tab = GetDlgItem(window_, 1001);
      RECT area{};
      GetClientRect(tab, &area);
      SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
      MapWindowPoints(tab, nullptr, reinterpret_cast<POINT*>(&area), 2);
      if (page.left < area.left || page.top < area.top || page.right > area.right ||
          page.bottom > area.bottom) {
        faults.push_back(name + "page reaches outside the tab's display area");
      }
    }
    if (const std::string why = clipping(control); !why.empty()) {
      faults.push_back(name + why);
    }
    RECT own{};
    GetWindowRect(control, &own);
    const HWND parent = GetParent(control);
    RECT room{};
    GetClientRect(parent, &room);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&room), 2);
    if (own.left < room.left || own.top < room.top || own.right > room.right ||
        own.bottom > room.bottom) {
      faults.push_back(name + "reaches outside its window");
    }
  }
  return faults;
}

}  // namespace nivexa::dialogs::test
