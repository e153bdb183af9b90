#include "platform/RegistryText.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/ByteOrder.h"

namespace nivexa::platform::regtext {

namespace {

// Map keys: ASCII case folded, and the separator folded to the lowest byte so that a key's
// descendants sort directly after it and before any sibling that shares its name as a prefix.
constexpr char kFoldedSeparator = '\x01';

char foldChar(char c) {
  if (c >= 'A' && c <= 'Z') {
    return static_cast<char>(c - 'A' + 'a');
  }
  return c == '\\' ? kFoldedSeparator : c;
}

std::string fold(std::string_view text) {
  std::string folded(text.size(), '\0');
  std::transform(text.begin(), text.end(), folded.begin(), foldChar);
  return folded;
}

bool isControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

// Written in lower case, as regedit writes; read in either case.
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr uint32_t kNibbleMask = 0x0F;
constexpr int kNibbleBits = 4;
constexpr int kTopNibbleShift = std::numeric_limits<uint32_t>::digits - kNibbleBits;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimTrailingBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string_view trimLeadingBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  return text;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && fold(text.substr(0, prefix.size())) == fold(prefix);
}

// Reads a quoted text with the two escapes of the format (\\ and \") from the front of `line`,
// which starts at the opening quote. Returns the text and leaves `line` after the closing quote.
std::optional<std::string> readQuoted(std::string_view& line) {
  std::string text;
  size_t i = 1;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      return text;
    }
    if (isControl(c)) {
      return std::nullopt;
    }
    if (c == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) {
        return std::nullopt;
      }
      ++i;
      text.push_back(line[i]);
      continue;
    }
    text.push_back(c);
  }
  return std::nullopt;
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr size_t kUtf16UnitBytes = 2;
constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateEnd = 0xE000;
constexpr uint32_t kSurrogateBits = 10;
constexpr uint32_t kFirstSupplementary = 0x10000;
constexpr uint32_t kBitsPerByte = 8;

// Every export starts with the header, so UTF-16LE without a byte order mark shows as an ASCII
// letter followed by a zero byte; UTF-8 text never holds a zero byte the parser would accept.
bool isUtf16(std::string_view text) {
  return text.starts_with(kUtf16Mark) ||
         (text.size() >= kUtf16UnitBytes && text[0] != '\0' && text[1] == '\0');
}

