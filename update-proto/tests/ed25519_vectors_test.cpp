// Public Ed25519 vectors against our strict verifier: Project Wycheproof, the
// "Taming the many EdDSAs" cases and RFC 8032 section 7.1. The files live in
// data/vectors/ (see the README there for origin, licence and why each
// verdict is what it is). They are read with a small JSON reader below that
// only needs to understand these fixed files.

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstddef>
#include <cstdint>
#include <expected>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update_proto/ed25519.hpp"

namespace {

// --- a minimal JSON reader, enough for the vector files ----------------------

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a string's content, or a number's literal
  std::vector<JsonValue> items;  // array elements, or object member values
  std::vector<std::string> keys;  // object member names, parallel to items

  // The member called `key`, or nullptr.
  const JsonValue* find(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == key) return &items[i];
    }
    return nullptr;
  }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  std::expected<JsonValue, std::string> parse_document() {
    auto value = parse_value(0);
    if (!value) return value;
    skip_space();
    if (pos_ != text_.size()) return fail("trailing characters");
    return value;
  }

 private:
  static constexpr int MAX_DEPTH = 64;

  std::unexpected<std::string> fail(std::string_view what) const {
    return std::unexpected("JSON " + std::string(what) + " at offset " + std::to_string(pos_));
  }

  void skip_space() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  bool consume(std::string_view literal) {
    if (text_.substr(pos_, literal.size()) != literal) return false;
    pos_ += literal.size();
    return true;
  }

  std::expected<JsonValue, std::string> parse_value(int depth) {
    if (depth > MAX_DEPTH) return fail("nesting too deep");
    skip_space();
    if (pos_ >= text_.size()) return fail("unexpected end");
    JsonValue value;
    const char c = text_[pos_];
    if (c == '{') return parse_object(depth);
    if (c == '[') return parse_array(depth);
    if (c == '"') {
      auto s = parse_string();
      if (!s) return std::unexpected(s.error());
      value.kind = JsonValue::Kind::String;
      value.text = std::move(*s);
      return value;
    }
    if (consume("true")) {
      value.kind = JsonValue::Kind::Bool;
      value.boolean = true;
      return value;
    }
    if (consume("false")) {
      value.kind = JsonValue::Kind::Bool;
      return value;
    }
    if (consume("null")) return value;
    if (c == '-' || (c >= '0' && c <= '9')) {
      const std::size_t start = pos_;
      if (text_[pos_] == '-') ++pos_;
      while (pos_ < text_.size() && std::string_view("0123456789.eE+-").find(text_[pos_]) != std::string_view::npos) {
        ++pos_;
      }
      value.kind = JsonValue::Kind::Number;
      value.text = std::string(text_.substr(start, pos_ - start));
      return value;
    }
    return fail("unexpected character");
  }

  std::expected<JsonValue, std::string> parse_array(int depth) {
    JsonValue value;
    value.kind = JsonValue::Kind::Array;
    ++pos_;  // [
    skip_space();
    if (consume("]")) return value;
    for (;;) {
      auto item = parse_value(depth + 1);
      if (!item) return item;
      value.items.push_back(std::move(*item));
      skip_space();
      if (consume("]")) return value;
      if (!consume(",")) return fail("expected , or ]");
    }
  }

  std::expected<JsonValue, std::string> parse_object(int depth) {
    JsonValue value;
    value.kind = JsonValue::Kind::Object;
    ++pos_;  // {
    skip_space();
    if (consume("}")) return value;
    for (;;) {
      skip_space();
      if (pos_ >= text_.size() || text_[pos_] != '"') return fail("expected a member name");
      auto key = parse_string();
      if (!key) return std::unexpected(key.error());
      skip_space();
      if (!consume(":")) return fail("expected :");
      auto item = parse_value(depth + 1);
      if (!item) return item;
      value.keys.push_back(std::move(*key));
      value.items.push_back(std::move(*item));
      skip_space();
      if (consume("}")) return value;
      if (!consume(",")) return fail("expected , or }");
    }
  }

  static void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  std::optional<std::uint32_t> parse_hex4() {
    if (text_.size() - pos_ < 4) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[pos_++];
      v <<= 4;
      if (h >= '0' && h <= '9') v |= static_cast<std::uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f') v |= static_cast<std::uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') v |= static_cast<std::uint32_t>(h - 'A' + 10);
      else return std::nullopt;
    }
    return v;
  }

  std::expected<std::string, std::string> parse_string() {
    ++pos_;  // opening quote
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) break;
      const char e = text_[pos_++];
      switch (e) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
          auto cp = parse_hex4();
          if (!cp) return fail("bad \\u escape");
          if (*cp >= 0xD800 && *cp <= 0xDBFF && consume("\\u")) {
            auto low = parse_hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return fail("bad surrogate pair");
            *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
          }
          append_utf8(out, *cp);
          break;
        }
        default: return fail("bad escape");
      }
    }
    return fail("unterminated string");
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// --- helpers -------------------------------------------------------------------

JsonValue load_vectors(const std::string& file_name) {
  const std::string path = std::string(UPDATE_PROTO_VECTORS_DIR) + "/" + file_name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto parsed = JsonParser(text).parse_document();
  EXPECT_TRUE(parsed.has_value()) << path << ": " << (parsed ? "" : parsed.error());
  return parsed ? std::move(*parsed) : JsonValue{};
}

// The string member `key` of `object`, or "" with a test failure.
const std::string& member(const JsonValue& object, std::string_view key) {
  static const std::string empty;
  const JsonValue* v = object.find(key);
  EXPECT_TRUE(v != nullptr && v->kind == JsonValue::Kind::String) << "missing string member " << key;
  return v != nullptr ? v->text : empty;
}

