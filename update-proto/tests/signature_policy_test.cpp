// The signature policy: its limits and their order, the version test, every
// refusal text, the threshold over distinct trusted keys, revocation, empty
// slots, and strict signatures seen through the whole policy.
#include <gtest/gtest.h>

#include <optional>

#include "strict_fixtures.hpp"
#include "test_support.hpp"

using test_support::Bytes;
using test_support::concat;
using test_support::dev_entry;
using test_support::dev_id;
using test_support::hex;
using test_support::repeat;
using test_support::signed_by;
using update_proto::EntryVerdict;
using update_proto::ManifestSignature;
using update_proto::SignedManifest;

namespace {

const auto kKeys = test_support::dev_key_table();

Bytes encode(const update_proto::ManifestBody& body) { return vostal::encode_manifest_body(body); }
const Bytes kBody = encode(test_support::valid_body());

// A valid body of exactly `size` bytes, padded inside opaque_text_4.
Bytes body_of_size(std::size_t size) {
  auto body = test_support::valid_body();
  const std::size_t base = encode(body).size();
  // opaque_text_4 grows by its content plus one extra length byte per 7 bits.
  for (std::size_t pad = size - base; pad > 0; --pad) {
    body.opaque_text_4.assign(pad, 'p');
    if (encode(body).size() == size) return encode(body);
  }
  throw std::logic_error("cannot pad a body to that size");
}

std::optional<std::string> refusal(const SignedManifest& manifest) {
  auto result = update_proto::verify_manifest(manifest, kKeys);
  if (result) return std::nullopt;
  return result.error().message;
}

std::string threshold(int counted) {
  return "threshold not met: " + std::to_string(counted) + " distinct valid signature(s), need 2";
}

ManifestSignature garbage_entry(int n) { return {dev_id(n), repeat(0x5A, 64)}; }

TEST(SignaturePolicy, LimitsAndTheirOrder) {
  const Bytes max_body = body_of_size(16384);
  ASSERT_EQ(max_body.size(), 16384u);
  Bytes oversized = max_body;
  oversized.push_back(0x00);  // trailing bytes still count towards the size

  auto with_entries = [](SignedManifest m, std::size_t total) {
    while (m.signatures.size() < total) m.signatures.push_back({vostal::key_id_from_text("OTHER-ID"), {}});
    return m;
  };

  struct Case {
    const char* name;
    SignedManifest manifest;
    std::optional<std::string> refusal;
  };
  const Case cases[] = {
      {"16384-byte body passes", signed_by(max_body, {1, 2}), std::nullopt},
      {"16385-byte body fails", signed_by(oversized, {1, 2}), "manifest body_bytes too large: 16385 > 16384"},
      {"16 entries pass", with_entries(signed_by(kBody, {1, 2}), 16), std::nullopt},
      {"17 entries fail", with_entries(signed_by(kBody, {1, 2}), 17), "too many signatures: 17 > 16"},
      {"size is tested before count", with_entries(signed_by(oversized, {1, 2}), 17),
       "manifest body_bytes too large: 16385 > 16384"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal(c.manifest), c.refusal);
  }
}

TEST(SignaturePolicy, BodyAndVersionRefusals) {
  auto body_with_version = [](std::uint16_t version) {
    auto body = test_support::valid_body();
    body.spec_version = version;
    return encode(body);
  };
  const std::string end_of_input = "decode manifest body: Hit the end of buffer, expected more data";
  struct Case {
    const char* name;
    SignedManifest manifest;
    std::string refusal;
  };
  const Case cases[] = {
      {"empty body_bytes", signed_by({}, {1, 2}), end_of_input},
      {"empty body_bytes, no signatures", SignedManifest{}, end_of_input},
      {"undecodable body, no valid signature", SignedManifest{hex("02 00 02 C0 80"), {garbage_entry(1)}},
       "decode manifest body: Tried to parse invalid utf-8"},
      {"spec_version as 80 80 04", signed_by(hex("80 80 04"), {1, 2}),
       "decode manifest body: " + std::string(update_proto::to_string(update_proto::DecodeError::VarintTooLong))},
      {"spec_version 1, validly signed", signed_by(body_with_version(1), {1, 2, 3}),
       "manifest spec_version 1 != expected 2 (client too old?)"},
      {"spec_version 3, no signatures", SignedManifest{body_with_version(3), {}},
       "manifest spec_version 3 != expected 2 (client too old?)"},
      {"spec_version 65535", signed_by(body_with_version(65535), {1, 2}),
       "manifest spec_version 65535 != expected 2 (client too old?)"},
      {"no signatures at all", SignedManifest{kBody, {}}, threshold(0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal(c.manifest), c.refusal);
  }
}

TEST(SignaturePolicy, ThresholdCountsDistinctTrustedKeys) {
  auto revoking = [](std::initializer_list<const char*> ids) {
    auto body = test_support::valid_body();
    for (const char* id : ids) body.revoked_key_ids.push_back(vostal::key_id_from_text(id));
    return encode(body);
  };
  const Bytes revokes_k01 = revoking({"DEV-K01_"});
  const Bytes revokes_unknown = revoking({"NOT-A-KY", "NOT-A-KY"});
  const Bytes revokes_twice = revoking({"DEV-K01_", "DEV-K01_"});

  // A signature that would verify under DEV-K01_'s key, filed under an id
  // that is not in the table.
  const ManifestSignature foreign_id{vostal::key_id_from_text("DEV-K04_"),
                                     vostal::sign_ed25519_vector(test_support::dev_seed(1), kBody)};
  ManifestSignature short_sig = dev_entry(2, kBody);
  short_sig.signature.pop_back();
  ManifestSignature long_sig = dev_entry(2, kBody);
  long_sig.signature.push_back(0);

  struct Case {
    const char* name;
    SignedManifest manifest;
    std::optional<std::string> refusal;
  };
  const Case cases[] = {
      {"K01 and K02", signed_by(kBody, {1, 2}), std::nullopt},
      {"all three keys", signed_by(kBody, {1, 2, 3}), std::nullopt},
      {"K03 and K01, any order", signed_by(kBody, {3, 1}), std::nullopt},
      {"K01 twice counts once", signed_by(kBody, {1, 1}), threshold(1)},
      {"one key alone", signed_by(kBody, {2}), threshold(1)},
      {"valid K01 then invalid K01", {kBody, {dev_entry(1, kBody), garbage_entry(1)}}, threshold(1)},
      {"invalid K01 then valid K01", {kBody, {garbage_entry(1), dev_entry(1, kBody)}}, threshold(1)},
      {"an invalid entry does not undo a counted key", {kBody, {dev_entry(1, kBody), garbage_entry(1), dev_entry(2, kBody)}},
       std::nullopt},
      {"K01 revoked", signed_by(revokes_k01, {1, 2}), threshold(1)},
      {"K01 revoked, all three signed", signed_by(revokes_k01, {1, 2, 3}), std::nullopt},
      {"K01 revoked twice", signed_by(revokes_twice, {1, 2}), threshold(1)},
      {"revoking an unknown id changes nothing", signed_by(revokes_unknown, {1, 2}), std::nullopt},
      {"unknown id with a signature valid under a table key", {kBody, {foreign_id, dev_entry(2, kBody)}}, threshold(1)},
      {"63-byte signature ignored", {kBody, {dev_entry(1, kBody), short_sig}}, threshold(1)},
      {"65-byte signature ignored", {kBody, {dev_entry(1, kBody), long_sig}}, threshold(1)},
      {"K02 signed with K01's seed", {kBody, {dev_entry(1, kBody), test_support::entry(dev_id(2), test_support::dev_seed(1), kBody)}},
       threshold(1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(refusal(c.manifest), c.refusal);
  }
}

TEST(SignaturePolicy, SuccessReturnsTheDecodedBody) {
  auto body = test_support::valid_body();
  body.opaque_text_3 = "carried through";
  const auto result = update_proto::verify_manifest(signed_by(encode(body), {1, 2}), kKeys);
  ASSERT_TRUE(result.has_value()) << result.error().message;
  EXPECT_EQ(*result, body);
}

// Signatures that only the strict rules refuse, through the whole policy:
// each is paired with one valid signature, so a lenient verifier would reach
// the threshold and the strict one must not.
TEST(SignaturePolicy, StrictRulesHoldInsideThePolicy) {
  using strict_fixtures::Signature;
  auto as_entry = [](int n, const Signature& sig) { return ManifestSignature{dev_id(n), Bytes(sig.begin(), sig.end())}; };
  const Signature valid_k02 = vostal::sign_ed25519(test_support::dev_seed(2), kBody);
  const Bytes body_plus_one = concat({kBody, hex("00")});

  const SignedManifest s_plus_l{kBody, {dev_entry(1, kBody), as_entry(2, strict_fixtures::with_s_plus_l(valid_k02))}};
  const SignedManifest identity_r{kBody,
                                  {dev_entry(1, kBody), as_entry(2, strict_fixtures::identity_r(test_support::dev_seed(2), kBody))}};
  const SignedManifest over_more_bytes{kBody, {dev_entry(1, kBody), dev_entry(2, body_plus_one)}};
  EXPECT_EQ(refusal(s_plus_l), threshold(1));
  EXPECT_EQ(refusal(identity_r), threshold(1));
  EXPECT_EQ(refusal(over_more_bytes), threshold(1));

  // A slot holding a small-order key (the identity): a signature made to
  // satisfy the equation under it does not count.
  auto keys = kKeys;
  keys[1].public_key = strict_fixtures::identity();
  const SignedManifest small_order{kBody, {dev_entry(1, kBody), as_entry(2, strict_fixtures::for_identity_key(kBody))}};
  ASSERT_TRUE(strict_fixtures::lenient_accepts(keys[1].public_key, kBody, strict_fixtures::for_identity_key(kBody)));
  const auto result = update_proto::verify_manifest(small_order, keys);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, threshold(1));
}

TEST(SignaturePolicy, TrailingBodyBytesAreSigned) {
  const Bytes padded = concat({kBody, hex("AA BB")});
  // Signed over the padded bytes: counts, the trailing bytes are not decoded.
  EXPECT_EQ(refusal(signed_by(padded, {1, 2})), std::nullopt);
  // Signed without them, then padded: no longer verifies.
  SignedManifest manifest = signed_by(kBody, {1, 2});
  manifest.body_bytes = padded;
  EXPECT_EQ(refusal(manifest), threshold(0));
}

TEST(SignaturePolicy, EmptySlotNeverCounts) {
  auto keys = kKeys;
  keys[1].public_key = {};
  // DEV-K02_ signs with its real seed, but its slot here holds no key.
  const SignedManifest manifest = signed_by(kBody, {1, 2});
  const auto result = update_proto::verify_manifest(manifest, keys);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().message, threshold(1));
  EXPECT_TRUE(update_proto::verify_manifest(signed_by(kBody, {1, 3}), keys).has_value());
}

// examine_signatures names a reason for every entry, in list order; inspect
// shows these to people working out why a manifest was refused.
TEST(SignaturePolicy, ExamineSignaturesGivesEveryEntryItsVerdict) {
  auto body = test_support::valid_body();
  body.revoked_key_ids.push_back(dev_id(3));
  const Bytes body_bytes = encode(body);
  auto keys = kKeys;
  keys[1].public_key = {};  // DEV-K02_ is an empty slot here

  ManifestSignature short_sig = dev_entry(1, body_bytes);
  short_sig.signature.resize(63);
  const SignedManifest manifest{body_bytes,
                                {
                                    {dev_id(1), repeat(0x5A, 64)},                          // invalid
                                    dev_entry(1, body_bytes),                               // counted
                                    dev_entry(1, body_bytes),                               // same key again
                                    dev_entry(2, body_bytes),                               // empty slot
                                    dev_entry(3, body_bytes),                               // revoked
                                    {vostal::key_id_from_text("STRANGER"), repeat(0, 64)},  // unknown id
                                    short_sig,                                              // wrong length
                                }};
  const std::vector<EntryVerdict> expected = {EntryVerdict::Invalid,   EntryVerdict::Counted,
                                              EntryVerdict::SameKeyAgain, EntryVerdict::EmptySlot,
                                              EntryVerdict::Revoked,   EntryVerdict::UnknownId,
                                              EntryVerdict::WrongLength};
  EXPECT_EQ(update_proto::examine_signatures(manifest, body, keys), expected);
  // Revocation is tested before the table: a revoked id that is also
  // unknown is reported as revoked.
  const SignedManifest revoked_stranger{body_bytes, {{dev_id(3), {}}}};
  EXPECT_EQ(update_proto::examine_signatures(revoked_stranger, body, keys),
            std::vector<EntryVerdict>{EntryVerdict::Revoked});
}

}  // namespace
