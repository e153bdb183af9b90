// The settings dialogs on Windows: the frame and page templates from the library's resources,
// filled from and reporting to the dialog model through the host table, as the GTK view does.
#include "platform/DialogView.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace nivexa::platform {

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 150;

std::wstring wide(const char* utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 1) {
    return {};
  }
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
  out.resize(static_cast<size_t>(length) - 1);
  return out;
}

std::string narrow(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) {
    return {};
  }
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
  out.resize(static_cast<size_t>(length) - 1);
  return out;
}

std::wstring windowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

// The library's own module: its resources hold the templates.
HMODULE libraryModule() {
  if (HMODULE named = GetModuleHandleA("NivexaSdk_M7QX_TEC.dll")) {
    return named;
  }
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&libraryModule), &self);
  return self;
}

struct Frame {
  const NivexaDialogHost* host = nullptr;
  HMODULE module = nullptr;
  HWND window = nullptr;
  HWND tab = nullptr;
  std::vector<HWND> pages;  // the frame itself for a page whose controls it carries
  std::map<std::pair<int32_t, int32_t>, int32_t> indexes;  // (page, id) -> control index
  std::vector<std::string> shown;                          // texts and combo entries drawn
  bool syncing = false;
};

NivexaDialogControl read(const Frame& frame, int32_t index) {
  NivexaDialogControl c{};
  frame.host->control(frame.host->context, index, &c);
  return c;
}

HWND controlWindow(const Frame& frame, const NivexaDialogControl& c) {
  const HWND parent = c.page < 0 || static_cast<size_t>(c.page) >= frame.pages.size()
                          ? frame.window
                          : frame.pages[static_cast<size_t>(c.page)];
  return GetDlgItem(parent, c.id);
}

