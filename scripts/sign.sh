#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256) and verifies the signature.
#
#   scripts/sign.sh [-n DESCRIPTION] CERT KEY IN OUT
#
# DESCRIPTION (e.g. the product name) goes into the signature; Windows shows it as
# the program's name when it asks for elevation.
# CERT is the signing certificate in PEM, followed by any intermediate certificates;
# KEY is its private key in PEM. OUT is written only when the signature verifies:
# its digest matches the file, it was made with the certificate in CERT, and that
# certificate leads to a trusted root (the system's, or CERT itself when it is
# self-signed). No timestamp is added, so Windows stops accepting the signature
# when the certificate expires.
set -euo pipefail

description=()
if [ $# -ge 2 ] && [ "$1" = "-n" ]; then
  [ -z "$2" ] || description=(-n "$2")
  shift 2
fi
[ $# -eq 4 ] || { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
cert="$1" key="$2" in="$3" out="$4"
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null 2>&1 || { echo "sign.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

osslsigncode sign ${description[@]+"${description[@]}"} -certs "$cert" -key "$key" -h sha256 -in "$in" -out "$work/signed.exe" >"$work/sign.log" 2>&1 ||
  { cat "$work/sign.log" >&2; echo "sign.sh: signing $in failed" >&2; exit 1; }

# Trust the system's roots and CERT's own certificates, and require that the signer is
# exactly the first certificate of CERT.
cat /etc/ssl/certs/ca-certificates.crt "$cert" >"$work/trusted.pem" 2>/dev/null || cp "$cert" "$work/trusted.pem"
leaf_hash="$(openssl x509 -in "$cert" -outform DER | openssl dgst -sha256 -r | cut -d' ' -f1)"
verify=(osslsigncode verify -in "$work/signed.exe" -CAfile "$work/trusted.pem" -require-leaf-hash "sha256:$leaf_hash")
# Revocation lists are not fetched: the build may have no network, and the signature was just made.
if osslsigncode verify --help 2>&1 | grep -q -- '-ignore-cdp'; then verify+=(-ignore-cdp); fi
"${verify[@]}" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; echo "sign.sh: the signature of $in does not verify" >&2; exit 1; }

cp "$work/signed.exe" "$out"
