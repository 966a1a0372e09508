#!/usr/bin/env bash
# Regenerates the seed corpus in fuzz/corpus/. The seeds are committed; run
# this only when the encoding or the dev keys change.
#
#   fuzz/make-corpus.sh
#
# Hand-made seeds are written from hex below: the 127-byte worked example,
# and one input for each way decoding or the policy can refuse. The validly
# signed seeds (signed-*) come from fuzz_seed_maker, built in build/harden
# from the producer's encoder, and the development keys in keys/dev/.
set -euo pipefail
cd "$(dirname "$0")/.."
corpus=fuzz/corpus

# Writes the bytes given as hex (spaces ignored) to a file.
seed() {
  local file=$1
  shift
  local hex
  hex=$(tr -d ' \n' <<<"$*")
  mkdir -p "$(dirname "$file")"
  printf "$(sed 's/../\\x&/g' <<<"$hex")" >"$file"
}
fresh() { mkdir -p "$1" && find "$1" -type f -delete; }
rep() { local out="" i; for ((i = 0; i < $2; i++)); do out+="$1"; done; printf '%s' "$out"; }

sha_filler=$(rep 11 32)
# The body of the worked example: spec_version 2, opaque_number_1 300, text
# "a", filler digest, built 1700000000, expires 30 days later, empty rest.
body="02 AC02 0161 $sha_filler 80C49FD50C 80F8DBD70C 00 00 00 00 00"
sig_filler=$(rep 00 64)
worked="34 $body 01 4445562D4B30315F 40 $sig_filler"

# --- decode_manifest_body -----------------------------------------------------
d=$corpus/fuzz_decode_manifest_body
fresh "$d"
seed $d/worked-body "$body"
seed $d/empty ""
seed $d/layout-version-varint-too-long "808004"
seed $d/u64-varint-too-long "02 $(rep 80 10)"
seed $d/u64-max "02 $(rep FF 9)01 00"
seed $d/text1-overlong-utf8 "02 00 02C080"
seed $d/text1-surrogate "02 00 03EDA080"
seed $d/text1-length-beyond-input "02 00 036162"
seed $d/text1-multibyte-utf8 "02 00 0AC3A9E282ACF09F9880 $sha_filler 00 00 00 00 00 00 00"
seed $d/digest-one-short "02 00 00 $(rep 11 31)"
seed $d/i64-extremes "02 00 00 $sha_filler $(rep FF 9)01 FE$(rep FF 8)01 00 00 00 00 00"
seed $d/negative-times "02 00 00 $sha_filler 01 03 00 00 00 00 00"
seed $d/text4-invalid-utf8 "02 00 00 $sha_filler 00 00 00 00 00 03EDA080 00"
seed $d/revoked-two-ids "${body% 00} 02 4445562D4B30315F 5858585858585858"
seed $d/revoked-count-huge "${body% 00} $(rep FF 9)01"
seed $d/trailing-bytes "$body FFFFFF"
seed $d/layout-version-3 "03 ${body#02 }"

# --- decode_signed_manifest -----------------------------------------------------
d=$corpus/fuzz_decode_signed_manifest
fresh "$d"
seed $d/worked-example "$worked"
seed $d/empty ""
seed $d/body-length-beyond-input "FF01 0203"
seed $d/body-length-huge "$(rep FF 9)01"
seed $d/body-length-varint-too-long "$(rep 80 10)"
seed $d/no-signatures "34 $body 00"
seed $d/empty-body "00 00"
seed $d/signature-63-bytes "34 $body 01 4445562D4B30315F 3F $(rep 00 63)"
seed $d/signature-65-bytes "34 $body 01 4445562D4B30315F 41 $(rep 00 65)"
seed $d/signature-count-huge "34 $body $(rep FF 9)01"
seed $d/key-id-short "34 $body 01 4445562D"
seed $d/trailing-bytes "$worked 0102030405"

# --- verify_manifest: the decoded manifests above, plus the policy's refusals ------
d=$corpus/fuzz_verify_manifest
fresh "$d"
seed $d/worked-example "$worked"
seed $d/empty-body "00 00"
seed $d/no-signatures "34 $body 00"
seed $d/layout-version-3 "34 03 ${body#02 } 00"
seed $d/body-undecodable "03 808004 00"
entry="4445562D4B30325F 40 $sig_filler"
seed $d/seventeen-signatures "34 $body 11 $(rep "$entry" 17)"
seed $d/sixteen-signatures "34 $body 10 $(rep "$entry" 16)"
# 16385 bytes of body: a valid body padded with trailing zeros (length 81 80 01).
seed $d/body-too-large "818001 $body $(rep 00 $((16385 - 52))) 00"
seed $d/body-at-limit "808001 $body $(rep 00 $((16384 - 52))) 00"

# --- parent_pid -------------------------------------------------------------------
d=$corpus/fuzz_parent_pid
fresh "$d"
i=0
for text in "" "+" "-" "0" "42" "+0042" "0005" "4294967295" "4294967296" "18446744073709551616" \
  "000000000000000000004294967295" "-5" " 5" "5 " "++5" "12x" "+-1"; do
  printf '%s' "$text" >"$d/pid-$i"
  i=$((i + 1))
done
# Whole argument vectors, split at NUL.
printf 'a.exe\0b.exe\0+17\0m.bin' >"$d/argv-complete"
printf 'a.exe\0b.exe\0+17\0m.bin\0extra\0more' >"$d/argv-extra"
printf 'a.exe\0b.exe\0x17' >"$d/argv-bad-pid"
printf 'a.exe\0b.exe\0017' >"$d/argv-no-manifest"
printf 'a.exe' >"$d/argv-one"
printf '\0\0\0' >"$d/argv-empty-paths"

# --- validly signed manifests (the producer's encoder and the dev keys) -------
build=build/harden/seeds
cmake -S . -B "$build" -G Ninja -DVOSTAL_BUILD_FUZZ=ON -DVOSTAL_BUILD_TESTS=OFF -DVOSTAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_seed_maker -j2 >/dev/null
"$build/bin/fuzz_seed_maker" keys/dev "$corpus"
echo "seeds: $(find $corpus -type f | wc -l) files"
