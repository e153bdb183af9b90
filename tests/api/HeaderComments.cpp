#include "HeaderComments.h"

#include <sstream>

namespace nivexa::api::testing {

namespace {

struct Line {
  std::string code;            // the text outside comments, trimmed
  bool hasComment = false;     // some comment text on this line
  bool commentAfter = false;   // a comment that starts after code
  bool endsInComment = false;  // the line ends inside or at the end of a comment
};

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Splits one line into code and comment, carrying the open block comment across lines.
Line split(const std::string& raw, bool& inBlock) {
  Line line;
  std::string code;
  size_t i = 0;
  bool lastWasComment = inBlock;
  while (i < raw.size()) {
    if (inBlock) {
      line.hasComment = true;
      const size_t end = raw.find("*/", i);
      if (end == std::string::npos) {
        i = raw.size();
        break;
      }
      inBlock = false;
      i = end + 2;
      lastWasComment = true;
      continue;
    }
    if (raw.compare(i, 2, "/*") == 0 || raw.compare(i, 2, "//") == 0) {
      line.hasComment = true;
      if (!trim(code).empty()) {
        line.commentAfter = true;
      }
      if (raw[i + 1] == '/') {
        lastWasComment = true;
        break;
      }
      inBlock = true;
      i += 2;
      continue;
    }
    if (raw[i] != ' ' && raw[i] != '\t' && raw[i] != '\r') {
      lastWasComment = false;
    }
    code += raw[i++];
  }
  line.code = trim(code);
  line.endsInComment = inBlock || (line.hasComment && lastWasComment);
  return line;
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::string secondWord(const std::string& text) {
  std::istringstream in(text);
  std::string first;
  std::string second;
  in >> first >> second;
  return second;
}

}  // namespace

std::vector<Undocumented> undocumentedDeclarations(const std::string& header) {
  std::vector<Undocumented> missing;
  std::istringstream in(header);
  std::string raw;
  bool inBlock = false;
  bool commentAbove = false;  // the previous line ended a comment (no blank line since)
  std::string guard;
  bool inStatement = false;
  bool documented = false;
  int parentheses = 0;
  Undocumented current;
  int number = 0;

  auto finish = [&] {
    if (inStatement && !documented) {
      missing.push_back(current);
    }
    inStatement = false;
  };

  while (std::getline(in, raw)) {
    ++number;
    const Line line = split(raw, inBlock);
    if (line.code.empty()) {
      commentAbove = line.hasComment && line.endsInComment;
      continue;
    }
    const std::string& code = line.code;
    if (code[0] == '#') {
      if (startsWith(code, "#ifndef")) {
        guard = secondWord(code);
      } else if (startsWith(code, "#define") && secondWord(code) != guard) {
        if (!commentAbove && !line.commentAfter) {
          missing.push_back({number, code});
        }
      }
      commentAbove = false;
      continue;
    }
    if (code == "extern \"C\" {" || (code == "}" && !inStatement)) {
      commentAbove = false;
      continue;
    }
    if (code[0] == '}') {
      // The end of a struct or enum body, with the typedef name it may give: not a declaration.
      finish();
      commentAbove = false;
      continue;
    }
    if (!inStatement) {
      inStatement = true;
      documented = commentAbove;
      current = {number, code};
      parentheses = 0;
    }
    documented = documented || line.commentAfter;
    for (const char c : code) {
      parentheses += c == '(' ? 1 : c == ')' ? -1 : 0;
    }
    // A comma ends an enum member, but not a line of a parameter list.
    const char last = code.back();
    if (last == ';' || last == '{' || (last == ',' && parentheses == 0)) {
      finish();
    }
    // A comment after code belongs to that code, never to the next declaration.
    commentAbove = false;
  }
  finish();
  return missing;
}

}  // namespace nivexa::api::testing
