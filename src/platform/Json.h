#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qsi::platform {

// A JSON document held as values: null, booleans, numbers, strings, arrays
// and objects whose members keep the order they were set in.
// Parsing takes untrusted text: nesting is bounded, a string must be UTF-8
// without raw control characters, and an object may not repeat a key.
class Json {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  Json() = default;
  Json(std::nullptr_t) {}
  Json(bool value) : kind_(Kind::Bool), bool_(value) {}
  Json(int value) : Json(static_cast<std::int64_t>(value)) {}
  Json(std::int64_t value) : kind_(Kind::Number), integer_(value), number_(double(value)) {}
  Json(std::size_t value) : Json(static_cast<std::int64_t>(value)) {}
  Json(double value) : kind_(Kind::Number), integral_(false), number_(value) {}
  Json(std::string value) : kind_(Kind::String), string_(std::move(value)) {}
  Json(std::string_view value) : Json(std::string(value)) {}
  Json(const char* value) : Json(std::string(value)) {}

  [[nodiscard]] static Json array() { return Json(Kind::Array); }
  [[nodiscard]] static Json object() { return Json(Kind::Object); }
  // The text, or null when there is none.
  [[nodiscard]] static Json orNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json();
  }

  // Appends to an array.
  Json& push(Json value);
  // Sets an object's member, replacing one of the same key.
  Json& set(std::string_view key, Json value);

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] bool isIntegral() const { return kind_ == Kind::Number && integral_; }
  [[nodiscard]] bool boolean() const { return bool_; }
  [[nodiscard]] std::int64_t integer() const { return integer_; }
  [[nodiscard]] double number() const { return number_; }
  [[nodiscard]] const std::string& string() const { return string_; }
  // An array's items, or an object's values (in the order of keys()).
  [[nodiscard]] const std::vector<Json>& items() const { return items_; }
  [[nodiscard]] const std::vector<std::string>& keys() const { return keys_; }
  // An object's member, or nullptr.
  [[nodiscard]] const Json* find(std::string_view key) const;

  // The document as text, indented by `indent` spaces a level (0: one line).
  // Bytes that are no UTF-8 are written as U+FFFD, so that the text is JSON.
  [[nodiscard]] std::string dump(int indent = 0) const;

  // Throws JsonError naming the offset of the first fault.
  [[nodiscard]] static Json parse(std::string_view text);

 private:
  explicit Json(Kind kind) : kind_(kind) {}
  void dumpTo(std::string& out, int indent, int depth) const;

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  bool integral_ = true;
  std::int64_t integer_ = 0;
  double number_ = 0;
  std::string string_;
  std::vector<std::string> keys_;  // objects only, one per item
  std::vector<Json> items_;
};

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qsi::platform
