#include "json.h"

#include <string>

#include "standin/utf.h"

namespace korv::standin {

namespace {
constexpr int kMaxDepth = 32;
}

class JsonParser {
 public:
  explicit JsonParser(std::string_view in) : in_(in) {}

  bool parse(JsonValue* out, std::string* error) {
    skip_space();
    if (!value(out, 0)) {
      *error = "offset " + std::to_string(pos_) + ": " + error_;
      return false;
    }
    skip_space();
    if (pos_ != in_.size()) {
      *error = "offset " + std::to_string(pos_) + ": text after the value";
      return false;
    }
    return true;
  }

 private:
  bool fail(const char* what) {
    error_ = what;
    return false;
  }
  bool at_end() const { return pos_ >= in_.size(); }
  char peek() const { return at_end() ? '\0' : in_[pos_]; }

  void skip_space() {
    while (!at_end() && (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\n' || in_[pos_] == '\r')) ++pos_;
  }

  bool literal(std::string_view word) {
    if (in_.substr(pos_, word.size()) != word) return fail("unknown literal");
    pos_ += word.size();
    return true;
  }

  bool value(JsonValue* v, int depth) {
    if (depth > kMaxDepth) return fail("nested too deeply");
    switch (peek()) {
      case '{': return object(v, depth);
      case '[': return array(v, depth);
      case '"':
        v->type_ = JsonValue::Type::String;
        return string(&v->text_);
      case 't':
        v->type_ = JsonValue::Type::Bool;
        v->bool_ = true;
        return literal("true");
      case 'f':
        v->type_ = JsonValue::Type::Bool;
        return literal("false");
      case 'n':
        v->type_ = JsonValue::Type::Null;
        return literal("null");
      default:
        if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number(v);
        return fail(at_end() ? "unexpected end" : "unexpected character");
    }
  }

  bool digits() {
    const size_t start = pos_;
    while (!at_end() && in_[pos_] >= '0' && in_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }

  bool number(JsonValue* v) {
    const size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (peek() == '0') {
      ++pos_;
      if (peek() >= '0' && peek() <= '9') return fail("leading zero");
    } else if (!digits()) {
      return fail("digit expected");
    }
    if (peek() == '.') {
      ++pos_;
      if (!digits()) return fail("digit expected after '.'");
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!digits()) return fail("digit expected in exponent");
    }
    v->type_ = JsonValue::Type::Number;
    v->text_ = std::string(in_.substr(start, pos_ - start));
    return true;
  }

  bool hex4(uint32_t* out) {
    if (in_.size() - pos_ < 4) return fail("short \\u escape");
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = in_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= c - '0';
      else if (c >= 'a' && c <= 'f') v |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v |= c - 'A' + 10;
      else return fail("bad \\u escape");
    }
    *out = v;
    return true;
  }

  // Raw bytes of a string must be valid UTF-8 too.
  bool utf8_sequence(std::string* out) {
    const auto b0 = static_cast<unsigned char>(in_[pos_]);
    size_t len = (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || in_.size() - pos_ < len) return fail("invalid UTF-8");
    uint32_t cp = b0 & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(in_[pos_ + k]);
      if ((b & 0xC0) != 0x80) return fail("invalid UTF-8");
      cp = (cp << 6) | (b & 0x3F);
    }
    const uint32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return fail("invalid UTF-8");
    out->append(in_.substr(pos_, len));
    pos_ += len;
    return true;
  }

  bool string(std::string* out) {
    ++pos_;  // opening quote
    out->clear();
    for (;;) {
      if (at_end()) return fail("unterminated string");
      const auto c = static_cast<unsigned char>(in_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return fail("control character in string");
      if (c >= 0x80) {
        if (!utf8_sequence(out)) return false;
        continue;
      }
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        ++pos_;
        continue;
      }
      ++pos_;
      if (at_end()) return fail("unterminated string");
      const char e = in_[pos_++];
      switch (e) {
        case '"': out->push_back('"'); break;
        case '\\': out->push_back('\\'); break;
        case '/': out->push_back('/'); break;
        case 'b': out->push_back('\b'); break;
        case 'f': out->push_back('\f'); break;
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': {
          uint32_t cp = 0;
          if (!hex4(&cp)) return false;
          if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("lone low surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t lo = 0;
            if (in_.substr(pos_, 2) != "\\u") return fail("lone high surrogate");
            pos_ += 2;
            if (!hex4(&lo)) return false;
            if (lo < 0xDC00 || lo > 0xDFFF) return fail("lone high surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          }
          append_utf8(cp, out);
          break;
        }
        default: return fail("bad escape");
      }
    }
  }

  bool array(JsonValue* v, int depth) {
    v->type_ = JsonValue::Type::Array;
    ++pos_;
    skip_space();
    if (peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      v->items_.emplace_back();
      if (!value(&v->items_.back(), depth + 1)) return false;
      skip_space();
      if (peek() == ',') {
        ++pos_;
        continue;
      }
      if (peek() == ']') {
        ++pos_;
        return true;
      }
      return fail("',' or ']' expected");
    }
  }

  bool object(JsonValue* v, int depth) {
    v->type_ = JsonValue::Type::Object;
    ++pos_;
    skip_space();
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (peek() != '"') return fail("member name expected");
      std::string key;
      if (!string(&key)) return false;
      skip_space();
      if (peek() != ':') return fail("':' expected");
      ++pos_;
      skip_space();
      JsonValue member;
      if (!value(&member, depth + 1)) return false;
      if (!v->members_.emplace(std::move(key), std::move(member)).second) return fail("duplicate member name");
      skip_space();
      if (peek() == ',') {
        ++pos_;
        continue;
      }
      if (peek() == '}') {
        ++pos_;
        return true;
      }
      return fail("',' or '}' expected");
    }
  }

  std::string_view in_;
  size_t pos_ = 0;
  const char* error_ = "";
};

const JsonValue* JsonValue::find(std::string_view key) const {
  if (type_ != Type::Object) return nullptr;
  auto it = members_.find(key);
  return it == members_.end() ? nullptr : &it->second;
}

bool JsonValue::as_uint(uint64_t max, uint64_t* out) const {
  if (type_ != Type::Number || text_.empty()) return false;
  uint64_t v = 0;
  for (char c : text_) {
    if (c < '0' || c > '9') return false;  // sign, fraction or exponent
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (d > max) return false;
    if (v > (max - d) / 10) return false;
    v = v * 10 + d;
  }
  *out = v;
  return true;
}

bool parse_json(std::string_view input, JsonValue* out, std::string* error) {
  *out = JsonValue();
  JsonParser p(input);
  return p.parse(out, error);
}

}  // namespace korv::standin
