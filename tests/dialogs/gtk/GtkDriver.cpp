#include "dialogs/gtk/GtkDriver.h"

#include <gtest/gtest.h>

namespace nivexa::dialogs::test {

namespace {

constexpr guint kTickMs = 40;
constexpr int kMaxTicks = 30000 / static_cast<int>(kTickMs);

GtkWidget* findNamed(GtkWidget* widget, const std::string& name) {
  if (name == gtk_widget_get_name(widget)) {
    return widget;
  }
  if (!GTK_IS_CONTAINER(widget)) {
    return nullptr;
  }
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next) {
    found = findNamed(GTK_WIDGET(child->data), name);
  }
  g_list_free(children);
  return found;
}

void collectLabels(GtkWidget* widget, std::vector<std::string>& out) {
  if (GTK_IS_LABEL(widget)) {
    out.emplace_back(gtk_label_get_text(GTK_LABEL(widget)));
  }
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child != nullptr; child = child->next) {
      collectLabels(GTK_WIDGET(child->data), out);
    }
    g_list_free(children);
  }
}

GtkWidget* require(int page, int id) {
  GtkWidget* widget = control(page, id);
  if (widget == nullptr) {
    ADD_FAILURE() << "no widget " << id << " on page " << page;
  }
  return widget;
}

}  // namespace

Script& Script::then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

Script& Script::act(std::function<void()> action) {
  return then([action = std::move(action)] {
    action();
    return true;
  });
}

gboolean Script::tick(gpointer self) {
  auto* script = static_cast<Script*>(self);
  // The source lives until run() removes it: a script outlives no dialog.
  if (script->finished()) {
    return G_SOURCE_CONTINUE;
  }
  if (++script->ticks_ > kMaxTicks) {
    ADD_FAILURE() << "script stuck at step " << script->next_;
    script->next_ = script->steps_.size();
    if (GtkWidget* window = dialogWindow()) {
      gtk_window_close(GTK_WINDOW(window));
    }
    return G_SOURCE_CONTINUE;
  }
  if (dialogWindow() == nullptr || !gtk_widget_get_mapped(dialogWindow())) {
    return G_SOURCE_CONTINUE;
  }
  if (script->steps_[script->next_]()) {
    ++script->next_;
  }
  return G_SOURCE_CONTINUE;
}

int Script::run(const std::function<int()>& open) {
  next_ = 0;
  ticks_ = 0;
  const guint source = g_timeout_add(kTickMs, tick, this);
  const int result = open();
  g_source_remove(source);
  return result;
}

GtkWidget* dialogWindow() {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w != nullptr; w = w->next) {
    GtkWidget* widget = GTK_WIDGET(w->data);
    if (gtk_widget_get_visible(widget) && findNamed(widget, "1001") != nullptr) {
      found = widget;
    }
  }
  g_list_free(windows);
  return found;
}

GtkWidget* control(int page, int id) {
  GtkWidget* window = dialogWindow();
  if (window == nullptr) {
    return nullptr;
  }
  const std::string name = std::to_string(id);
  if (page < 0) {
    return findNamed(window, name);
  }
  GtkWidget* tabs = findNamed(window, "1001");
  GtkWidget* pageWidget = gtk_notebook_get_nth_page(GTK_NOTEBOOK(tabs), page);
  return pageWidget != nullptr ? findNamed(pageWidget, name) : nullptr;
}

std::vector<std::string> labelsUnder(GtkWidget* widget) {
  std::vector<std::string> out;
  if (widget != nullptr) {
    collectLabels(widget, out);
  }
  return out;
}

void moveSlider(int page, int id, double value) {
  if (GtkWidget* w = require(page, id)) {
    gtk_range_set_value(GTK_RANGE(w), value);
  }
}

void typeAndEnter(int page, int id, const std::string& text) {
  if (GtkWidget* w = require(page, id)) {
    gtk_entry_set_text(GTK_ENTRY(w), text.c_str());
    g_signal_emit_by_name(w, "activate");
  }
}

void press(int page, int id) {
  if (GtkWidget* w = require(page, id)) {
    gtk_button_clicked(GTK_BUTTON(w));
  }
}

void clickArrow(int page, int id, int delta) {
  GtkWidget* box = require(page, id);
  if (box == nullptr) {
    return;
  }
  GList* arrows = gtk_container_get_children(GTK_CONTAINER(box));
  GList* arrow = delta > 0 ? arrows : g_list_last(arrows);
  if (arrow != nullptr) {
    gtk_button_clicked(GTK_BUTTON(arrow->data));
  }
  g_list_free(arrows);
}

void chooseEntry(int page, int id, int entry) {
  if (GtkWidget* w = require(page, id)) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(w), entry);
  }
}

std::string entryText(int page, int id) {
  GtkWidget* w = require(page, id);
  return w != nullptr ? gtk_entry_get_text(GTK_ENTRY(w)) : "";
}

std::string activeEntry(int page, int id) {
  GtkWidget* w = require(page, id);
  if (w == nullptr) {
    return "";
  }
  gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(w));
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}

void showPage(int page) {
  if (GtkWidget* tabs = control(-1, 1001)) {
    gtk_notebook_set_current_page(GTK_NOTEBOOK(tabs), page);
  }
}

bool screenshot(const std::string& path) {
  GtkWidget* window = dialogWindow();
  if (window == nullptr) {
    return false;
  }
  // Drawn from the widgets themselves, so that nothing on the screen above the window shows.
  const int width = gtk_widget_get_allocated_width(window);
  const int height = gtk_widget_get_allocated_height(window);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  const bool saved = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return saved;
}

}  // namespace nivexa::dialogs::test
