#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The registry of the current user as a text document in the format of a Windows registry
// export ("Windows Registry Editor Version 5.00"), so that a person can read and edit it and
// the same file imports on Windows. Portable: no OS calls; the file store lives in posix/.
namespace nivexa::platform::regtext {

// Value types with their Windows numbers (REG_SZ, REG_BINARY, REG_DWORD, ...).
inline constexpr uint32_t kTypeString = 1;
inline constexpr uint32_t kTypeBinary = 3;
inline constexpr uint32_t kTypeDword = 4;

// Limits of the Windows registry; keys and names beyond them are refused on both platforms, so
// a file accepted here also imports there.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxValueNameLength = 16383;

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

// How a value is spelled in the text; kept so that rewriting a hand-edited file changes nothing
// that was not changed.
enum class Form { Dword, Hex, TypedHex, String };

struct Value {
  std::string name;  // empty for the default value ("@")
  uint32_t type = kTypeBinary;
  Form form = Form::Hex;
  std::vector<uint8_t> data;  // for Form::String the text itself, without a terminator

  bool operator==(const Value&) const = default;
};

// One key with its values in file order. Names compare without regard to ASCII case, as on
// Windows.
class Key {
 public:
  explicit Key(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  // The values in the order their names were first set.
  class Values {
   public:
    using Places = std::map<uint64_t, Value>;
    class Iterator {
     public:
      using iterator_category = std::forward_iterator_tag;
      using value_type = Value;
      using difference_type = std::ptrdiff_t;
      using pointer = const Value*;
      using reference = const Value&;

      Iterator() = default;
      explicit Iterator(Places::const_iterator at) : at_(at) {}
      const Value& operator*() const { return at_->second; }
      const Value* operator->() const { return &at_->second; }
      Iterator& operator++() {
        ++at_;
        return *this;
      }
      Iterator operator++(int) {
        Iterator before = *this;
        ++at_;
        return before;
      }
      bool operator==(const Iterator&) const = default;

     private:
      Places::const_iterator at_;
    };

    explicit Values(const Places& places) : places_(&places) {}
    Iterator begin() const { return Iterator(places_->begin()); }
    Iterator end() const { return Iterator(places_->end()); }
    size_t size() const { return places_->size(); }
    bool empty() const { return places_->empty(); }
    const Value& front() const { return places_->begin()->second; }

   private:
    const Places* places_;
  };
  Values values() const { return Values(values_); }
  const Value* find(std::string_view name) const;
  // Replaces a value of the same name in place, or appends it.
  void set(Value value);
  void remove(std::string_view name);

  bool operator==(const Key& other) const;

 private:
  std::string path_;  // below HKEY_CURRENT_USER, as first spelled
  // Keyed by a number that only grows, so that a removal renumbers nothing: a store with a long
  // history of settings and removals reads in time proportional to its length.
  std::map<uint64_t, Value> values_;
  std::unordered_map<std::string, uint64_t> index_;  // folded name -> its key in values_
  uint64_t nextPlace_ = 0;
};

// The whole store. Keys are kept in a flat ordered map, so a key's depth costs nothing but the
// length of its name, and each key's descendants follow it directly.
class Document {
 public:
  // A key spelled out in the document; null for one that only exists as the parent of others.
  const Key* find(std::string_view path) const;
  // Spelled out, or the parent of one that is, or the root.
  bool exists(std::string_view path) const;
  // The key, created when missing. The path must be valid (see validKeyPath).
  Key& create(std::string_view path);
  // Removes the key and everything below it; its parent stays, as on Windows.
  void remove(std::string_view path);
  // Names of the direct subkeys of a key, in order.
  std::vector<std::string> subkeyNames(std::string_view path) const;

  const std::map<std::string, Key>& keys() const { return keys_; }
  bool operator==(const Document&) const = default;

 private:
  std::map<std::string, Key> keys_;  // folded path, with '\' folded to the lowest byte
};

// A relative key path (components separated by '\') that Windows would accept.
bool validKeyPath(std::string_view path);
bool validValueName(std::string_view name);

struct ParseResult {
  bool ok = false;
  size_t errorLine = 0;  // 1-based line of the first fault
  std::string error;     // what was wrong there
  Document document;     // complete only when ok
};

// Reads a whole document, in UTF-8 or (as the Windows registry editor exports by default)
// UTF-16LE, either with or without a byte order mark. Any fault (an unknown line, a malformed
// value, a truncated hex run, a key outside HKEY_CURRENT_USER or beyond the limits) fails the whole
// text: a store that is only partly understood is not one to write back.
ParseResult parse(std::string_view text);

// The text of a document, in UTF-8 without a byte order mark; parse(write(d)) gives d back.
std::string write(const Document& document);

// Little-endian helpers for REG_DWORD data.
std::vector<uint8_t> dwordBytes(uint32_t value);
bool dwordFromBytes(std::span<const uint8_t> bytes, uint32_t& value);

}  // namespace nivexa::platform::regtext
