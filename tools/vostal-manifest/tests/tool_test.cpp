// vostal-manifest's commands, run in-process against a scratch directory with
// a fixed clock: what each writes, every refusal (one line, non-zero status,
// no output file), and what inspect reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <regex>

#include "file_io.hpp"
#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "tool.hpp"
#include "update_proto/update_proto.hpp"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using vostal::manifest_tool::run_tool;
using vostal::manifest_tool::ToolContext;

namespace {

constexpr std::int64_t kNow = 1700000000;
const std::string kDevKeys = VOSTAL_DEV_KEYS_DIR;
// SHA-256("hello"), from outside this code base.
const std::string kHelloSha256 = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";

std::string dev_seed_path(int n) { return kDevKeys + "/DEV-K0" + std::to_string(n) + "_.seed"; }

std::array<update_proto::TrustedKey, 3> dev_key_table() {
  std::array<update_proto::TrustedKey, 3> table{};
  for (int n = 1; n <= 3; ++n) {
    const auto seed = vostal::read_seed_file(dev_seed_path(n));
    table[static_cast<std::size_t>(n - 1)] = {vostal::key_id_from_text("DEV-K0" + std::to_string(n) + "_"),
                                              vostal::public_key_from_seed(*seed)};
  }
  return table;
}

class Tool : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out;
    std::string err;
  };

  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("vostal-manifest-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(dir_);
    context_ = vostal::manifest_tool::native_context();
    context_.now = [] { return kNow; };
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string path(const std::string& name) const { return vostal::manifest_tool::path_to_utf8(dir_ / name); }

  Result run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = run_tool(args, context_, out, err);
    return {status, out.str(), err.str()};
  }

  void write(const std::string& name, const Bytes& bytes) {
    std::ofstream f(dir_ / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void write(const std::string& name, const std::string& text) { write(name, Bytes(text.begin(), text.end())); }

  Bytes read(const std::string& name) const {
    auto bytes = vostal::manifest_tool::read_whole_file(dir_ / name);
    return bytes ? *bytes : Bytes{};
  }

  // Every name in the scratch directory (recursively, '/' between parts), sorted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      const std::u8string name = fs::relative(entry.path(), dir_).generic_u8string();
      names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // A body for "hello", valid from kNow for a day.
  void make_body(const std::string& name = "body.bin") {
    write("app.exe", std::string("hello"));
    const auto r = run({"body", "--exe", path("app.exe"), "--expires-in", "1d", "--out", path(name)});
    ASSERT_EQ(r.status, 0) << r.err;
  }

  fs::path dir_;
  ToolContext context_;
};

// A refusal is one line on standard error that names the command.
void expect_one_line_error(const std::string& err, const std::string& command) {
  EXPECT_TRUE(err.starts_with("vostal-manifest " + command + ": ")) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// Whether this file system keeps POSIX permission bits (not so on Windows).
bool keeps_owner_only_permissions(const fs::path& dir) {
  const fs::path probe = dir / "probe";
  std::ofstream(probe).put('x');
  fs::permissions(probe, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  const bool kept = (fs::status(probe).permissions() & fs::perms::all) == (fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(probe);
  return kept;
}

TEST_F(Tool, KeygenWritesAnOwnerOnlySeedAndPrintsItsKeyLine) {
  const auto r = run({"keygen", "--id", "TEST-K01", "--out", path("keys")});
  ASSERT_EQ(r.status, 0) << r.err;

  const Bytes text = read("keys/TEST-K01.seed");
  EXPECT_TRUE(std::regex_match(std::string(text.begin(), text.end()), std::regex("[0-9a-f]{64}\n")));
  const auto seed = vostal::read_seed_file(dir_ / "keys/TEST-K01.seed");
  ASSERT_TRUE(seed.has_value());
  EXPECT_EQ(r.out, "TEST-K01 " + vostal::to_hex(vostal::public_key_from_seed(*seed)) + "\n");
  EXPECT_EQ(listing(), (std::vector<std::string>{"keys", "keys/TEST-K01.seed"}));
  if (keeps_owner_only_permissions(dir_)) {
    EXPECT_EQ(fs::status(dir_ / "keys/TEST-K01.seed").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
  }

  // Never replaces a seed; a second key is a different one.
  const auto again = run({"keygen", "--id", "TEST-K01", "--out", path("keys")});
  EXPECT_EQ(again.status, 1);
  expect_one_line_error(again.err, "keygen");
  EXPECT_EQ(read("keys/TEST-K01.seed"), text);
  const auto other = run({"keygen", "--id", "TEST-K02", "--out", path("keys")});
  ASSERT_EQ(other.status, 0);
  EXPECT_NE(read("keys/TEST-K02.seed"), text);
}

TEST_F(Tool, KeygenRefusesIdsThatAreNotEightSafeCharacters) {
  for (const char* id : {"SHORT", "TOO-LONG-ID", "../../x1", "A/B/C/DE", ".HIDDEN_", "DEV K01_"}) {
    SCOPED_TRACE(id);
    const auto r = run({"keygen", "--id", id, "--out", path("keys")});
    EXPECT_EQ(r.status, 1);
    expect_one_line_error(r.err, "keygen");
  }
  EXPECT_TRUE(listing().empty());
}

TEST_F(Tool, BodyDefaults) {
  make_body();
  const auto body = update_proto::decode_manifest_body(read("body.bin"));
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(body->spec_version, 2);
  EXPECT_EQ(body->built_at, kNow);
  EXPECT_EQ(body->expires_at, kNow + 86400);
  EXPECT_EQ(vostal::to_hex(body->binary_sha256), kHelloSha256);
  EXPECT_TRUE(body->revoked_key_ids.empty());
  EXPECT_EQ(body->opaque_text_1, "");
}

TEST_F(Tool, BodyTakesEveryField) {
  write("app.exe", std::string("hello"));
  const auto r = run({"body", "--exe", path("app.exe"), "--built-at", "2023-11-14T22:13:20Z", "--expires-at",
                      "1702592000", "--revoke", "DEV-K03_", "--revoke", "ABCDEFGH", "--spec-version", "3",
                      "--opaque-number-1", "300", "--opaque-number-2", "18446744073709551615", "--opaque-text-1", "a",
                      "--opaque-text-2", "\xC3\xA9t\xC3\xA9", "--opaque-text-3=x=y", "--opaque-text-4", "",
                      "--out", path("body.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  update_proto::ManifestBody expected;
  expected.spec_version = 3;
  expected.opaque_number_1 = 300;
  expected.opaque_text_1 = "a";
  const auto digest = update_proto::decode_manifest_body(read("body.bin"));
  ASSERT_TRUE(digest.has_value());
  expected.binary_sha256 = digest->binary_sha256;
  expected.built_at = 1700000000;
  expected.expires_at = 1702592000;
  expected.opaque_text_2 = "\xC3\xA9t\xC3\xA9";
  expected.opaque_number_2 = 18446744073709551615u;
  expected.opaque_text_3 = "x=y";
  expected.revoked_key_ids = {vostal::key_id_from_text("DEV-K03_"), vostal::key_id_from_text("ABCDEFGH")};
  EXPECT_EQ(*digest, expected);
  EXPECT_EQ(vostal::to_hex(digest->binary_sha256), kHelloSha256);
  // --expires-in counts from --built-at.
  const auto relative = run({"body", "--exe", path("app.exe"), "--built-at", "1000", "--expires-in", "90m", "--out", path("b2.bin")});
  ASSERT_EQ(relative.status, 0) << relative.err;
  EXPECT_EQ(update_proto::decode_manifest_body(read("b2.bin"))->expires_at, 1000 + 5400);
}

TEST_F(Tool, BodyRefusals) {
  write("app.exe", std::string("hello"));
  const std::string exe = path("app.exe");
  const std::string out = path("body.bin");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {"no --out", {"--exe", exe, "--expires-in", "1d"}, 2},
      {"no expiry", {"--exe", exe, "--out", out}, 2},
      {"both expiries", {"--exe", exe, "--expires-in", "1d", "--expires-at", "1800000000", "--out", out}, 2},
      {"unknown option", {"--exe", exe, "--expires-in", "1d", "--colour", "red", "--out", out}, 2},
      {"option twice", {"--exe", exe, "--exe", exe, "--expires-in", "1d", "--out", out}, 2},
      {"option without value", {"--exe", exe, "--out", out, "--expires-in"}, 2},
      {"stray argument", {"--exe", exe, "--expires-in", "1d", "--out", out, "extra"}, 2},
      {"bad --built-at", {"--exe", exe, "--built-at", "yesterday", "--expires-in", "1d", "--out", out}, 1},
      {"bad --expires-in", {"--exe", exe, "--expires-in", "1 day", "--out", out}, 1},
      {"--expires-in beyond int64", {"--exe", exe, "--built-at", "9223372036854775000", "--expires-in", "1d", "--out", out}, 1},
      {"expires before built", {"--exe", exe, "--built-at", "2000", "--expires-at", "1999", "--out", out}, 1},
      {"short --revoke", {"--exe", exe, "--expires-in", "1d", "--revoke", "DEV-K03", "--out", out}, 1},
      {"--spec-version too big", {"--exe", exe, "--expires-in", "1d", "--spec-version", "65536", "--out", out}, 1},
      {"negative opaque number", {"--exe", exe, "--expires-in", "1d", "--opaque-number-1", "-1", "--out", out}, 1},
      {"opaque number beyond u64", {"--exe", exe, "--expires-in", "1d", "--opaque-number-2", "18446744073709551616", "--out", out}, 1},
      {"ill-formed UTF-8 text", {"--exe", exe, "--expires-in", "1d", "--opaque-text-2", "\xC0\x80", "--out", out}, 1},
      {"body over 16384 bytes", {"--exe", exe, "--expires-in", "1d", "--opaque-text-4", std::string(16400, 'x'), "--out", out}, 1},
      {"missing executable", {"--exe", path("nothere.exe"), "--expires-in", "1d", "--out", out}, 1},
      {"output is a directory", {"--exe", exe, "--expires-in", "1d", "--out", vostal::manifest_tool::path_to_utf8(dir_)}, 1},
      {"output directory missing", {"--exe", exe, "--expires-in", "1d", "--out", path("no/such/dir/body.bin")}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"body"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = run(args);
    EXPECT_EQ(r.status, c.status);
    expect_one_line_error(r.err, "body");
    EXPECT_EQ(listing(), std::vector<std::string>{"app.exe"});
  }
}

TEST_F(Tool, KeyHoldersSignOneAfterAnother) {
  make_body();
  const auto keys = dev_key_table();
  const auto first = run({"sign", "--body", path("body.bin"), "--key", dev_seed_path(1), "--out", path("m.bin")});
  ASSERT_EQ(first.status, 0) << first.err;
  const Bytes after_first = read("m.bin");
  auto manifest = update_proto::decode_signed_manifest(after_first);
  ASSERT_TRUE(manifest.has_value());
  EXPECT_EQ(manifest->body_bytes, read("body.bin"));
  EXPECT_EQ(update_proto::verify_manifest(*manifest, keys).error().message,
            "threshold not met: 1 distinct valid signature(s), need 2");

  // The second holder adds to the manifest in place.
  const auto second = run({"sign", "--manifest", path("m.bin"), "--key", dev_seed_path(3)});
  ASSERT_EQ(second.status, 0) << second.err;
  manifest = update_proto::decode_signed_manifest(read("m.bin"));
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->signatures.size(), 2u);
  EXPECT_EQ(manifest->signatures[0], update_proto::decode_signed_manifest(after_first)->signatures[0]);
  EXPECT_EQ(manifest->signatures[1].key_id, vostal::key_id_from_text("DEV-K03_"));
  const auto body = update_proto::verify_manifest(*manifest, keys);
  ASSERT_TRUE(body.has_value()) << body.error().message;
  EXPECT_EQ(vostal::to_hex(body->binary_sha256), kHelloSha256);

  // Signing again with a key already present is refused and changes nothing.
  const Bytes before = read("m.bin");
  const auto again = run({"sign", "--manifest", path("m.bin"), "--key", dev_seed_path(1)});
  EXPECT_EQ(again.status, 1);
  expect_one_line_error(again.err, "sign");
  EXPECT_EQ(read("m.bin"), before);

  // With --out the original stays as it was.
  const auto copy = run({"sign", "--manifest", path("m.bin"), "--key", dev_seed_path(2), "--out", path("m3.bin")});
  ASSERT_EQ(copy.status, 0) << copy.err;
  EXPECT_EQ(read("m.bin"), before);
  EXPECT_EQ(update_proto::decode_signed_manifest(read("m3.bin"))->signatures.size(), 3u);
}

TEST_F(Tool, SignRefusals) {
  make_body();
  write("bad-body.bin", std::string("\x02\x00", 2));
  write("not-a-manifest.bin", std::string("\x05\x01", 2));
  write("WRONGKEY.seed", std::string("not hex\n"));
  write("key.seed", vostal::seed_file_text(*vostal::read_seed_file(dev_seed_path(1))));
  {
    update_proto::SignedManifest full{read("body.bin"), {}};
    for (int i = 0; i < 16; ++i) full.signatures.push_back({vostal::key_id_from_text("FILLER-" + std::to_string(i % 10)), {}});
    write("full.bin", vostal::encode_signed_manifest(full));
  }
  const auto before = listing();
  const std::string body = path("body.bin");
  const std::string out = path("m.bin");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {"no key", {"--body", body, "--out", out}, 2},
      {"body and manifest", {"--body", body, "--manifest", path("full.bin"), "--key", dev_seed_path(1), "--out", out}, 2},
      {"--body without --out", {"--body", body, "--key", dev_seed_path(1)}, 2},
      {"same key twice", {"--body", body, "--key", dev_seed_path(1), "--key", dev_seed_path(1), "--out", out}, 1},
      {"seed file not named after an id", {"--body", body, "--key", path("key.seed"), "--out", out}, 1},
      {"seed file without a seed", {"--body", body, "--key", path("WRONGKEY.seed"), "--out", out}, 1},
      {"missing seed file", {"--body", body, "--key", path("NOTHERE_.seed"), "--out", out}, 1},
      {"body that does not decode", {"--body", path("bad-body.bin"), "--key", dev_seed_path(1), "--out", out}, 1},
      {"not a manifest", {"--manifest", path("not-a-manifest.bin"), "--key", dev_seed_path(1)}, 1},
      {"seventeenth signature", {"--manifest", path("full.bin"), "--key", dev_seed_path(1)}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"sign"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = run(args);
    EXPECT_EQ(r.status, c.status);
    expect_one_line_error(r.err, "sign");
    EXPECT_EQ(listing(), before);
  }
}

class Inspect : public Tool {
 protected:
  // A manifest whose entries show every verdict the built-in table can give:
  // DEV-K03_ is revoked by the body.
  void make_mixed_manifest() {
    write("app.exe", std::string("hello"));
    const auto r = run({"body", "--exe", path("app.exe"), "--expires-in", "1d", "--revoke", "DEV-K03_", "--out", path("body.bin")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes body = read("body.bin");
    auto signed_by = [&](int n) {
      return update_proto::ManifestSignature{vostal::key_id_from_text("DEV-K0" + std::to_string(n) + "_"),
                                             vostal::sign_ed25519_vector(*vostal::read_seed_file(dev_seed_path(n)), body)};
    };
    update_proto::ManifestSignature short_sig = signed_by(2);
    short_sig.signature.pop_back();
    update_proto::ManifestSignature garbage = signed_by(2);
    garbage.signature[10] ^= 1;
    const update_proto::SignedManifest manifest{
        body,
        {signed_by(1), signed_by(1), signed_by(3), {vostal::key_id_from_text("STRANGER"), Bytes(64, 0)}, short_sig,
         garbage, {{0x01, 0x02, 0, 0, 0, 0, 0, 0xFF}, Bytes{}}}};
    write("m.bin", vostal::encode_signed_manifest(manifest));
  }
  void SetUp() override {
    Tool::SetUp();
    if (!VOSTAL_TRUSTED_KEYS_ARE_DEV) GTEST_SKIP() << "inspect judges with the built-in table; this build has other keys";
  }
};

TEST_F(Inspect, ShowsWhyEachSignatureCountsOrNot) {
  make_mixed_manifest();
  const auto r = run({"inspect", path("m.bin")});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "");
  const std::string expected_entries =
      "signatures       7\n"
      "  1. DEV-K01_  64 bytes  counted\n"
      "  2. DEV-K01_  64 bytes  same key again\n"
      "  3. DEV-K03_  64 bytes  revoked\n"
      "  4. STRANGER  64 bytes  unknown id\n"
      "  5. DEV-K02_  63 bytes  wrong length\n"
      "  6. DEV-K02_  64 bytes  invalid\n"
      "  7. hex:01020000000000ff  0 bytes  unknown id\n"
      "policy           refused: threshold not met: 1 distinct valid signature(s), need 2\n"
      "freshness        accepted (now=1700000000, 2023-11-14T22:13:20Z)\n"
      "verdict          refused\n";
  EXPECT_TRUE(r.out.ends_with(expected_entries)) << r.out;
  EXPECT_NE(r.out.find("revoked_key_ids  DEV-K03_\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("built_at         1700000000 (2023-11-14T22:13:20Z)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("binary_sha256    " + kHelloSha256 + "\n"), std::string::npos) << r.out;
}

TEST_F(Inspect, JsonIsOneObjectOnOneLine) {
  make_mixed_manifest();
  const auto r = run({"inspect", path("m.bin"), "--json", "--exe", path("app.exe")});
  EXPECT_EQ(r.status, 3);
  ASSERT_TRUE(r.out.starts_with("{") && r.out.ends_with("}\n")) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
  for (const char* part : {"\"verdict\":\"counted\"", "\"verdict\":\"same key again\"", "\"verdict\":\"revoked\"",
                           "\"verdict\":\"unknown id\"", "\"verdict\":\"wrong length\"", "\"verdict\":\"invalid\"",
                           "{\"text\":null,\"hex\":\"01020000000000ff\"}",
                           "\"policy\":{\"accepted\":false,\"message\":\"threshold not met: 1 distinct valid signature(s), need 2\",\"distinct_valid\":1",
                           "\"freshness\":{\"accepted\":true,\"message\":null}", "\"matches\":true", "\"accepted\":false}"}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }
}

TEST_F(Inspect, VerdictsOfPolicyFreshnessAndDigest) {
  make_body();
  ASSERT_EQ(run({"sign", "--body", path("body.bin"), "--key", dev_seed_path(1), "--key", dev_seed_path(2), "--out", path("m.bin")}).status, 0);
  write("other.exe", std::string("hello!"));

  auto accepted = run({"inspect", path("m.bin"), "--exe", path("app.exe")});
  EXPECT_EQ(accepted.status, 0) << accepted.out;
  EXPECT_NE(accepted.out.find("policy           accepted: 2 distinct valid signature(s), need 2\n"), std::string::npos);
  EXPECT_NE(accepted.out.find("digest           matches " + path("app.exe") + "\n"), std::string::npos);

  auto wrong_exe = run({"inspect", path("m.bin"), "--exe", path("other.exe")});
  EXPECT_EQ(wrong_exe.status, 3);
  EXPECT_NE(wrong_exe.out.find("digest           differs: " + path("other.exe") + " has "), std::string::npos);

  auto expired = run({"inspect", path("m.bin"), "--now", "2023-11-15T22:13:21Z"});
  EXPECT_EQ(expired.status, 3);
  EXPECT_NE(expired.out.find("freshness        refused: manifest expired: expires_at=1700086400 now=1700086401\n"),
            std::string::npos)
      << expired.out;

  auto early = run({"inspect", path("m.bin"), "--now", std::to_string(kNow - 301)});
  EXPECT_NE(early.out.find("refused: manifest built_at 1700000000 is > 300s ahead of client clock (now=1699999699)"),
            std::string::npos)
      << early.out;
}

TEST_F(Inspect, BodyThatDoesNotDecode) {
  update_proto::SignedManifest manifest{Bytes{0x02}, {{vostal::key_id_from_text("DEV-K01_"), Bytes(64, 1)}}};
  write("m.bin", vostal::encode_signed_manifest(manifest));
  const auto r = run({"inspect", path("m.bin")});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("body             does not decode: Hit the end of buffer, expected more data\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  1. DEV-K01_  64 bytes  not examined (the body does not decode)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("policy           refused: decode manifest body: Hit the end of buffer, expected more data\n"),
            std::string::npos) << r.out;
}

TEST_F(Tool, InspectRefusesWhatIsNotAManifest) {
  write("empty.bin", std::string());
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const Case cases[] = {
      {{"inspect", path("empty.bin")}, 1},
      {{"inspect", path("nothere.bin")}, 1},
      {{"inspect"}, 2},
      {{"inspect", path("empty.bin"), path("empty.bin")}, 2},
      {{"inspect", path("empty.bin"), "--now", "soon"}, 1},
      {{"inspect", path("empty.bin"), "--json=yes"}, 2},
  };
  for (const auto& c : cases) {
    const auto r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    expect_one_line_error(r.err, "inspect");
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(Tool, UnknownCommandsAndUsage) {
  EXPECT_EQ(run({}).status, 2);
  const auto r = run({"verify"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "vostal-manifest: unknown command 'verify' (keygen, body, sign, inspect)\n");
}

}  // namespace
