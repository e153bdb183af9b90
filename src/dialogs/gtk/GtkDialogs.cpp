// The GTK 3 view of the settings dialogs: draws the library's dialog model and reports what the
// user does, through the host table only. Loaded by the library on the first dialog.
#include <gtk/gtk.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/DialogModule.h"

namespace {

// Dialog units to pixels for an 8-point dialog font at 96 dpi (average character 6 x 13 px).
constexpr double kPixelsPerUnitX = 1.5;
constexpr double kPixelsPerUnitY = 1.625;
constexpr guint kPollMs = 150;

// Tight, Windows-like metrics so that the dialogs keep their documented sizes.
constexpr const char* kStyle =
    "* { font-size: 8pt; }\n"
    "entry { min-height: 0; padding: 0 2px; }\n"
    "button { min-height: 0; min-width: 0; padding: 0 2px; }\n"
    "combobox button { padding: 0 2px; }\n"
    "scale { padding: 0 4px; min-height: 0; }\n"
    "notebook tab { padding: 2px 8px; }\n"
    "button.updown { padding: 0; margin: 0; min-height: 0; min-width: 0; }\n";

int px(int32_t units) {
  return static_cast<int>(std::lround(units * kPixelsPerUnitX));
}
int py(int32_t units) {
  return static_cast<int>(std::lround(units * kPixelsPerUnitY));
}

// "&" marks the mnemonic as in the Windows resources; GTK uses "_".
std::string mnemonic(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '&' && p[1] == '&') {
      out += '&';
      ++p;
    } else if (*p == '&') {
      out += '_';
    } else if (*p == '_') {
      out += "__";
    } else {
      out += *p;
    }
  }
  return out;
}

struct View;

struct Slot {
  View* view = nullptr;
  int32_t index = 0;
  int32_t kind = 0;
  int32_t id = 0;
  int32_t page = 0;
  GtkWidget* widget = nullptr;
  std::string shown;  // label or combo entries as last drawn
};

struct View {
  const NivexaDialogHost* host = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* notebook = nullptr;
  GtkWidget* frame = nullptr;
  std::vector<GtkWidget*> pages;
  std::vector<Slot> slots;
  GMainLoop* loop = nullptr;
  bool syncing = false;
  bool closed = false;
};

NivexaDialogControl read(View& view, int32_t index) {
  NivexaDialogControl c{};
  view.host->control(view.host->context, index, &c);
  return c;
}

void setName(GtkWidget* widget, int32_t id) {
  if (id != 0) {
    gtk_widget_set_name(widget, std::to_string(id).c_str());
  }
}

void sync(View& view);

void afterAction(View& view) {
  if (!view.closed) {
    sync(view);
  }
}

void onScale(GtkRange* range, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  if (slot->view->syncing) {
    return;
  }
  const auto position = static_cast<int32_t>(std::lround(gtk_range_get_value(range)));
  slot->view->host->slide(slot->view->host->context, slot->index, position);
  afterAction(*slot->view);
}

void onEditChanged(GtkEditable* editable, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  if (slot->view->syncing) {
    return;
  }
  // Typing is only recorded; the value applies on Enter or when the focus leaves.
  slot->view->host->type(slot->view->host->context, slot->index,
                         gtk_entry_get_text(GTK_ENTRY(editable)));
}

void commitEdit(Slot* slot) {
  if (slot->view->syncing || slot->view->closed) {
    return;
  }
  slot->view->host->commit(slot->view->host->context, slot->index);
  afterAction(*slot->view);
}

void onEditActivate(GtkEntry*, gpointer data) {
  commitEdit(static_cast<Slot*>(data));
}

gboolean onEditFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
  commitEdit(static_cast<Slot*>(data));
  return FALSE;
}

void onStep(GtkButton* button, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  if (slot->view->syncing) {
    return;
  }
  const int32_t delta = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "delta"));
  slot->view->host->step(slot->view->host->context, slot->index, delta);
  afterAction(*slot->view);
}

