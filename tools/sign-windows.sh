#!/usr/bin/env bash
# Signs Windows programs in place with the studio's code-signing certificate:
# Authenticode, SHA-256, through Debian's osslsigncode. Windows shows the
# studio's name for a signed program; an unsigned download gets SmartScreen's
# warning and "Unknown publisher".
#
#   bash tools/sign-windows.sh FILE...   signs each FILE (a .exe)
#   bash tools/sign-windows.sh --check   0: signing is set up; 1: it is not
#                                        (nothing is signed); 2: it is set up
#                                        wrongly, and says how
#
# From the environment:
#   VALDORA_SIGN_CERT           the certificate, PEM (with its intermediate
#   VALDORA_SIGN_KEY            certificates), and its private key, PEM
#   VALDORA_SIGN_PKCS12         or both in one PKCS#12 file (.pfx, .p12)
#   VALDORA_SIGN_PASS           the password of the key or of the PKCS#12
#                               file, if it has one
#   VALDORA_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server (several,
#                               separated by blanks, are tried in turn): a
#                               time-stamped signature stays valid after the
#                               certificate expires
# Without a certificate nothing is signed and FILEs are left as they are.
set -euo pipefail

cert=${VALDORA_SIGN_CERT:-}
key=${VALDORA_SIGN_KEY:-}
pkcs12=${VALDORA_SIGN_PKCS12:-}

# Prints what is wrong with the settings, if anything.
wrong() {
  if [ -n "$pkcs12" ] && { [ -n "$cert" ] || [ -n "$key" ]; }; then
    echo "VALDORA_SIGN_PKCS12 and VALDORA_SIGN_CERT/VALDORA_SIGN_KEY are both set: set one"
  elif [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
    echo "VALDORA_SIGN_CERT and VALDORA_SIGN_KEY go together: set both"
  fi
  local f
  for f in "$pkcs12" "$cert" "$key"; do
    [ -z "$f" ] || [ -r "$f" ] || echo "$f cannot be read"
  done
  command -v osslsigncode >/dev/null || echo "osslsigncode is missing (tools/install-deps.sh)"
}

if [ "${1:-}" = --check ]; then
  [ -n "$pkcs12$cert$key" ] || exit 1
  problem=$(wrong)
  [ -z "$problem" ] || { echo "sign-windows: $problem" >&2; exit 2; }
  exit 0
fi

[ -n "$pkcs12$cert$key" ] || exit 0
problem=$(wrong)
[ -z "$problem" ] || { echo "sign-windows: $problem" >&2; exit 2; }

args=(sign -h sha256 -n Valdora)
[ -z "${VALDORA_WEB_HOST:-}" ] || args+=(-i "$VALDORA_WEB_HOST")
if [ -n "$pkcs12" ]; then args+=(-pkcs12 "$pkcs12"); else args+=(-certs "$cert" -key "$key"); fi
for url in ${VALDORA_SIGN_TIMESTAMP_URL:-}; do args+=(-ts "$url"); done

# The password through a pipe, never on a command line others can read.
sign() {
  if [ -n "${VALDORA_SIGN_PASS:-}" ]; then
    osslsigncode "${args[@]}" -readpass <(printf '%s' "$VALDORA_SIGN_PASS") "$@"
  else
    osslsigncode "${args[@]}" "$@"
  fi
}

for file in "$@"; do
  rm -f "$file.signed"
  if ! out=$(sign -in "$file" -out "$file.signed" 2>&1); then
    rm -f "$file.signed"
    echo "sign-windows: $file could not be signed: $out" >&2
    exit 1
  fi
  mv "$file.signed" "$file"
done
