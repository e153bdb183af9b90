#include "api/ExportSupport.h"

using nivexa::api::withCamera;
using nivexa::api::withNarrowPath;
using nivexa::camera::CNivexa;

extern "C" {

NIVEXA_API BOOL Nivexa_SaveImage(LONG h, const char* path, LONG fileType) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SaveImage(path, fileType); });
}

NIVEXA_API BOOL Nivexa_SaveImageW(LONG h, const wchar_t* path, LONG fileType) {
  return withNarrowPath(
      h, path, [&](CNivexa& cam, const char* narrow) { return cam.SaveImage(narrow, fileType); });
}

NIVEXA_API BOOL Nivexa_Record(LONG h, const char* path, LONG durationMs, BOOL showWindow) {
  return withCamera(h, BOOL{0},
                    [&](CNivexa& cam) { return cam.Record(path, durationMs, showWindow); });
}

NIVEXA_API BOOL Nivexa_RecordW(LONG h, const wchar_t* path, LONG durationMs, BOOL showWindow) {
  // No path is the same refusal in both forms (error 9), not a failed conversion.
  if (path == nullptr) {
    return Nivexa_Record(h, nullptr, durationMs, showWindow);
  }
  return withNarrowPath(h, path, [&](CNivexa& cam, const char* narrow) {
    return cam.Record(narrow, durationMs, showWindow);
  });
}

NIVEXA_API BOOL Nivexa_LoadMaskFile(LONG h, const char* path) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.LoadMaskFile(path); });
}

NIVEXA_API BOOL Nivexa_LoadMaskFileW(LONG h, const wchar_t* path) {
  return withNarrowPath(h, path,
                        [](CNivexa& cam, const char* narrow) { return cam.LoadMaskFile(narrow); });
}

NIVEXA_API BOOL Nivexa_SaveMaskFile(LONG h, const char* path) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SaveMaskFile(path); });
}

NIVEXA_API BOOL Nivexa_SaveMaskFileW(LONG h, const wchar_t* path) {
  return withNarrowPath(h, path,
                        [](CNivexa& cam, const char* narrow) { return cam.SaveMaskFile(narrow); });
}

NIVEXA_API BOOL Nivexa_UpdateMaskData(LONG h, LONG kind) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.UpdateMaskData(kind); });
}

NIVEXA_API BOOL Nivexa_LoadConfigFileA(LONG h, const char* path) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.LoadConfigFile(path); });
}

NIVEXA_API BOOL Nivexa_LoadConfigFileW(LONG h, const wchar_t* path) {
  return withNarrowPath(
      h, path, [](CNivexa& cam, const char* narrow) { return cam.LoadConfigFile(narrow); });
}

}  // extern "C"
