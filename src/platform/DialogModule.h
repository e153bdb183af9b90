#pragma once

/* The interface between the library and a dialog view module (the GTK module on Linux). The
   library owns the dialog model; the module only draws it and reports what the user does, so
   it never needs the library's code, and the library never links a GUI toolkit. Plain C: the
   two sides may be built by different compilers. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NIVEXA_DIALOG_API_VERSION 1u
/* The name of the module's one exported symbol, a NivexaDialogModuleInfo. */
#define NIVEXA_DIALOG_MODULE_SYMBOL "nivexa_dialog_module_info"

enum NivexaDialogControlKind {
  NIVEXA_DLG_TEXT = 0,   /* static text */
  NIVEXA_DLG_GROUP = 1,  /* group box */
  NIVEXA_DLG_SLIDER = 2, /* trackbar */
  NIVEXA_DLG_EDIT = 3,   /* edit box */
  NIVEXA_DLG_UPDOWN = 4, /* up-down arrows bound to the edit box of the same slider group */
  NIVEXA_DLG_CHECK = 5,
  NIVEXA_DLG_RADIO = 6,
  NIVEXA_DLG_BUTTON = 7,
  NIVEXA_DLG_COMBO = 8,
  NIVEXA_DLG_TAB = 9 /* the frame's tab control: its pages are the dialog's pages */
};

/* One control as it is now. Geometry is in dialog units, relative to its page (page -1: the
   frame). Texts are UTF-8 with "&" before the mnemonic letter, valid until the next call. */
typedef struct NivexaDialogControl {
  int32_t page;
  int32_t id;
  int32_t kind;
  int32_t x, y, width, height;
  const char* text; /* label, or the edit box's text */
  int32_t value;    /* trackbar position, check or radio state, combo selection (-1 none) */
  int32_t minimum;  /* trackbar range */
  int32_t maximum;
  int32_t pageSize;
  int32_t enabled;
  int32_t visible;
  int32_t itemCount; /* combo entries, read with item() */
} NivexaDialogControl;

typedef struct NivexaDialogHost {
  void* context;
  int32_t japanese;
  /* Frame: caption and size in dialog units, its pages with their titles and sizes. */
  const char* (*caption)(void* context);
  void (*frameSize)(void* context, int32_t* width, int32_t* height);
  int32_t (*pageCount)(void* context);
  const char* (*pageTitle)(void* context, int32_t page);
  void (*pageSize)(void* context, int32_t page, int32_t* width, int32_t* height);
  /* Controls, by index 0..controlCount-1 (ids repeat across pages). */
  int32_t (*controlCount)(void* context);
  void (*control)(void* context, int32_t index, NivexaDialogControl* out);
  const char* (*item)(void* context, int32_t index, int32_t item);
  /* What the user did. After each, the view reads every control again. */
  void (*slide)(void* context, int32_t index, int32_t position);
  void (*step)(void* context, int32_t index, int32_t delta);
  void (*type)(void* context, int32_t index, const char* text);
  void (*commit)(void* context, int32_t index); /* Enter or focus leaving an edit box */
  void (*click)(void* context, int32_t index);  /* button, check box, radio button */
  void (*choose)(void* context, int32_t index, int32_t item);
  /* A frame button (OK, Cancel, Default, Apply) or closing the window (Cancel): 1 when the
     dialog is to close. */
  int32_t (*press)(void* context, int32_t buttonId);
  /* Called periodically: 1 when values changed behind the dialog (live refreshes). */
  int32_t (*poll)(void* context);
  /* The Windows dialog template of a page (-1: of the frame); 0 when the page's controls are
     in the frame's template. */
  int32_t (*resource)(void* context, int32_t page);
} NivexaDialogHost;

/* What run() returns. */
#define NIVEXA_DIALOG_CLOSED 1      /* the dialog ran and was closed */
#define NIVEXA_DIALOG_NO_DISPLAY -1 /* the toolkit could not start (no display) */
#define NIVEXA_DIALOG_NO_VIEW -2    /* (library side) no view module could be loaded */

typedef struct NivexaDialogModuleInfo {
  uint32_t apiVersion;
  /* Shows the dialog modally on the calling thread until it closes. `parent` is the caller's
     window handle, passed through. */
  int32_t (*run)(const NivexaDialogHost* host, uintptr_t parent);
} NivexaDialogModuleInfo;

#ifdef __cplusplus
}
#endif
