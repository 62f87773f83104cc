#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256) and verifies the signature.
#
#   scripts/sign.sh [-n DESCRIPTION] [--ca FILE] [--pkcs11-module PATH] [--pin-file FILE]
#                   [--timestamp URL [--timestamp-ca FILE]] CERT KEY IN OUT
#   scripts/sign.sh --check [options] CERT KEY
#
# DESCRIPTION (e.g. the product name) goes into the signature; Windows shows it as
# the program's name when it asks for elevation.
# CERT is the signing certificate in PEM, followed by any intermediate certificates. It must be
# for code signing (its extended key usage names Code Signing) and lead to a root of the
# system's trusted roots (Debian's ca-certificates), or, with --ca, to a root in FILE (a private
# or test PKI, or a root Windows trusts that Debian's store lacks); no certificate in CERT
# vouches for itself, a self-signed one included.
# KEY is its private key: a PEM file, or the PKCS#11 URI (pkcs11:token=...;object=...)
# of a key kept in a token or HSM, reached through the module --pkcs11-module names.
# The PIN (or a PEM key's passphrase) comes from the file --pin-file names, else from
# the environment variable UPDATE_SIGN_PIN, else the token asks for it on the terminal;
# it never goes on a command line, into a file or into a trace.
# --timestamp adds an RFC 3161 time stamp (SHA-256) from the server at URL, whose
# signer must lead to the certificates in --timestamp-ca (else the system's roots).
# OUT is written only when the signature verifies: its digest matches the file, it
# was made with the certificate in CERT, that certificate leads to a trusted root,
# and the time stamp, if asked for, verifies; it appears whole or not at all.
# --check checks the arguments, the certificate's usage and its chain, and signs nothing.
set -euo pipefail

say() { echo "sign.sh: $*" >&2; }
fail() { say "$*"; exit 1; }
usage() { sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
value() { [ "$1" -ge 2 ] || { say "$2 needs a value"; usage; }; }

description=() ca="" module="" pin_file="" ts_url="" ts_ca="" check=""
while [ $# -gt 0 ]; do
  case "$1" in
    -n) value $# "$1"; [ -z "$2" ] || description=(-n "$2"); shift 2 ;;
    --ca) value $# "$1"; ca="$2"; shift 2 ;;
    --pkcs11-module) value $# "$1"; module="$2"; shift 2 ;;
    --pin-file) value $# "$1"; pin_file="$2"; shift 2 ;;
    --timestamp) value $# "$1"; ts_url="$2"; shift 2 ;;
    --timestamp-ca) value $# "$1"; ts_ca="$2"; shift 2 ;;
    --check) check=1; shift ;;
    -h|--help) usage ;;
    -*) say "unknown option: $1"; usage ;;
    *) break ;;
  esac
done
[ $# -eq $((check ? 2 : 4)) ] || usage
cert="$1" key="$2" in="${3:-}" out="${4:-}"

for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$cert" ] || fail "no such certificate file: $cert"
openssl x509 -in "$cert" -noout 2>/dev/null || fail "$cert is not a certificate in PEM"
# Windows accepts an Authenticode signature only from a certificate whose extended key usage
# names code signing: any other is refused here, before anything is signed.
usage="$(openssl x509 -in "$cert" -noout -ext extendedKeyUsage 2>/dev/null | sed -n '2,$s/^ *//p')"
case ", $usage," in
  *", Code Signing,"*) ;;
  ", ,") fail "the certificate $cert is not for code signing: it names no extended key usage (Code Signing)" ;;
  *) fail "the certificate $cert is not for code signing: its extended key usage is $usage" ;;
esac
case "$key" in
  pkcs11:*)
    [ -n "$module" ] || fail "the key $key is kept in a token: name its PKCS#11 module with --pkcs11-module PATH"
    case "$key" in
      *pin-value=*) fail "the key's URI carries the PIN, which others can read: use UPDATE_SIGN_PIN or --pin-file" ;;
    esac
    [ -f "$module" ] || fail "no such PKCS#11 module: $module"
    module="$(realpath "$module")"  # a bare name would be looked for in the library path
    engine="$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so"
    [ -f "$engine" ] ||
      fail "OpenSSL's pkcs11 engine $engine is missing (scripts/install-deps.sh installs libengine-pkcs11-openssl)"
    ;;
  *)
    [ -z "$module" ] || fail "--pkcs11-module is for a key kept in a token, named by a pkcs11: URI, not $key"
    [ -f "$key" ] || fail "no such key file: $key"
    ;;