void onToggled(GtkToggleButton* button, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  if (slot->view->syncing) {
    return;
  }
  // A radio button that another one's selection switched off reports nothing.
  if (slot->kind == NIVEXA_DLG_RADIO && !gtk_toggle_button_get_active(button)) {
    return;
  }
  slot->view->host->click(slot->view->host->context, slot->index);
  afterAction(*slot->view);
}

void onClicked(GtkButton*, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  View& view = *slot->view;
  if (view.syncing || view.closed) {
    return;
  }
  if (slot->page < 0) {
    if (view.host->press(view.host->context, slot->id) != 0) {
      view.closed = true;
      g_main_loop_quit(view.loop);
      return;
    }
  } else {
    view.host->click(view.host->context, slot->index);
  }
  afterAction(view);
}

void onCombo(GtkComboBox* combo, gpointer data) {
  auto* slot = static_cast<Slot*>(data);
  if (slot->view->syncing) {
    return;
  }
  const gint active = gtk_combo_box_get_active(combo);
  if (active >= 0) {
    slot->view->host->choose(slot->view->host->context, slot->index, active);
  }
  afterAction(*slot->view);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* view = static_cast<View*>(data);
  if (!view->closed) {
    view->host->press(view->host->context, 2);
    view->closed = true;
    g_main_loop_quit(view->loop);
  }
  return TRUE;  // the view destroys its window itself
}

gboolean onPoll(gpointer data) {
  auto* view = static_cast<View*>(data);
  if (!view->closed && view->host->poll(view->host->context) != 0) {
    sync(*view);
  }
  return G_SOURCE_CONTINUE;
}

GtkWidget* makeUpDown(Slot& slot) {
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_set_homogeneous(GTK_BOX(box), TRUE);
  for (int32_t delta : {1, -1}) {
    GtkWidget* arrow = gtk_button_new();
    GtkWidget* icon = gtk_image_new_from_icon_name(
        delta > 0 ? "pan-up-symbolic" : "pan-down-symbolic", GTK_ICON_SIZE_MENU);
    // Two arrows share one edit box's height.
    gtk_image_set_pixel_size(GTK_IMAGE(icon), 6);
    gtk_container_add(GTK_CONTAINER(arrow), icon);
    g_object_set_data(G_OBJECT(arrow), "delta", GINT_TO_POINTER(delta));
    gtk_style_context_add_class(gtk_widget_get_style_context(arrow), "updown");
    g_signal_connect(arrow, "clicked", G_CALLBACK(onStep), &slot);
    gtk_box_pack_start(GTK_BOX(box), arrow, TRUE, TRUE, 0);
  }
  return box;
}

GtkWidget* makeWidget(View& view, Slot& slot, const NivexaDialogControl& c,
                      GtkRadioButton*& radioGroup) {
  if (c.kind != NIVEXA_DLG_RADIO) {
    radioGroup = nullptr;
  }
  switch (c.kind) {
    case NIVEXA_DLG_TEXT: {
      GtkWidget* label = gtk_label_new_with_mnemonic(mnemonic(c.text).c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
      return label;
    }
    case NIVEXA_DLG_GROUP:
      return gtk_frame_new(c.text);
    case NIVEXA_DLG_SLIDER: {
      GtkWidget* scale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 1, 1);
      gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
      g_signal_connect(scale, "value-changed", G_CALLBACK(onScale), &slot);
      return scale;
    }
    case NIVEXA_DLG_EDIT: {
      GtkWidget* entry = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
      g_signal_connect(entry, "changed", G_CALLBACK(onEditChanged), &slot);
      g_signal_connect(entry, "activate", G_CALLBACK(onEditActivate), &slot);
      g_signal_connect(entry, "focus-out-event", G_CALLBACK(onEditFocusOut), &slot);
      return entry;
    }
    case NIVEXA_DLG_UPDOWN:
      return makeUpDown(slot);
    case NIVEXA_DLG_CHECK: {
      GtkWidget* check = gtk_check_button_new_with_mnemonic(mnemonic(c.text).c_str());
      g_signal_connect(check, "toggled", G_CALLBACK(onToggled), &slot);
      return check;
    }
    case NIVEXA_DLG_RADIO: {
      // Radio buttons listed one after another form one group, as in a dialog template.
      GtkWidget* radio =
          gtk_radio_button_new_with_mnemonic_from_widget(radioGroup, mnemonic(c.text).c_str());
      radioGroup = GTK_RADIO_BUTTON(radio);
      g_signal_connect(radio, "toggled", G_CALLBACK(onToggled), &slot);
      return radio;
    }
    case NIVEXA_DLG_BUTTON: {
      GtkWidget* button = gtk_button_new_with_mnemonic(mnemonic(c.text).c_str());
      g_signal_connect(button, "clicked", G_CALLBACK(onClicked), &slot);
      return button;
    }
    case NIVEXA_DLG_COMBO: {
      GtkWidget* combo = gtk_combo_box_text_new();
      g_signal_connect(combo, "changed", G_CALLBACK(onCombo), &slot);
      return combo;
    }
    case NIVEXA_DLG_TAB: {
      view.notebook = gtk_notebook_new();
      return view.notebook;
    }
    default:
      return nullptr;
  }
}

