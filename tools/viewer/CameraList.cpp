#include "CameraList.h"

#include "Signals.h"

namespace nivexa::viewer {

namespace {
enum Column { kNameColumn, kStateColumn, kColumnCount };
constexpr int kSpacing = 4;
constexpr int kListHeight = 90;
}  // namespace

CameraList::CameraList(Camera& camera, std::function<void(int)> onOpen,
                       std::function<void()> onClose)
    : camera_(camera) {
  box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, kSpacing);
  store_ = gtk_list_store_new(kColumnCount, G_TYPE_STRING, G_TYPE_STRING);
  view_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
  g_object_unref(store_);
  gtk_widget_set_name(view_, "camera-list");
  gtk_tree_view_append_column(GTK_TREE_VIEW(view_), gtk_tree_view_column_new_with_attributes(
                                                        "Camera", gtk_cell_renderer_text_new(),
                                                        "text", kNameColumn, nullptr));
  gtk_tree_view_append_column(GTK_TREE_VIEW(view_),
                              gtk_tree_view_column_new_with_attributes(
                                  "", gtk_cell_renderer_text_new(), "text", kStateColumn, nullptr));
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_size_request(scroller, -1, kListHeight);
  gtk_container_add(GTK_CONTAINER(scroller), view_);
  gtk_box_pack_start(GTK_BOX(box_), scroller, TRUE, TRUE, 0);

  virtualNote_ = gtk_label_new("Virtual camera: no camera was attached.");
  gtk_widget_set_no_show_all(virtualNote_, TRUE);
  gtk_label_set_xalign(GTK_LABEL(virtualNote_), 0.0f);
  gtk_box_pack_start(GTK_BOX(box_), virtualNote_, FALSE, FALSE, 0);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kSpacing);
  GtkWidget* open = gtk_button_new_with_label("Open");
  GtkWidget* close = gtk_button_new_with_label("Close");
  gtk_widget_set_name(open, "open-camera");
  gtk_widget_set_name(close, "close-camera");
  gtk_box_pack_start(GTK_BOX(buttons), open, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(buttons), close, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box_), buttons, FALSE, FALSE, 0);

  onSignal(open, "clicked", [this, onOpen] {
    const int row = selected();
    if (row >= 0) {
      onOpen(row);
    }
  });
  onSignal(close, "clicked", onClose);
  connect<GtkTreePath*, GtkTreeViewColumn*>(view_, "row-activated",
                                            [onOpen](GtkTreePath* path, GtkTreeViewColumn*) {
                                              onOpen(gtk_tree_path_get_indices(path)[0]);
                                            });
}

void CameraList::refresh() {
  names_ = camera_.list();
  gtk_list_store_clear(store_);
  for (size_t i = 0; i < names_.size(); ++i) {
    GtkTreeIter iter;
    gtk_list_store_append(store_, &iter);
    const bool open = camera_.openNumber() == static_cast<int>(i);
    gtk_list_store_set(store_, &iter, kNameColumn, names_[i].c_str(), kStateColumn,
                       open ? "open" : "", -1);
    if (open) {
      gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(view_)), &iter);
    }
  }
}

void CameraList::setVirtual(bool isVirtual) {
  gtk_widget_set_visible(virtualNote_, isVirtual);
}

int CameraList::selected() const {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view_)), &model,
                                       &iter)) {
    return names_.empty() ? -1 : 0;
  }
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  const int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return row;
}

}  // namespace nivexa::viewer