esac
[ -z "$pin_file" ] || { [ -f "$pin_file" ] && [ -r "$pin_file" ]; } || fail "cannot read the PIN file $pin_file"
case "$ts_url" in
  ""|http://*|https://*) ;;
  *) fail "--timestamp needs an http:// or https:// URL, not $ts_url" ;;
esac
[ -z "$ts_ca" ] || [ -n "$ts_url" ] || fail "--timestamp-ca is for the time stamp of --timestamp URL"
[ -z "$ts_ca" ] || [ -f "$ts_ca" ] || fail "no such file for --timestamp-ca: $ts_ca"
roots=/etc/ssl/certs/ca-certificates.crt system_roots="the system's trusted roots"
if [ -n "$ca" ]; then
  [ -f "$ca" ] || fail "no such file for --ca: $ca"
  openssl x509 -in "$ca" -noout 2>/dev/null || fail "--ca $ca is not a certificate in PEM"
  trusted="$ca" trusted_name="$ca"
else
  [ -f "$roots" ] || fail "$system_roots ($roots) are missing: install ca-certificates, or give the root with --ca FILE"
  trusted="$roots" trusted_name="$system_roots"
fi

work="$(mktemp -d)"
staged=""
trap 'rm -rf "$work"; [ -z "$staged" ] || rm -f "$staged"' EXIT

# The chain: from the first certificate of CERT, through the others, to a trusted root. CERT's
# certificates are only ever intermediates, so a self-signed one there is no root.
openssl x509 -in "$cert" -out "$work/leaf.pem"
if ! openssl verify -CAfile "$trusted" -untrusted "$cert" "$work/leaf.pem" >"$work/chain.log" 2>&1; then
  why="$(sed -n 's/^error [0-9]* at [0-9]* depth lookup: //p' "$work/chain.log" | head -n 1)"
  fail "the certificate $cert does not lead to a root in $trusted_name${why:+ ($why)}"
fi
[ -z "$check" ] || exit 0
[ -f "$in" ] || fail "no such file to sign: $in"

# The PIN is read into this shell only, with the trace off: the signing tool reads it from a
# pipe that only this user's processes can open, so it is on no command line and in no file.
case $- in *x*) trace=1 ;; *) trace="" ;; esac
{ set +x; } 2>/dev/null
pin=()
if [ -n "$pin_file" ]; then pin=("$(<"$pin_file")")
elif [ -n "${UPDATE_SIGN_PIN+set}" ]; then pin=("$UPDATE_SIGN_PIN"); fi
unset UPDATE_SIGN_PIN
[ -z "$trace" ] || set -x

sign=(osslsigncode sign ${description[@]+"${description[@]}"} -certs "$cert" -key "$key" -h sha256
      -in "$in" -out "$work/signed.exe")
