#!/usr/bin/env bash
# What players get, built and checked as CI does it (tools/test.sh):
# tools/package.sh (Release, Debian's hardening flags, -Werror) with the
# Windows programs signed by a code-signing certificate made for this run
# and time-stamped by a time-stamping authority made for it too; then
#   - lintian: no error in either package; the desktop entry validates
#   - the patch-server package's systemd unit serves a site
#   - the launcher package installed with apt-get install ./...deb (as root;
#     unpacked otherwise) and its starter run as an unprivileged user with
#     Qt's offscreen display: the game directory made, the launcher started
#     there, a site served by nginx patched, an older copy replaced, a
#     self-update; and the starter's refusals (package_test.sh)
#   - the installer there, and every signature checked with osslsigncode
#     verify against this run's certificate and time-stamping authority:
#     launcher.exe, launch_helper.exe, valdora-patch.exe, the installer, and
#     the uninstaller the installer writes (run silently under Wine)
#
#   bash tests/package/release_test.sh
#
# VALDORA_PACKAGE_TREE and VALDORA_WINDOWS_OUT name the build folders, as
# tools/package.sh takes them (tools/test.sh: build/test and build/windows,
# which its tests use); by default tools/package.sh's own.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/package
keys=$root/build/package-keys
tree=$(realpath -m "${VALDORA_PACKAGE_TREE:-$out/tree}")
windows=$(realpath -m "${VALDORA_WINDOWS_OUT:-$out/windows}")
tsa=
trap '[ -z "$tsa" ] || kill "$tsa" 2>/dev/null' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The certificate is its own authority; the time-stamping authority's
# certificate may only stamp times, as a real one.
rm -rf "$keys" && mkdir -p "$keys"
certificate() {  # name, usage, subject
  openssl req -x509 -newkey rsa:3072 -nodes -days 2 -keyout "$keys/$1.key" -out "$keys/$1.pem" \
    -subj "/CN=$3" -addext "extendedKeyUsage=critical,$2" \
    -addext "keyUsage=critical,digitalSignature" 2>/dev/null
}
certificate code codeSigning "Valdora test studio"
certificate tsa timeStamping "Valdora test time stamps"
echo 01 >"$keys/tsa.serial"
cat >"$keys/tsa.cnf" <<EOF
[ tsa ]
default_tsa = valdora
[ valdora ]
serial = $keys/tsa.serial
signer_cert = $keys/tsa.pem
signer_key = $keys/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
# An RFC 3161 time-stamping server on 127.0.0.1: openssl ts answers each
# request.
python3 - "$keys/tsa.cnf" >"$keys/tsa.port" <<'PY' &
import http.server, os, subprocess, sys, tempfile
class Stamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        with tempfile.TemporaryDirectory() as work:
            q, r = os.path.join(work, "q"), os.path.join(work, "r")
            with open(q, "wb") as f:
                f.write(query)
            subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1], "-queryfile", q,
                            "-out", r], check=True, capture_output=True)
            with open(r, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Stamps)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
tsa=$!
for _ in $(seq 300); do [ -s "$keys/tsa.port" ] && break; sleep 0.1; done
[ -s "$keys/tsa.port" ] || fail "no time-stamping server"

start=$SECONDS
VALDORA_SIGN_CERT=$keys/code.pem VALDORA_SIGN_KEY=$keys/code.key \
  VALDORA_SIGN_TIMESTAMP_URL=http://127.0.0.1:$(cat "$keys/tsa.port") \
  bash tools/package.sh
echo "release: packages made in $((SECONDS - start)) s"

start=$SECONDS
cases=tests/package/package_test.sh
publish=$tree/tools/valdora-publish/valdora-publish
bash "$cases" lintian "$out"
bash "$cases" desktop_entry "$out"
bash "$cases" server_unit "$out"
bash "$cases" starter_bad_input "$out"
bash "$cases" installed "$out" "$publish" deploy/pages deploy/serve-site.sh
echo "release: the packages checked in $((SECONDS - start)) s"

# Signed, by this run's certificate, with a time stamp of its authority:
# the programs, the installer, and the uninstaller it installs.
start=$SECONDS
setup=$(echo "$out"/valdora-setup-*.exe)
[ -s "$setup" ] || fail "no installer in $out"
export WINEPREFIX=$keys/wine
trap '[ -z "$tsa" ] || kill "$tsa" 2>/dev/null; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
bash tools/wine-run.sh "$setup" /S || fail "the installer failed under Wine"
uninstaller=$(find "$WINEPREFIX/drive_c/users" -path '*/Valdora/uninstall.exe' | head -1)
[ -n "$uninstaller" ] || fail "the installer wrote no uninstall.exe"
# The installer packed the programs signed, as they are beside it.
for program in launcher.exe launch_helper.exe; do
  cmp "$windows/$program" "${uninstaller%/*}/$program" || fail "the installer's $program differs"
done
for program in "$windows"/{launcher,launch_helper,valdora-patch}.exe "$setup" "$uninstaller"; do
  verified=$(osslsigncode verify -CAfile "$keys/code.pem" -TSA-CAfile "$keys/tsa.pem" \
    -in "$program" 2>&1) || fail "${program##*/}: $verified"
  grep -q "Timestamp Server Signature verification: ok" <<<"$verified" ||
    fail "${program##*/} has no time stamp: $verified"
  # Not by any other authority.
  ! osslsigncode verify -CAfile "$keys/tsa.pem" -in "$program" >/dev/null 2>&1 ||
    fail "${program##*/} verifies against another authority"
done
echo "release: 5 signatures checked in $((SECONDS - start)) s"
