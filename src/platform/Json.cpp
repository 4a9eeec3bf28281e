#include "platform/Json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace qsi::platform {

namespace {

constexpr int kMaxDepth = 64;

// The length of the UTF-8 sequence at `text`, or 0 when it is none.
std::size_t utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing above U+10FFFF.
  if (lead == 0xE0 && byte(1) < 0xA0) return 0;
  if (lead == 0xED && byte(1) >= 0xA0) return 0;
  if (lead == 0xF0 && byte(1) < 0x90) return 0;
  if (lead == 0xF4 && byte(1) >= 0x90) return 0;
  return length;
}

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void quote(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = utf8Length(text.substr(i));
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  out += '"';
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Json document() {
    Json value = parseValue(0);
    skipSpace();
    if (pos_ != text_.size()) fail("text after the document");
    return value;
  }

 private:
  [[noreturn]] void fail(std::string_view what) const {
    throw JsonError("no JSON at offset " + std::to_string(pos_) + ": " + std::string(what));
  }
  void skipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }
  bool take(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  void expect(char c) {
    skipSpace();
    if (pos_ >= text_.size() || text_[pos_] != c) fail(std::string("'") + c + "' expected");
    ++pos_;
  }

  Json parseValue(int depth) {
    if (depth > kMaxDepth) fail("nested too deeply");
    skipSpace();
    if (pos_ >= text_.size()) fail("a value expected");
    const char c = text_[pos_];
    if (c == '{') return parseObject(depth);
    if (c == '[') return parseArray(depth);
    if (c == '"') return Json(parseString());
    if (take("true")) return Json(true);
    if (take("false")) return Json(false);
    if (take("null")) return Json();
    return parseNumber();
  }

  Json parseObject(int depth) {
    Json object = Json::object();
    ++pos_;
    skipSpace();
    if (take("}")) return object;
    while (true) {
      skipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '"') fail("a key expected");
      const std::string key = parseString();
      if (object.find(key) != nullptr) fail("the key \"" + key + "\" given twice");
      expect(':');
      object.set(key, parseValue(depth + 1));
      skipSpace();
      if (take("}")) return object;
      expect(',');
    }
  }

  Json parseArray(int depth) {
    Json array = Json::array();
    ++pos_;
    skipSpace();
    if (take("]")) return array;
    while (true) {
      array.push(parseValue(depth + 1));
      skipSpace();
      if (take("]")) return array;
      expect(',');
    }
  }

  std::uint32_t hex4() {
    if (pos_ + 4 > text_.size()) fail("a \\u escape cut short");
    std::uint32_t code = 0;
    const auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16);
    if (ec != std::errc() || end != text_.data() + pos_ + 4) fail("a bad \\u escape");
    pos_ += 4;
    return code;
  }

  std::string parseString() {
    ++pos_;
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) fail("a string without its end");
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) fail("a control character in a string");
      if (c != '\\') {
        const std::size_t length = utf8Length(text_.substr(pos_));
        if (length == 0) fail("a string that is no UTF-8");
        out.append(text_.substr(pos_, length));
        pos_ += length;
        continue;
      }
      ++pos_;
      if (pos_ >= text_.size()) fail("an escape cut short");
      const char e = text_[pos_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meant = "\"\\/\b\f\n\r\t";
      if (const auto at = simple.find(e); at != std::string_view::npos) {
        out += meant[at];
      } else if (e == 'u') {
        std::uint32_t code = hex4();
        if (code >= 0xD800 && code < 0xDC00) {
          if (!take("\\u")) fail("a lone surrogate");
          const std::uint32_t low = hex4();
          if (low < 0xDC00 || low >= 0xE000) fail("a lone surrogate");
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code < 0xE000) {
          fail("a lone surrogate");
        }
        appendUtf8(out, code);
      } else {
        fail("an unknown escape");
      }
    }
  }

  Json parseNumber() {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    const auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ - from;
    };
    const std::size_t whole = digits();
    if (whole == 0) fail("a value expected");
    if (whole > 1 && text_[pos_ - whole] == '0') fail("a number with a leading zero");
    bool integral = true;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (digits() == 0) fail("a number cut short");
      integral = false;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (digits() == 0) fail("a number cut short");
      integral = false;
    }
    const std::string number(text_.substr(start, pos_ - start));
    if (integral) {
      std::int64_t value = 0;
      const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
      if (ec == std::errc() && end == number.data() + number.size()) return Json(value);
    }
    const double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value)) fail("a number out of range");
    return Json(value);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

Json& Json::push(Json value) {
  items_.push_back(std::move(value));
  return *this;
}

Json& Json::set(std::string_view key, Json value) {
  const auto at = std::ranges::find(keys_, key);
  if (at != keys_.end()) {
    items_[static_cast<std::size_t>(at - keys_.begin())] = std::move(value);
  } else {
    keys_.emplace_back(key);
    items_.push_back(std::move(value));
  }
  return *this;
}

const Json* Json::find(std::string_view key) const {
  if (kind_ != Kind::Object) return nullptr;
  const auto at = std::ranges::find(keys_, key);
  return at == keys_.end() ? nullptr : &items_[static_cast<std::size_t>(at - keys_.begin())];
}

std::string Json::dump(int indent) const {
  std::string out;
  dumpTo(out, indent, 0);
  return out;
}

void Json::dumpTo(std::string& out, int indent, int depth) const {
  const auto newline = [&](int level) {
    if (indent == 0) return;
    out += '\n';
    out.append(static_cast<std::size_t>(indent) * static_cast<std::size_t>(level), ' ');
  };
  switch (kind_) {
    case Kind::Null:
      out += "null";
      return;
    case Kind::Bool:
      out += bool_ ? "true" : "false";
      return;
    case Kind::Number:
      if (integral_) {
        out += std::to_string(integer_);
      } else {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", number_);
        out += text;
      }
      return;
    case Kind::String:
      quote(out, string_);
      return;
    case Kind::Array:
    case Kind::Object:
      break;
  }
  const bool isObject = kind_ == Kind::Object;
  out += isObject ? '{' : '[';
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out += ',';
    newline(depth + 1);
    if (isObject) {
      quote(out, keys_[i]);
      out += indent == 0 ? ":" : ": ";
    }
    items_[i].dumpTo(out, indent, depth + 1);
  }
  if (!items_.empty()) newline(depth);
  out += isObject ? '}' : ']';
}

Json Json::parse(std::string_view text) {
  return Parser(text).document();
}

}  // namespace qsi::platform