void appendUtf8(std::string& out, uint32_t codePoint) {
  constexpr uint32_t kOneByteEnd = 0x80;
  constexpr uint32_t kTwoBytesEnd = 0x800;
  constexpr uint32_t kLeadOfTwo = 0xC0;
  constexpr uint32_t kLeadOfThree = 0xE0;
  constexpr uint32_t kLeadOfFour = 0xF0;
  constexpr uint32_t kContinuation = 0x80;
  constexpr uint32_t kContinuationBits = 6;
  constexpr uint32_t kContinuationMask = (1u << kContinuationBits) - 1;
  auto put = [&out](uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  auto continuation = [&](uint32_t shift) {
    put(kContinuation | (codePoint >> shift & kContinuationMask));
  };
  if (codePoint < kOneByteEnd) {
    put(codePoint);
  } else if (codePoint < kTwoBytesEnd) {
    put(kLeadOfTwo | codePoint >> kContinuationBits);
    continuation(0);
  } else if (codePoint < kFirstSupplementary) {
    put(kLeadOfThree | codePoint >> (2 * kContinuationBits));
    continuation(kContinuationBits);
    continuation(0);
  } else {
    put(kLeadOfFour | codePoint >> (3 * kContinuationBits));
    continuation(2 * kContinuationBits);
    continuation(kContinuationBits);
    continuation(0);
  }
}

// UTF-16LE bytes as UTF-8; nothing for an odd byte count or a surrogate without its partner,
// which no editor writes and which could only be guessed at.
std::optional<std::string> utf8FromUtf16(std::string_view bytes) {
  if (bytes.size() % kUtf16UnitBytes != 0) {
    return std::nullopt;
  }
  auto unitAt = [bytes](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << kBitsPerByte;
  };
  std::string out;
  out.reserve(bytes.size() / kUtf16UnitBytes);
  for (size_t at = 0; at < bytes.size(); at += kUtf16UnitBytes) {
    const uint32_t unit = unitAt(at);
    if (unit < kHighSurrogateFirst || unit >= kSurrogateEnd) {
      appendUtf8(out, unit);
      continue;
    }
    if (unit >= kLowSurrogateFirst || at + kUtf16UnitBytes >= bytes.size()) {
      return std::nullopt;
    }
    at += kUtf16UnitBytes;
    const uint32_t low = unitAt(at);
    if (low < kLowSurrogateFirst || low >= kSurrogateEnd) {
      return std::nullopt;
    }
    appendUtf8(out, kFirstSupplementary + ((unit - kHighSurrogateFirst) << kSurrogateBits) +
                        (low - kLowSurrogateFirst));
  }
  return out;
}

// The reader: one handler per state, fed one line at a time.
class Parser {
 public:
  ParseResult run(std::string_view text) {
    if (text.starts_with(kUtf8Mark)) {
      text.remove_prefix(kUtf8Mark.size());
    }
    size_t lineNumber = 0;
    while (!failed_) {
      ++lineNumber;
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (line.ends_with('\r')) {
        line.remove_suffix(1);
      }
      if (line.find('\0') != std::string_view::npos) {
        fail("a zero byte");
      } else {
        switch (state_) {
          case State::Header:
            onHeader(line);
            break;
          case State::Body:
            onBody(line);
            break;
          case State::HexContinuation:
            onHexContinuation(line);
            break;
        }
      }
      if (failed_) {
        result_.errorLine = lineNumber;
        break;
      }
      if (end == std::string_view::npos) {
        break;
      }
      text.remove_prefix(end + 1);
    }
    if (!failed_ && state_ == State::Header) {
      fail("no header");
      result_.errorLine = 1;
    }
    if (!failed_ && state_ == State::HexContinuation) {
      fail("a hex value cut short at the end of the file");
      result_.errorLine = lineNumber;
    }
    result_.ok = !failed_;
    if (failed_) {
      result_.document = Document();
    }
    return std::move(result_);
  }

 private:
  enum class State { Header, Body, HexContinuation };

  void fail(std::string reason) {
    failed_ = true;
    result_.error = std::move(reason);
  }

  void onHeader(std::string_view line) {
    if (trimTrailingBlanks(line) != kHeader) {
      fail("not a registry export: the first line is not the header");
      return;
    }
    state_ = State::Body;
  }

  void onBody(std::string_view line) {
    const std::string_view content = trimLeadingBlanks(line);
    if (content.empty() || content.front() == ';') {
      return;
    }
    if (line.front() == '[') {
      onKeyLine(trimTrailingBlanks(line));
    } else if (line.front() == '"' || line.front() == '@') {
      onValueLine(line);
    } else {
      fail("a line that is neither a key, a value nor a comment");
    }
  }

  void onKeyLine(std::string_view line) {
    if (!line.ends_with(']')) {
      fail("a key line without its closing bracket");
      return;
    }
    line = line.substr(1, line.size() - 2);
    const bool removal = line.starts_with('-');
    if (removal) {
      line.remove_prefix(1);
    }
    if (!startsWithFolded(line, kRootName)) {
      fail("a key outside HKEY_CURRENT_USER");
      return;
    }
    line.remove_prefix(kRootName.size());
    if (!line.empty()) {
      if (line.front() != '\\') {
        fail("a key outside HKEY_CURRENT_USER");
        return;
      }
      line.remove_prefix(1);
    }
    if (!validKeyPath(line)) {
      fail("a key name that is empty, too long, too deep or holds control characters");
      return;
    }
    if (removal) {
      result_.document.remove(line);
      currentKey_ = nullptr;
    } else {
      currentKey_ = &result_.document.create(line);
    }
  }

  void onValueLine(std::string_view line) {
    if (currentKey_ == nullptr) {
      fail("a value before any key");
      return;
    }
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else {
      auto text = readQuoted(line);
      if (!text || !validValueName(*text)) {
        fail("a malformed value name");
        return;
      }
      name = std::move(*text);
    }
    line = trimLeadingBlanks(line);
    if (!line.starts_with('=')) {
      fail("a value name without '='");
      return;
    }
    line = trimLeadingBlanks(line.substr(1));
    onValueData(std::move(name), line);
  }

  void onValueData(std::string name, std::string_view data) {
    Value value;
    value.name = std::move(name);
    if (trimTrailingBlanks(data) == "-") {
      currentKey_->remove(value.name);
      return;
    }
    if (data.starts_with('"')) {
      auto text = readQuoted(data);
      if (!text || !trimTrailingBlanks(data).empty()) {
        fail("a malformed string value");
        return;
      }
      value.type = kTypeString;
      value.form = Form::String;
      value.data.assign(text->begin(), text->end());
      currentKey_->set(std::move(value));
      return;
    }
    if (data.starts_with("dword:")) {
      data = trimTrailingBlanks(data.substr(6));
      uint32_t number = 0;
      if (data.size() != 8) {
        fail("a dword value that is not eight hex digits");
        return;
      }
      for (const char c : data) {
        const int digit = hexDigit(c);
        if (digit < 0) {
          fail("a dword value that is not eight hex digits");
          return;
        }
        number = (number << kNibbleBits) | static_cast<uint32_t>(digit);
      }
      value.type = kTypeDword;
      value.form = Form::Dword;
      value.data = dwordBytes(number);
      currentKey_->set(std::move(value));
      return;
    }
    if (data.starts_with("hex:")) {
      value.type = kTypeBinary;
      value.form = Form::Hex;
      data.remove_prefix(4);
    } else if (data.starts_with("hex(")) {
      data.remove_prefix(4);
      const size_t close = data.find("):");
      if (close == std::string_view::npos || close == 0 || close > 8) {
        fail("a malformed typed hex value");
        return;
      }
      uint32_t type = 0;
      for (const char c : data.substr(0, close)) {
        const int digit = hexDigit(c);
        if (digit < 0) {
          fail("a malformed typed hex value");
          return;
        }
        type = (type << kNibbleBits) | static_cast<uint32_t>(digit);
      }
      value.type = type;
      value.form = Form::TypedHex;
      data.remove_prefix(close + 2);
    } else {
      fail("a value of unknown form");
      return;
    }
    pending_ = std::move(value);
    onHexBytes(data);
  }

  void onHexContinuation(std::string_view line) {
    line = trimLeadingBlanks(line);
    if (trimTrailingBlanks(line).empty()) {
      fail("a hex continuation line without bytes");
      return;
    }
    onHexBytes(line);
  }

  // A run of "xx," bytes; a trailing "\" after a comma continues on the next line.
  void onHexBytes(std::string_view line) {
    line = trimTrailingBlanks(line);
    bool continues = false;
    if (line.ends_with('\\')) {
      continues = true;
      line = trimTrailingBlanks(line.substr(0, line.size() - 1));
      if (!line.ends_with(',')) {
        fail("a hex continuation that does not follow a comma");
        return;
      }
    }
    while (!line.empty()) {
      if (line.size() < 2 || hexDigit(line[0]) < 0 || hexDigit(line[1]) < 0) {
        fail("a hex byte that is not two hex digits");
        return;
      }
      pending_.data.push_back(
          static_cast<uint8_t>(hexDigit(line[0]) << kNibbleBits | hexDigit(line[1])));
      line = trimLeadingBlanks(line.substr(2));
      if (line.empty()) {
        break;
      }
      if (line.front() != ',') {
        fail("hex bytes not separated by commas");
        return;
      }
      line = trimLeadingBlanks(line.substr(1));
      if (line.empty() && !continues) {
        fail("a hex value that ends in a comma");
        return;
      }
    }
    if (continues) {
      state_ = State::HexContinuation;
      return;
    }
    currentKey_->set(std::move(pending_));
    pending_ = Value();
    state_ = State::Body;
  }

  State state_ = State::Header;
  bool failed_ = false;
  ParseResult result_;
  Key* currentKey_ = nullptr;
  Value pending_;
};

void writeHexData(std::string& out, size_t lineLength, std::span<const uint8_t> bytes) {
  // Wrapped as regedit wraps: lines of at most 80 columns, continued after a comma.
  constexpr size_t kWrapColumn = 77;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      out.push_back(',');
      ++lineLength;
      if (lineLength + 3 > kWrapColumn) {
        out += "\\\r\n  ";
        lineLength = 2;
      }
    }
    out.push_back(kHexDigits[bytes[i] >> kNibbleBits]);
    out.push_back(kHexDigits[bytes[i] & kNibbleMask]);
    lineLength += 2;
  }
}