void syncControl(Frame& frame, int32_t index) {
  const NivexaDialogControl c = read(frame, index);
  if (c.kind == NIVEXA_DLG_TAB) {
    return;
  }
  const HWND w = controlWindow(frame, c);
  if (w == nullptr) {
    return;
  }
  EnableWindow(w, c.enabled != 0);
  ShowWindow(w, c.visible != 0 ? SW_SHOWNA : SW_HIDE);
  std::string& shown = frame.shown[static_cast<size_t>(index)];
  switch (c.kind) {
    case NIVEXA_DLG_TEXT:
    case NIVEXA_DLG_GROUP:
    case NIVEXA_DLG_BUTTON:
      if (shown != c.text) {
        shown = c.text;
        SetWindowTextW(w, wide(c.text).c_str());
      }
      break;
    case NIVEXA_DLG_CHECK:
    case NIVEXA_DLG_RADIO:
      SendMessageW(w, BM_SETCHECK, c.value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case NIVEXA_DLG_SLIDER: {
      const bool newRange = SendMessageW(w, TBM_GETRANGEMIN, 0, 0) != c.minimum ||
                            SendMessageW(w, TBM_GETRANGEMAX, 0, 0) != c.maximum;
      SendMessageW(w, TBM_SETRANGEMIN, FALSE, c.minimum);
      SendMessageW(w, TBM_SETRANGEMAX, TRUE, c.maximum);
      SendMessageW(w, TBM_SETPAGESIZE, 0, c.pageSize);
      if (newRange) {
        // A trackbar places its thumb only when the position moves: a value that stays put
        // (0 of a range that now starts below 0) would be drawn where the old range had it.
        SendMessageW(w, TBM_SETPOS, FALSE, c.value == c.minimum ? c.maximum : c.minimum);
      }
      SendMessageW(w, TBM_SETPOS, TRUE, c.value);
      break;
    }
    case NIVEXA_DLG_UPDOWN:
      SendMessageW(w, UDM_SETRANGE32, static_cast<WPARAM>(c.minimum), c.maximum);
      SendMessageW(w, UDM_SETPOS32, 0, c.value);
      break;
    case NIVEXA_DLG_EDIT:
      if (narrow(windowText(w)) != c.text) {
        SetWindowTextW(w, wide(c.text).c_str());
      }
      break;
    case NIVEXA_DLG_COMBO: {
      std::string entries;
      for (int32_t i = 0; i < c.itemCount; ++i) {
        entries += frame.host->item(frame.host->context, index, i);
        entries += '\n';
      }
      if (entries != shown) {
        shown = entries;
        SendMessageW(w, CB_RESETCONTENT, 0, 0);
        for (int32_t i = 0; i < c.itemCount; ++i) {
          const std::wstring item = wide(frame.host->item(frame.host->context, index, i));
          SendMessageW(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
      }
      SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(c.value), 0);
      break;
    }
    default:
      break;
  }
}

void sync(Frame& frame) {
  frame.syncing = true;
  for (size_t i = 0; i < frame.shown.size(); ++i) {
    syncControl(frame, static_cast<int32_t>(i));
  }
  frame.syncing = false;
}

int32_t indexOf(const Frame& frame, int32_t page, int32_t id) {
  const auto found = frame.indexes.find({page, id});
  return found == frame.indexes.end() ? -1 : found->second;
}

void showPage(Frame& frame, int page) {
  for (size_t p = 0; p < frame.pages.size(); ++p) {
    if (frame.pages[p] != frame.window) {
      ShowWindow(frame.pages[p], static_cast<int>(p) == page ? SW_SHOW : SW_HIDE);
    }
  }
}

// A notification from a control of `page`: what the user did, reported to the model.
bool controlCommand(Frame& frame, int32_t page, int32_t id, UINT code, HWND control) {
  const int32_t index = indexOf(frame, page, id);
  if (index < 0 || frame.syncing) {
    return false;
  }
  const NivexaDialogHost& host = *frame.host;
  const NivexaDialogControl c = read(frame, index);
  switch (c.kind) {
    case NIVEXA_DLG_EDIT:
      if (code == EN_CHANGE) {
        host.type(host.context, index, narrow(windowText(control)).c_str());
        return true;  // typing is only recorded
      }
      if (code != EN_KILLFOCUS) {
        return false;
      }
      host.commit(host.context, index);
      break;
    case NIVEXA_DLG_COMBO:
      if (code != CBN_SELCHANGE) {
        return false;
      }
      host.choose(host.context, index,
                  static_cast<int32_t>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
      break;
    case NIVEXA_DLG_CHECK:
    case NIVEXA_DLG_RADIO:
    case NIVEXA_DLG_BUTTON:
      if (code != BN_CLICKED) {
        return false;
      }
      host.click(host.context, index);
      break;
    default:
      return false;
  }
  sync(frame);
  return true;
}

bool scroll(Frame& frame, int32_t page, HWND control) {
  const int32_t index = indexOf(frame, page, GetDlgCtrlID(control));
  if (index < 0 || frame.syncing) {
    return false;
  }
  frame.host->slide(frame.host->context, index,
                    static_cast<int32_t>(SendMessageW(control, TBM_GETPOS, 0, 0)));
  sync(frame);
  return true;
}

bool upDown(Frame& frame, int32_t page, const NMHDR* header) {
  if (header->code != UDN_DELTAPOS) {
    return false;
  }
  const int32_t index = indexOf(frame, page, static_cast<int32_t>(header->idFrom));
  if (index < 0) {
    return false;
  }
  const auto* change = reinterpret_cast<const NMUPDOWN*>(header);
  frame.host->step(frame.host->context, index, change->iDelta);
  sync(frame);
  return true;
}

int32_t pageOf(const Frame& frame, HWND window) {
  for (size_t p = 0; p < frame.pages.size(); ++p) {
    if (frame.pages[p] == window) {
      return static_cast<int32_t>(p);
    }
  }
  return -1;
}

INT_PTR CALLBACK pageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return TRUE;
  }
  auto* frame = reinterpret_cast<Frame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (frame == nullptr) {
    return FALSE;
  }
  const int32_t page = pageOf(*frame, window);
  switch (message) {
    case WM_COMMAND:
      return controlCommand(*frame, page, LOWORD(wParam), HIWORD(wParam),
                            reinterpret_cast<HWND>(lParam))
                 ? TRUE
                 : FALSE;
    case WM_HSCROLL:
      return lParam != 0 && scroll(*frame, page, reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
      if (upDown(*frame, page, reinterpret_cast<const NMHDR*>(lParam))) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);  // the model moves the value
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void drawTab(const DRAWITEMSTRUCT* item) {
  // Owner-drawn tabs: the button face, and the caption centred on it.
  FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
  wchar_t caption[128] = {};
  TCITEMW tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = caption;
  tab.cchTextMax = 127;
  SendMessageW(item->hwndItem, TCM_GETITEMW, item->itemID, reinterpret_cast<LPARAM>(&tab));
  SIZE size{};
  const int length = lstrlenW(caption);
  GetTextExtentPoint32W(item->hDC, caption, length, &size);
  SetBkMode(item->hDC, TRANSPARENT);
  TextOutW(item->hDC, (item->rcItem.left + item->rcItem.right - size.cx) / 2,
           (item->rcItem.top + item->rcItem.bottom - size.cy) / 2, caption, length);
}

void initFrame(Frame& frame, HWND window) {
  frame.window = window;
  const NivexaDialogHost& host = *frame.host;
  SetWindowTextW(window, wide(host.caption(host.context)).c_str());
  frame.tab = GetDlgItem(window, 1001);
  const int32_t count = host.controlCount(host.context);
  frame.shown.assign(static_cast<size_t>(count), std::string());
  for (int32_t i = 0; i < count; ++i) {
    const NivexaDialogControl c = read(frame, i);
    frame.indexes[{c.page, c.id}] = i;
  }
  const int32_t pages = host.pageCount(host.context);
  for (int32_t p = 0; p < pages; ++p) {
    std::wstring title = wide(host.pageTitle(host.context, p));
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = title.data();
    SendMessageW(frame.tab, TCM_INSERTITEMW, static_cast<WPARAM>(p),
                 reinterpret_cast<LPARAM>(&tab));
  }
  // A page fills the tab control's display area exactly, whatever its template's size: a
  // template taller than that area would lie over the frame's buttons, a narrower one would
  // leave the tab's own background showing beside it.
  RECT area{};
  GetClientRect(frame.tab, &area);
  SendMessageW(frame.tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  MapWindowPoints(frame.tab, window, reinterpret_cast<POINT*>(&area), 2);
  for (int32_t p = 0; p < pages; ++p) {
    const int32_t resource = host.resource(host.context, p);
    if (resource == 0) {
      frame.pages.push_back(window);
      continue;
    }
    HWND page = CreateDialogParamW(frame.module, MAKEINTRESOURCEW(resource), window, pageProc,
                                   reinterpret_cast<LPARAM>(&frame));
    SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, 0);
    frame.pages.push_back(page);
  }
  showPage(frame, 0);
  sync(frame);
  SetTimer(window, kPollTimer, kPollMs, nullptr);
}

void close(Frame& frame) {
  KillTimer(frame.window, kPollTimer);
  EndDialog(frame.window, NIVEXA_DIALOG_CLOSED);
}

INT_PTR CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    initFrame(*reinterpret_cast<Frame*>(lParam), window);
    return TRUE;
  }
  auto* frame = reinterpret_cast<Frame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (frame == nullptr) {
    return FALSE;
  }
  const NivexaDialogHost& host = *frame->host;
  switch (message) {
    case WM_COMMAND: {
      const int32_t id = LOWORD(wParam);
      if (indexOf(*frame, -1, id) >= 0 && HIWORD(wParam) == BN_CLICKED) {
        if (host.press(host.context, id) != 0) {
          close(*frame);
        } else {
          sync(*frame);
        }
        return TRUE;
      }
      // Controls of a page that the frame's template carries.
      const int32_t page = pageOf(*frame, window);
      return controlCommand(*frame, page, id, HIWORD(wParam), reinterpret_cast<HWND>(lParam))
                 ? TRUE
                 : FALSE;
    }
    case WM_HSCROLL:
      return lParam != 0 && scroll(*frame, pageOf(*frame, window), reinterpret_cast<HWND>(lParam))
                 ? TRUE
                 : FALSE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom == frame->tab && header->code == TCN_SELCHANGE) {
        showPage(*frame, static_cast<int>(SendMessageW(frame->tab, TCM_GETCURSEL, 0, 0)));
        return TRUE;
      }
      if (upDown(*frame, pageOf(*frame, window), header)) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->hwndItem != frame->tab) {
        return FALSE;
      }
      drawTab(item);
      return TRUE;
    }
    case WM_TIMER:
      if (wParam == kPollTimer && host.poll(host.context) != 0) {
        sync(*frame);
      }
      return TRUE;
    case WM_CLOSE:
      host.press(host.context, IDCANCEL);
      close(*frame);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int32_t showDialogView(const NivexaDialogHost& host, uintptr_t parent) {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);
  Frame frame;
  frame.host = &host;
  frame.module = libraryModule();
  const INT_PTR result =
      DialogBoxParamW(frame.module, MAKEINTRESOURCEW(host.resource(host.context, -1)),
                      reinterpret_cast<HWND>(parent), frameProc, reinterpret_cast<LPARAM>(&frame));
  return result == NIVEXA_DIALOG_CLOSED ? NIVEXA_DIALOG_CLOSED : NIVEXA_DIALOG_NO_VIEW;
}

}  // namespace nivexa::platform