std::vector<std::uint8_t> unhex(std::string_view hex) {
  EXPECT_EQ(hex.size() % 2, 0u) << hex;
  if (hex.empty()) return {};  // sodium_hex2bin wants a real output buffer
  std::vector<std::uint8_t> out(hex.size() / 2);
  std::size_t bin_len = 0;
  const int rc = sodium_hex2bin(out.data(), out.size(), hex.data(), hex.size(), nullptr, &bin_len, nullptr);
  EXPECT_EQ(rc, 0) << "bad hex: " << hex;
  out.resize(bin_len);
  return out;
}

class Ed25519Vectors : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_GE(sodium_init(), 0); }
};

// --- the vectors ----------------------------------------------------------------

TEST_F(Ed25519Vectors, WycheproofVerdictsEqualTheExpectedResult) {
  const JsonValue doc = load_vectors("wycheproof_ed25519_test.json");
  const JsonValue* groups = doc.find("testGroups");
  ASSERT_TRUE(groups != nullptr && groups->kind == JsonValue::Kind::Array);

  int cases = 0;
  int accepted = 0;
  for (const JsonValue& group : groups->items) {
    const JsonValue* public_key = group.find("publicKey");
    ASSERT_NE(public_key, nullptr);
    const auto pk = unhex(member(*public_key, "pk"));
    const JsonValue* tests = group.find("tests");
    ASSERT_TRUE(tests != nullptr && tests->kind == JsonValue::Kind::Array);
    for (const JsonValue& test : tests->items) {
      const JsonValue* id = test.find("tcId");
      ASSERT_NE(id, nullptr);
      const std::string& result = member(test, "result");
      ASSERT_TRUE(result == "valid" || result == "invalid") << "tcId " << id->text << ": " << result;
      const bool expected = result == "valid";
      const bool verdict =
          update_proto::verify_ed25519_strict(pk, unhex(member(test, "msg")), unhex(member(test, "sig")));
      EXPECT_EQ(verdict, expected) << "tcId " << id->text << " (" << member(test, "comment") << ")";
      ++cases;
      accepted += verdict ? 1 : 0;
    }
  }
  // Every case was read: a reader that silently dropped some would pass the
  // loop above with fewer checks.
  const JsonValue* declared = doc.find("numberOfTests");
  ASSERT_NE(declared, nullptr);
  EXPECT_EQ(std::to_string(cases), declared->text);
  EXPECT_EQ(cases, 151);
  EXPECT_EQ(accepted, 88);
}

TEST_F(Ed25519Vectors, SpeccheckAcceptsOnlyTheMixedOrderCase) {
  const JsonValue doc = load_vectors("taming_eddsas_cases.json");
  ASSERT_EQ(doc.kind, JsonValue::Kind::Array);
  ASSERT_EQ(doc.items.size(), 12u);
  for (std::size_t i = 0; i < doc.items.size(); ++i) {
    const JsonValue& entry = doc.items[i];
    const bool verdict = update_proto::verify_ed25519_strict(
        unhex(member(entry, "pub_key")), unhex(member(entry, "message")), unhex(member(entry, "signature")));
    // Case 3: key and R of mixed order, canonical, cofactorless equation
    // holds. Every other case is small order, cofactored-only, S >= L or a
    // non-decoding R or key.
    EXPECT_EQ(verdict, i == 3) << "speccheck case " << i;
  }
}

TEST_F(Ed25519Vectors, Rfc8032VectorsVerifyAndSigningFromTheSeedReproducesThem) {
  const JsonValue doc = load_vectors("rfc8032_7.1_ed25519.json");
  const JsonValue* vectors = doc.find("vectors");
  ASSERT_TRUE(vectors != nullptr && vectors->kind == JsonValue::Kind::Array);
  ASSERT_EQ(vectors->items.size(), 5u);
  for (const JsonValue& v : vectors->items) {
    const std::string& name = member(v, "name");
    const auto seed = unhex(member(v, "secret_key"));
    const auto public_key = unhex(member(v, "public_key"));
    const auto message = unhex(member(v, "message"));
    const auto signature = unhex(member(v, "signature"));
    EXPECT_EQ(member(v, "result"), "valid") << name;
    ASSERT_EQ(seed.size(), crypto_sign_SEEDBYTES) << name;

    EXPECT_TRUE(update_proto::verify_ed25519_strict(public_key, message, signature)) << name;

    std::vector<std::uint8_t> derived_pk(crypto_sign_PUBLICKEYBYTES);
    std::vector<std::uint8_t> secret(crypto_sign_SECRETKEYBYTES);
    ASSERT_EQ(crypto_sign_seed_keypair(derived_pk.data(), secret.data(), seed.data()), 0) << name;
    EXPECT_EQ(derived_pk, public_key) << name;

    std::vector<std::uint8_t> produced(crypto_sign_BYTES);
    ASSERT_EQ(crypto_sign_detached(produced.data(), nullptr, message.data(), message.size(), secret.data()), 0)
        << name;
    EXPECT_EQ(produced, signature) << name;
    sodium_memzero(secret.data(), secret.size());

    // One flipped bit anywhere in the message must turn the verdict: the
    // verifier really looks at the message (TEST 1 has none to flip).
    if (!message.empty()) {
      auto altered = message;
      altered[altered.size() / 2] ^= 0x01;
      EXPECT_FALSE(update_proto::verify_ed25519_strict(public_key, altered, signature)) << name;
    }
  }
}

}  // namespace