void writeValue(std::string& out, const Value& value) {
  const size_t lineStart = out.size();
  out += value.name.empty() ? std::string("@") : quoted(value.name);
  out.push_back('=');
  uint32_t number = 0;
  if (value.form == Form::Dword && dwordFromBytes(value.data, number)) {
    out += "dword:";
    for (int shift = kTopNibbleShift; shift >= 0; shift -= kNibbleBits) {
      out.push_back(kHexDigits[(number >> shift) & kNibbleMask]);
    }
  } else if (value.form == Form::String && value.type == kTypeString) {
    out += quoted(
        std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
  } else if (value.type == kTypeBinary && value.form != Form::TypedHex) {
    out += "hex:";
    writeHexData(out, out.size() - lineStart, value.data);
  } else {
    out += "hex(";
    bool leading = true;
    for (int shift = kTopNibbleShift; shift >= 0; shift -= kNibbleBits) {
      const uint32_t digit = (value.type >> shift) & kNibbleMask;
      if (digit == 0 && leading && shift > 0) {
        continue;
      }
      leading = false;
      out.push_back(kHexDigits[digit]);
    }
    out += "):";
    writeHexData(out, out.size() - lineStart, value.data);
  }
  out += "\r\n";
}

}  // namespace

std::vector<uint8_t> dwordBytes(uint32_t value) {
  std::vector<uint8_t> bytes(sizeof value);
  storeLe32(bytes, 0, value);
  return bytes;
}

