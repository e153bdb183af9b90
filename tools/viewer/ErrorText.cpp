#include "ErrorText.h"

#include <NivexaSdk.h>

namespace nivexa::viewer {

const char* errorMeaning(int32_t code) {
  switch (code) {
    case NIVEXA_OK:
      return "no error";
    case NIVEXA_ERR_NO_CAMERA:
      return "no camera, or not allowed while another acquisition runs";
    case NIVEXA_ERR_DEVICE:
      return "the camera is not present or did not open";
    case NIVEXA_ERR_THREAD:
      return "the acquisition thread could not be started";
    case NIVEXA_ERR_WINDOW:
      return "a window could not be made";
    case NIVEXA_ERR_MEMORY:
      return "a buffer is missing or too small";
    case NIVEXA_ERR_REGISTER:
      return "the camera did not take a command";
    case NIVEXA_ERR_FORMAT:
      return "the capture window is not valid";
    case NIVEXA_ERR_FRAME:
      return "no frame came in time";
    case NIVEXA_ERR_ARGUMENT:
      return "a value out of range or not accepted";
    case NIVEXA_ERR_UNSUPPORTED:
      return "not supported by this camera";
    case NIVEXA_ERR_TEXT:
      return "a text, temperature read or recording failed";
    case NIVEXA_ERR_STREAM_LOST:
      return "the camera stopped delivering frames (unplugged?)";
    case NIVEXA_ERR_MASK_FILE:
      return "the mask file could not be opened or does not match";
    default:
      return "unknown error";
  }
}

std::string describeError(int32_t code) {
  return "error " + std::to_string(code) + ": " + errorMeaning(code);
}

}  // namespace nivexa::viewer