std::string comboEntries(View& view, int32_t index, int32_t count) {
  std::string all;
  for (int32_t i = 0; i < count; ++i) {
    all += view.host->item(view.host->context, index, i);
    all += '\n';
  }
  return all;
}

void syncSlot(View& view, Slot& slot) {
  const NivexaDialogControl c = read(view, slot.index);
  GtkWidget* w = slot.widget;
  gtk_widget_set_sensitive(w, c.enabled != 0);
  gtk_widget_set_visible(w, c.visible != 0);
  switch (c.kind) {
    case NIVEXA_DLG_TEXT:
      if (slot.shown != c.text) {
        slot.shown = c.text;
        gtk_label_set_text_with_mnemonic(GTK_LABEL(w), mnemonic(c.text).c_str());
      }
      break;
    case NIVEXA_DLG_SLIDER: {
      GtkRange* range = GTK_RANGE(w);
      GtkAdjustment* adjustment = gtk_range_get_adjustment(range);
      if (gtk_adjustment_get_lower(adjustment) != c.minimum ||
          gtk_adjustment_get_upper(adjustment) != c.maximum) {
        gtk_range_set_range(range, c.minimum, c.maximum);
      }
      gtk_range_set_increments(range, 1, c.pageSize > 0 ? c.pageSize : 1);
      gtk_range_set_value(range, c.value);
      break;
    }
    case NIVEXA_DLG_EDIT:
      if (std::string(gtk_entry_get_text(GTK_ENTRY(w))) != c.text) {
        gtk_entry_set_text(GTK_ENTRY(w), c.text);
      }
      break;
    case NIVEXA_DLG_CHECK:
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.value != 0);
      break;
    case NIVEXA_DLG_RADIO:
      if (c.value != 0) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), TRUE);
      }
      break;
    case NIVEXA_DLG_COMBO: {
      const std::string entries = comboEntries(view, slot.index, c.itemCount);
      GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(w);
      if (entries != slot.shown) {
        slot.shown = entries;
        gtk_combo_box_text_remove_all(combo);
        for (int32_t i = 0; i < c.itemCount; ++i) {
          gtk_combo_box_text_append_text(combo, view.host->item(view.host->context, slot.index, i));
        }
      }
      gtk_combo_box_set_active(GTK_COMBO_BOX(w), c.value);
      break;
    }
    default:
      break;
  }
}

void sync(View& view) {
  view.syncing = true;
  for (Slot& slot : view.slots) {
    if (slot.widget != nullptr && slot.kind != NIVEXA_DLG_TAB) {
      syncSlot(view, slot);
    }
  }
  view.syncing = false;
}