bool dwordFromBytes(std::span<const uint8_t> bytes, uint32_t& value) {
  if (bytes.size() != sizeof value) {
    return false;
  }
  value = loadLe32(bytes, 0);
  return true;
}

bool validKeyPath(std::string_view path) {
  if (path.empty()) {
    return true;  // the root itself
  }
  size_t depth = 0;
  while (true) {
    const size_t separator = path.find('\\');
    const std::string_view name = path.substr(0, separator);
    if (name.empty() || name.size() > kMaxKeyNameLength || ++depth > kMaxKeyDepth ||
        std::any_of(name.begin(), name.end(), isControl)) {
      return false;
    }
    if (separator == std::string_view::npos) {
      return true;
    }
    path.remove_prefix(separator + 1);
  }
}

bool validValueName(std::string_view name) {
  return name.size() <= kMaxValueNameLength && std::none_of(name.begin(), name.end(), isControl);
}

const Value* Key::find(std::string_view name) const {
  const auto it = index_.find(fold(name));
  return it == index_.end() ? nullptr : &values_.at(it->second);
}

void Key::set(Value value) {
  const auto [it, inserted] = index_.try_emplace(fold(value.name), nextPlace_);
  if (inserted) {
    values_.emplace(nextPlace_++, std::move(value));
  } else {
    values_.at(it->second) = std::move(value);
  }
}

void Key::remove(std::string_view name) {
  const auto it = index_.find(fold(name));
  if (it == index_.end()) {
    return;
  }
  values_.erase(it->second);
  index_.erase(it);
}

// The numbering is private: two keys with the same values in the same order are equal.
bool Key::operator==(const Key& other) const {
  const Values mine = values();
  const Values theirs = other.values();
  return path_ == other.path_ && std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end());
}

const Key* Document::find(std::string_view path) const {
  const auto it = keys_.find(fold(path));
  return it == keys_.end() ? nullptr : &it->second;
}

bool Document::exists(std::string_view path) const {
  if (path.empty()) {
    return true;
  }
  const std::string folded = fold(path);
  if (keys_.contains(folded)) {
    return true;
  }
  const std::string prefix = folded + kFoldedSeparator;
  const auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && it->first.starts_with(prefix);
}

Key& Document::create(std::string_view path) {
  return keys_.try_emplace(fold(path), std::string(path)).first->second;
}

void Document::remove(std::string_view path) {
  if (path.empty()) {
    keys_.clear();
    return;
  }
  const std::string folded = fold(path);
  const bool existed = exists(path);
  keys_.erase(folded);
  const std::string prefix = folded + kFoldedSeparator;
  auto it = keys_.lower_bound(prefix);
  while (it != keys_.end() && it->first.starts_with(prefix)) {
    it = keys_.erase(it);
  }
  const size_t separator = path.rfind('\\');
  if (existed && separator != std::string_view::npos) {
    create(path.substr(0, separator));
  }
}

std::vector<std::string> Document::subkeyNames(std::string_view path) const {
  const std::string prefix = path.empty() ? std::string() : fold(path) + kFoldedSeparator;
  std::vector<std::string> names;
  std::string lastFolded;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.starts_with(prefix);
       ++it) {
    if (it->first.size() == prefix.size()) {
      continue;  // the root itself
    }
    const std::string_view rest = std::string_view(it->second.path()).substr(prefix.size());
    const std::string_view name = rest.substr(0, rest.find('\\'));
    std::string folded = fold(name);
    if (names.empty() || folded != lastFolded) {
      names.emplace_back(name);
      lastFolded = std::move(folded);
    }
  }
  return names;
}

ParseResult parse(std::string_view text) {
  if (!isUtf16(text)) {
    return Parser().run(text);
  }
  if (text.starts_with(kUtf16Mark)) {
    text.remove_prefix(kUtf16Mark.size());
  }
  const std::optional<std::string> utf8 = utf8FromUtf16(text);
  if (!utf8) {
    ParseResult result;
    result.errorLine = 1;
    result.error = "UTF-16 text with an odd byte count or an unpaired surrogate";
    return result;
  }
  return Parser().run(*utf8);
}

std::string write(const Document& document) {
  std::string out(kHeader);
  out += "\r\n\r\n";
  for (const auto& [folded, key] : document.keys()) {
    out.push_back('[');
    out += kRootName;
    if (!key.path().empty()) {
      out.push_back('\\');
      out += key.path();
    }
    out += "]\r\n";
    for (const Value& value : key.values()) {
      writeValue(out, value);
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace nivexa::platform::regtext
