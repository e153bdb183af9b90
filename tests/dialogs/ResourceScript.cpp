#include "ResourceScript.h"

#include <set>
#include <sstream>

#include "FakeCameraPort.h"
#include "dialogs/AnalogDialog.h"
#include "dialogs/ControlIds.h"
#include "dialogs/ImageDialog.h"
#include "dialogs/StreamDialog.h"

namespace nivexa::dialogs::test {

namespace {

// Where the pages sit inside the tab control, in dialog units: below the tabs.
constexpr int32_t kPageX = 4;
constexpr int32_t kPageY = 16;

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') {
      out += '"';
    }
  }
  return out + "\"";
}

std::string place(const Rect& r, int32_t dx = 0, int32_t dy = 0) {
  std::ostringstream out;
  out << r.x + dx << ", " << r.y + dy << ", " << r.width << ", " << r.height;
  return out.str();
}

void writeControl(std::ostringstream& out, Control c, Language language, int32_t dx, int32_t dy) {
  // Statics the dialog fills at run time start with their resource text.
  if (c.id == ids::kExposureMsec) {
    c.text = text(Text::ExposureMsec, language);
  } else if (c.id == ids::kRealExposureRange) {
    c.text.clear();
  }
  // Ids no code refers to are -1 in a template, as the resource compiler expects for statics.
  const int32_t id = c.id == ids::kNoId ? -1 : c.id;
  out << "    ";
  switch (c.kind) {
    case Kind::Text:
      out << "LTEXT " << quoted(c.text) << ", " << id << ", " << place(c.rect, dx, dy);
      break;
    case Kind::Group:
      out << "GROUPBOX " << quoted(c.text) << ", " << id << ", " << place(c.rect, dx, dy);
      break;
    case Kind::Slider:
      out << "CONTROL \"\", " << id << ", \"msctls_trackbar32\", TBS_HORZ | TBS_NOTICKS | "
          << "WS_TABSTOP, " << place(c.rect, dx, dy);
      break;
    case Kind::Edit:
      out << "EDITTEXT " << id << ", " << place(c.rect, dx, dy) << ", ES_AUTOHSCROLL";
      break;
    case Kind::UpDown:
      out << "CONTROL \"\", " << id << ", \"msctls_updown32\", UDS_ARROWKEYS | UDS_NOTHOUSANDS, "
          << place(c.rect, dx, dy);
      break;
    case Kind::Check:
      out << "CONTROL " << quoted(c.text) << ", " << id << ", \"Button\", BS_CHECKBOX | "
          << "WS_TABSTOP, " << place(c.rect, dx, dy);
      break;
    case Kind::Radio:
      out << "CONTROL " << quoted(c.text) << ", " << id << ", \"Button\", BS_RADIOBUTTON | "
          << "WS_TABSTOP, " << place(c.rect, dx, dy);
      break;
    case Kind::Button:
      out << (c.id == ids::kOk ? "DEFPUSHBUTTON " : "PUSHBUTTON ") << quoted(c.text) << ", " << id
          << ", " << place(c.rect, dx, dy);
      break;
    case Kind::Combo: {
      // A drop-down list's template height includes its opened list.
      Rect opened = c.rect;
      opened.height += 60;
      out << "COMBOBOX " << id << ", " << place(opened, dx, dy)
          << ", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP";
      break;
    }
    case Kind::Tab:
      out << "CONTROL \"\", " << id << ", \"SysTabControl32\", TCS_OWNERDRAWFIXED, "
          << place(c.rect, dx, dy);
      break;
  }
  out << "\n";
}

void writeTemplate(std::ostringstream& out, int32_t resource, bool frame, int32_t width,
                   int32_t height, const std::string& caption) {
  out << resource << " DIALOGEX 0, 0, " << width << ", " << height << "\n";
  out << (frame ? "STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU\n"
                : "STYLE DS_SETFONT | DS_CONTROL | WS_CHILD\n");
  if (frame) {
    out << "CAPTION " << quoted(caption) << "\n";
  }
  out << "FONT 8, \"MS Shell Dlg\"\nBEGIN\n";
}

// Every template of one model that `done` does not hold yet.
void writeModel(std::ostringstream& out, const DialogModel& model, std::set<int32_t>& done) {
  const Control* tab = nullptr;
  for (const Control& c : model.controls()) {
    if (c.kind == Kind::Tab) {
      tab = &c;
    }
  }
  const int32_t pageX = tab != nullptr ? tab->rect.x + kPageX : 0;
  const int32_t pageY = tab != nullptr ? tab->rect.y + kPageY : 0;
  if (done.insert(model.frameResource()).second) {
    writeTemplate(out, model.frameResource(), true, model.frameWidth(), model.frameHeight(),
                  model.caption());
    for (const Control& c : model.controls()) {
      const bool inFrame =
          c.page == kFramePage || model.pages()[static_cast<size_t>(c.page)].resource == 0;
      if (inFrame) {
        const bool onPage = c.page != kFramePage;
        writeControl(out, c, model.language(), onPage ? pageX : 0, onPage ? pageY : 0);
      }
    }
    out << "END\n\n";
  }
  for (size_t p = 0; p < model.pages().size(); ++p) {
    const DialogModel::Page& page = model.pages()[p];
    if (page.resource == 0 || !done.insert(page.resource).second) {
      continue;
    }
    writeTemplate(out, page.resource, false, page.width, page.height, "");
    for (const Control& c : model.controls()) {
      if (c.page == static_cast<int32_t>(p)) {
        writeControl(out, c, model.language(), 0, 0);
      }
    }
    out << "END\n\n";
  }
}

}  // namespace

std::string resourceScript() {
  std::ostringstream out;
  out << "// The settings dialogs' templates, made from the dialog models by the dialog tests\n"
         "// (tests/dialogs/ResourceScript.cpp); regenerate rather than edit.\n"
         "#pragma code_page(65001)\n#include <windows.h>\n#include <commctrl.h>\n\n";
  for (Language language : {Language::Japanese, Language::English}) {
    out << (language == Language::Japanese ? "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n\n"
                                           : "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n\n");
    std::set<int32_t> done;
    for (bool colour : {true, false}) {
      FakeCameraPort port;
      port.colour = colour;
      writeModel(out, ImageDialog(port, language), done);
      writeModel(out, AnalogDialog(port, language), done);
    }
    FakeCameraPort port;
    writeModel(out, StreamDialog(port, language), done);
  }
  return out.str();
}

}  // namespace nivexa::dialogs::test