[ -z "$module" ] || sign+=(-pkcs11module "$module" -pkcs11engine "$engine")
[ -z "$ts_url" ] || sign+=(-ts "$ts_url")
# Bounded: a time-stamp server or a network token that stops answering ends the signing.
# In the foreground, so that a token without a given PIN can ask for it on the terminal (the
# prompt goes to the terminal itself, not into the log).
limit=180
status=0
if [ ${#pin[@]} -gt 0 ]; then
  { set +x; } 2>/dev/null
  timeout --foreground -k 10 "$limit" "${sign[@]}" -readpass <(printf '%s' "${pin[0]}") </dev/null \
    >"$work/sign.log" 2>&1 || status=$?
  pin=()
  [ -z "$trace" ] || set -x
else
  timeout --foreground -k 10 "$limit" "${sign[@]}" </dev/null >"$work/sign.log" 2>&1 || status=$?
fi

# What went wrong, in one line, from what the tool and the PKCS#11 engine reported.
signing_failure() {
  local log="$work/sign.log"
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "signing $in did not finish within $limit s (the time-stamp server or the token did not answer)"
  elif grep -q "Unable to load module" "$log"; then
    echo "$module is not a PKCS#11 module, or cannot be loaded" \
      "($(grep -m1 -B1 'Unable to load module' "$log" | head -n 1))"
  elif grep -q "No matching initialized token" "$log"; then
    echo "no token matching $key is reachable through $module"
  elif grep -q "PIN incorrect" "$log"; then
    echo "the token refused the PIN (wrong PIN for $key)"
  elif grep -q "PIN locked" "$log"; then
    echo "the token's PIN is locked ($key)"
  elif grep -q "No PIN code was entered" "$log"; then
    echo "the token needs a PIN: set UPDATE_SIGN_PIN, give --pin-file FILE or sign on a terminal"
  elif grep -q "object not found" "$log"; then
    echo "the token has no private key matching $key"
  elif grep -q "key values mismatch" "$log"; then
    echo "the key $key does not belong to the certificate $cert"
  elif grep -q "Failed to decode private key file" "$log"; then
    echo "$key is not a private key in PEM, or its passphrase (UPDATE_SIGN_PIN or --pin-file) is wrong"
  elif grep -q "HTTP failure" "$log"; then
    # OpenSSL's error lines: code:error:code:library:function:reason:file:line:details
    local why
    why="$(awk -F: '$4 == "HTTP routines" { print "answered with an error (" $6 ($9 != "" ? ", " $9 : "") ")"; exit }
      $4 == "system library" || $4 == "BIO routines" {
        print "could not be reached (" (($6 == "system lib" && $9 != "") ? $9 : $6) ")"; exit }' "$log")"
    echo "the time-stamp server $ts_url ${why:-could not be reached}"
  elif grep -q "Failed to convert timestamp reply" "$log"; then
    echo "the time-stamp server $ts_url did not answer with an RFC 3161 time stamp"
  elif grep -q "RFC 3161 timestamping failed" "$log"; then
    echo "the time-stamp server $ts_url refused to time-stamp the signature"
  fi
}
if [ "$status" -ne 0 ]; then
  explained="$(signing_failure)"
  [ -n "$explained" ] || { cat "$work/sign.log" >&2; explained="signing $in failed"; }
  fail "$explained"
fi

# The same trusted roots, and the signer exactly the first certificate of CERT.
leaf_hash="$(openssl x509 -in "$cert" -outform DER | openssl dgst -sha256 -r | cut -d' ' -f1)"
verify=(osslsigncode verify -in "$work/signed.exe" -CAfile "$trusted" -require-leaf-hash "sha256:$leaf_hash")
[ -z "$ts_url" ] || verify+=(-TSA-CAfile "${ts_ca:-$roots}")
# Revocation lists are not fetched: the build may have no network, and the signature was just made.
if osslsigncode verify --help 2>&1 | grep -q -- '-ignore-cdp'; then verify+=(-ignore-cdp); fi
"${verify[@]}" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; fail "the signature of $in does not verify"; }
# A time stamp that does not verify leaves the tool's verdict "ok": its own line tells.
if [ -n "$ts_url" ] && ! grep -q "^Timestamp Server Signature verification: ok" "$work/verify.log"; then
  why="$(grep -m1 'Error:' "$work/verify.log" | sed 's/^[[:space:]]*Error: //')"
  fail "the time stamp from $ts_url does not verify against ${ts_ca:-$system_roots}${why:+ ($why)}"
fi

# Written beside OUT and renamed over it: OUT is the old file or the whole new one.
staged="$(mktemp "$(dirname -- "$out")/.$(basename -- "$out").XXXXXX")" ||
  fail "cannot write beside $out"
cp "$work/signed.exe" "$staged"
chmod "$(printf %o $((0666 & ~0$(umask))))" "$staged"
mv -f "$staged" "$out"
staged=""
if [ -z "$ts_url" ]; then
  echo "note: no time stamp (--timestamp URL): the signature is accepted only until the certificate" \
    "expires ($(openssl x509 -in "$cert" -noout -enddate | cut -d= -f2))"
fi
