// Configure-time check of a trusted key file, run on the build machine by
// TrustedKeys.cmake (it is never part of the product).
//
//   vostal-keycheck FILE
//
// The file has one line per slot, "<key_id> <64 lowercase hex digits>", for
// the ids DEV-K01_, DEV-K02_, DEV-K03_ in that order; '#' starts a comment and
// blank lines are allowed; 64 zeros mark an empty slot. On success the three
// slots are printed as "<key_id> <hex>" lines and the exit status is 0. On the
// first problem one line "FILE:LINE: what is wrong" goes to standard error and
// the exit status is 1.
#include <sodium.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::array<const char*, 3> kSlotIds = {"DEV-K01_", "DEV-K02_", "DEV-K03_"};
using Key = std::array<unsigned char, 32>;

struct Slot {
  std::string id;
  std::string hex;
  Key key{};
  int line = 0;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool is_zero(const Key& key) {
  for (unsigned char b : key) {
    if (b != 0) return false;
  }
  return true;
}

// RFC 8032 decoding refuses a y coordinate that is not below p = 2^255 - 19.
bool is_canonical(const Key& key) {
  // p in little-endian: ed ff ff ... ff 7f. Compare y (sign bit cleared)
  // with p from the most significant byte down.
  Key y = key;
  y[31] &= 0x7f;
  Key p;
  p.fill(0xff);
  p[0] = 0xed;
  p[31] = 0x7f;
  for (int i = 31; i >= 0; --i) {
    if (y[i] != p[i]) return y[i] < p[i];
  }
  return false;  // y == p
}

// Why a key is not acceptable, or an empty string when it is.
std::string key_problem(const Key& key) {
  if (!is_canonical(key)) return "public key is not a canonical Ed25519 point encoding (y >= p)";
  Key p2{}, p4{}, p8{};
  // crypto_core_ed25519_add decodes both operands and refuses anything that
  // is not on the curve; doubling three times gives [8]P.
  if (crypto_core_ed25519_add(p2.data(), key.data(), key.data()) != 0) {
    return "public key does not decode to an Ed25519 curve point";
  }
  if (crypto_core_ed25519_add(p4.data(), p2.data(), p2.data()) != 0 ||
      crypto_core_ed25519_add(p8.data(), p4.data(), p4.data()) != 0) {
    return "public key does not decode to an Ed25519 curve point";
  }
  Key identity{};
  identity[0] = 1;
  if (p8 == identity) return "public key is a point of small order (8 times it is the identity)";
  // libsodium's own test is stricter than "decodes and is not of small
  // order": it also wants the point in the prime-order subgroup. No key made
  // by an RFC 8032 key generator fails it, so we hold the table to it too.
  if (crypto_core_ed25519_is_valid_point(key.data()) != 1) {
    return "public key is not in Ed25519's prime-order subgroup (it has a small-order component)";
  }
  return {};
}

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

int refuse(const std::string& file, int line, const std::string& what) {
  std::cerr << file << ":" << line << ": " << what << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vostal-keycheck FILE\n";
    return 2;
  }
  if (sodium_init() < 0) {
    std::cerr << "vostal-keycheck: libsodium failed to initialise\n";
    return 2;
  }
  const std::string file = argv[1];
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << file << ": cannot be read\n";
    return 1;
  }

  std::vector<Slot> slots;
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    const auto hash = raw.find('#');
    const std::string content = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
    if (content.empty()) continue;

    std::istringstream fields(content);
    Slot slot;
    std::string extra;
    fields >> slot.id >> slot.hex;
    if (slot.hex.empty() || (fields >> extra)) {
      return refuse(file, line, "expected '<key_id> <64 lowercase hex digits>', found '" + content + "'");
    }
    slot.line = line;
    const std::size_t index = slots.size();
    if (index >= kSlotIds.size()) {
      return refuse(file, line, "extra slot '" + slot.id + "': the table has exactly 3 slots, DEV-K01_, DEV-K02_, DEV-K03_");
    }
    if (slot.id != kSlotIds[index]) {
      return refuse(file, line, "slot " + std::to_string(index + 1) + " must have key id " + kSlotIds[index] +
                                    ", found '" + slot.id + "' (ids are fixed, in this order: DEV-K01_, DEV-K02_, DEV-K03_)");
    }
    if (slot.hex.size() != 64) {
      return refuse(file, line, "public key of " + slot.id + " must be 64 lowercase hex digits, found " +
                                    std::to_string(slot.hex.size()) + " characters");
    }
    for (std::size_t i = 0; i < 32; ++i) {
      const int hi = hex_value(slot.hex[2 * i]);
      const int lo = hex_value(slot.hex[2 * i + 1]);
      if (hi < 0 || lo < 0) {
        return refuse(file, line, "public key of " + slot.id + " must be 64 lowercase hex digits, found '" + slot.hex + "'");
      }
      slot.key[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    if (!is_zero(slot.key)) {
      const std::string problem = key_problem(slot.key);
      if (!problem.empty()) return refuse(file, line, slot.id + ": " + problem);
      for (const Slot& earlier : slots) {
        if (earlier.key == slot.key) {
          return refuse(file, line, slot.id + " has the same public key as " + earlier.id + " on line " +
                                        std::to_string(earlier.line) + " (one key holder must never count twice)");
        }
      }
    }
    slots.push_back(slot);
  }
  if (slots.size() < kSlotIds.size()) {
    return refuse(file, line + 1, "missing slot " + std::string(kSlotIds[slots.size()]) +
                                      ": the file ends after line " + std::to_string(line) +
                                      " but must list DEV-K01_, DEV-K02_, DEV-K03_");
  }
  for (const Slot& slot : slots) std::cout << slot.id << " " << slot.hex << "\n";
  return 0;
}
