// The gstnivexa plugin: nivexasrc, a live source over the camera's buffer streams.
#include <gst/gst.h>

#include "NivexaSrc.h"

#ifndef PACKAGE
#define PACKAGE "gstnivexa"
#endif

static gboolean pluginInit(GstPlugin* plugin) {
  return gst_nivexa_src_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, nivexa,
                  "Nivexa SWIR cameras as a live video source", pluginInit, NIVEXA_GST_VERSION,
                  "Proprietary", "NivexaSdk", "https://nivexa.invalid/")