void applyStyle() {
  static GtkCssProvider* provider = nullptr;
  if (provider != nullptr) {
    return;
  }
  provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void build(View& view) {
  const NivexaDialogHost& host = *view.host;
  view.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(view.window), host.caption(host.context));
  gtk_window_set_modal(GTK_WINDOW(view.window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(view.window), FALSE);
  int32_t width = 0;
  int32_t height = 0;
  host.frameSize(host.context, &width, &height);
  view.frame = gtk_fixed_new();
  gtk_widget_set_size_request(view.frame, px(width), py(height));
  gtk_container_add(GTK_CONTAINER(view.window), view.frame);
  g_signal_connect(view.window, "delete-event", G_CALLBACK(onDelete), &view);

  const int32_t count = host.controlCount(host.context);
  view.slots.resize(static_cast<size_t>(count));
  // The tab control first: the pages are made inside it.
  for (int32_t i = 0; i < count; ++i) {
    const NivexaDialogControl c = read(view, i);
    if (c.kind == NIVEXA_DLG_TAB) {
      Slot& slot = view.slots[static_cast<size_t>(i)];
      slot = Slot{&view, i, c.kind, c.id, c.page, nullptr, {}};
      GtkRadioButton* none = nullptr;
      slot.widget = makeWidget(view, slot, c, none);
      setName(slot.widget, c.id);
      gtk_fixed_put(GTK_FIXED(view.frame), slot.widget, px(c.x), py(c.y));
    }
  }
  const int32_t pageCount = host.pageCount(host.context);
  for (int32_t p = 0; p < pageCount; ++p) {
    int32_t pageWidth = 0;
    int32_t pageHeight = 0;
    host.pageSize(host.context, p, &pageWidth, &pageHeight);
    GtkWidget* page = gtk_fixed_new();
    gtk_widget_set_size_request(page, px(pageWidth), py(pageHeight));
    gtk_widget_set_name(page, ("page" + std::to_string(p)).c_str());
    if (view.notebook != nullptr) {
      gtk_notebook_append_page(GTK_NOTEBOOK(view.notebook), page,
                               gtk_label_new(host.pageTitle(host.context, p)));
    }
    view.pages.push_back(page);
  }
  GtkRadioButton* radioGroup = nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const NivexaDialogControl c = read(view, i);
    if (c.kind == NIVEXA_DLG_TAB) {
      continue;
    }
    Slot& slot = view.slots[static_cast<size_t>(i)];
    slot = Slot{&view, i, c.kind, c.id, c.page, nullptr, {}};
    slot.shown = c.text;
    slot.widget = makeWidget(view, slot, c, radioGroup);
    if (slot.widget == nullptr) {
      continue;
    }
    setName(slot.widget, c.id);
    gtk_widget_set_size_request(slot.widget, px(c.width), py(c.height));
    GtkWidget* parent = view.frame;
    if (c.page >= 0 && static_cast<size_t>(c.page) < view.pages.size()) {
      parent = view.pages[static_cast<size_t>(c.page)];
    }
    gtk_fixed_put(GTK_FIXED(parent), slot.widget, px(c.x), py(c.y));
  }
  gtk_widget_show_all(view.window);
  sync(view);
}

int32_t runDialog(const NivexaDialogHost* host, uintptr_t /*parent: a message sink on Linux*/) {
  static bool tried = false;
  static bool started = false;
  if (!started) {
    if (!tried) {
      // The application's locale is its own business: GTK must not change it.
      gtk_disable_setlocale();
      tried = true;
    }
    started = gtk_init_check(nullptr, nullptr) != FALSE;
    if (!started) {
      return NIVEXA_DIALOG_NO_DISPLAY;
    }
  }
  applyStyle();
  View view;
  view.host = host;
  view.loop = g_main_loop_new(nullptr, FALSE);
  build(view);
  const guint timer = g_timeout_add(kPollMs, onPoll, &view);
  g_main_loop_run(view.loop);
  g_source_remove(timer);
  gtk_widget_destroy(view.window);
  // Let the window's unmap and destruction reach the display before the call returns.
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  g_main_loop_unref(view.loop);
  return NIVEXA_DIALOG_CLOSED;
}

}  // namespace

extern "C" __attribute__((visibility("default")))
const NivexaDialogModuleInfo nivexa_dialog_module_info = {NIVEXA_DIALOG_API_VERSION, runDialog};
