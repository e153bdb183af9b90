// nivexa-viewer: a desktop viewer for the cameras the Nivexa library drives.
//
//   nivexa-viewer                    the window
//   nivexa-viewer --measure SECONDS  the window for SECONDS, then prints what the display kept
//                                    up with and closes

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ViewerWindow.h"

namespace {

constexpr guint kMillisecondsPerSecond = 1000;
constexpr double kMicrosecondsPerMillisecond = 1000.0;

struct Measurement {
  nivexa::viewer::ViewerWindow* window = nullptr;
  nivexa::viewer::FrameCounts start;
};

int usage() {
  std::fprintf(stderr, "usage: nivexa-viewer [--measure SECONDS]\n");
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  double measureSeconds = 0.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--measure") == 0 && i + 1 < argc) {
      char* end = nullptr;
      measureSeconds = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || measureSeconds <= 0) {
        return usage();
      }
    } else {
      return usage();
    }
  }
  auto viewer = std::make_unique<nivexa::viewer::ViewerWindow>();
  g_signal_connect(viewer->window(), "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  if (!viewer->start()) {
    std::fprintf(stderr, "nivexa-viewer: the library could not be used\n");
    return EXIT_FAILURE;
  }
  Measurement measurement;
  measurement.window = viewer.get();
  if (measureSeconds > 0) {
    // The counts start once the window is up and the first frame is shown, so that start-up is
    // not counted as a stall.
    g_timeout_add(
        kMillisecondsPerSecond,
        +[](gpointer data) -> gboolean {
          auto* m = static_cast<Measurement*>(data);
          m->start = m->window->counts();
          m->window->resetMeasurement();
          return G_SOURCE_REMOVE;
        },
        &measurement);
    g_timeout_add(
        static_cast<guint>(measureSeconds * kMillisecondsPerSecond) + kMillisecondsPerSecond,
        +[](gpointer data) -> gboolean {
          auto* m = static_cast<Measurement*>(data);
          const auto end = m->window->counts();
          std::printf(
              "measure: %llu frames delivered, %llu shown, %llu skipped, longest stall "
              "%.1f ms, oldest frame shown %.1f ms%s\n",
              static_cast<unsigned long long>(end.delivered - m->start.delivered),
              static_cast<unsigned long long>(end.shown - m->start.shown),
              static_cast<unsigned long long>(end.skipped - m->start.skipped),
              static_cast<double>(m->window->longestStallUs()) / kMicrosecondsPerMillisecond,
              static_cast<double>(m->window->oldestShownUs()) / kMicrosecondsPerMillisecond,
              m->window->streaming() ? "" : " (no stream)");
          std::fflush(stdout);
          gtk_widget_destroy(m->window->window());
          return G_SOURCE_REMOVE;
        },
        &measurement);
  }
  gtk_main();
  viewer.reset();
  return EXIT_SUCCESS;
}
