#pragma once

// Connects a GTK signal to a C++ callable kept alive for as long as the object: the viewer's
// panels react to their widgets without a static trampoline each.

#include <gtk/gtk.h>

#include <functional>
#include <type_traits>
#include <utility>

namespace nivexa::viewer {

template <typename... Args>
void connect(gpointer object, const char* signal,
             std::type_identity_t<std::function<void(Args...)>> handler) {
  using Handler = std::function<void(Args...)>;
  auto* kept = new Handler(std::move(handler));
  // Returns FALSE so that event signals go on to the default handlers; signals without a
  // result ignore it.
  auto trampoline = +[](gpointer, Args... args, gpointer data) -> gboolean {
    (*static_cast<Handler*>(data))(args...);
    return FALSE;
  };
  g_signal_connect_data(
      object, signal, G_CALLBACK(trampoline), kept,
      +[](gpointer data, GClosure*) { delete static_cast<Handler*>(data); }, GConnectFlags{});
}

// The common case: a signal whose handler needs none of its arguments.
inline void onSignal(gpointer object, const char* signal, std::function<void()> handler) {
  connect<>(object, signal, std::move(handler));
}

}  // namespace nivexa::viewer
