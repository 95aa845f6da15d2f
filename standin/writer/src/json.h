// A small strict JSON reader for the writer's one-object-a-line input.
//
// Strict: RFC 8259 grammar only (no comments, no trailing commas, no
// single quotes, no leading zeros, no control characters in strings, no
// lone surrogates), duplicate object keys rejected, nesting limited.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korv::standin {

class JsonValue {
 public:
  enum class Type { Null, Bool, Number, String, Array, Object };

  Type type() const { return type_; }
  bool is(Type t) const { return type_ == t; }

  bool boolean() const { return bool_; }
  // Strings are UTF-8; numbers keep their source text.
  const std::string& text() const { return text_; }
  const std::vector<JsonValue>& items() const { return items_; }
  const std::map<std::string, JsonValue, std::less<>>& members() const { return members_; }

  // The member of an object, or null when missing or not an object.
  const JsonValue* find(std::string_view key) const;

  // A number that is a non-negative integer (no fraction, no exponent) up to
  // max; false for anything else.
  bool as_uint(uint64_t max, uint64_t* out) const;

 private:
  friend class JsonParser;
  Type type_ = Type::Null;
  bool bool_ = false;
  std::string text_;
  std::vector<JsonValue> items_;
  std::map<std::string, JsonValue, std::less<>> members_;
};

// Parses exactly one value (surrounding whitespace allowed). On failure
// returns false and sets error to "offset N: what".
bool parse_json(std::string_view input, JsonValue* out, std::string* error);

}  // namespace korv::standin
