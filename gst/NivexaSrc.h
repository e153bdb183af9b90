#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_NIVEXA_SRC (gst_nivexa_src_get_type())
G_DECLARE_FINAL_TYPE(GstNivexaSrc, gst_nivexa_src, GST, NIVEXA_SRC, GstPushSrc)

// The trigger property's values.
typedef enum {
  GST_NIVEXA_TRIGGER_NONE = 0,
  GST_NIVEXA_TRIGGER_SOFTWARE = 1,
  GST_NIVEXA_TRIGGER_HARDWARE = 2,
} GstNivexaTrigger;

#define GST_TYPE_NIVEXA_TRIGGER (gst_nivexa_trigger_get_type())
GType gst_nivexa_trigger_get_type(void);

// Registers nivexasrc with plugin (NULL: for this process only, as tests and benchmarks do).
gboolean gst_nivexa_src_register(GstPlugin* plugin);

G_END_DECLS
