// A small JSON writer for the tool's --json output: values are written as they come, commas and
// nesting kept track of, text escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nivexa::tool {

class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(double number);
  JsonWriter& value(int64_t number);
  JsonWriter& value(uint64_t number);
  JsonWriter& value(int32_t number) { return value(int64_t{number}); }
  JsonWriter& value(uint32_t number) { return value(uint64_t{number}); }
  JsonWriter& value(bool flag);
  JsonWriter& null();
  // The document so far, with a final line feed once every object and array is closed.
  std::string text() const;

 private:
  void separate();
  std::string out_;
  std::vector<bool> first_;  // per open object or array: no member written yet
  bool afterKey_ = false;
};

}  // namespace nivexa::tool
