#!/usr/bin/env bash
# Builds the Debian packages in build/package/, and the Windows installer
# beside them:
#   valdora-launcher_VERSION_ARCH.deb      for players (apt-get install ./...)
#   valdora-patch-server_VERSION_ARCH.deb  for operators
#   valdora-setup-VERSION.exe              for players on Windows
# for the hosts compiled into the launcher, taken from the environment:
#   VALDORA_PATCH_HOST=https://patch.example.com VALDORA_WEB_HOST=https://www.example.com \
#     bash tools/package.sh
# Also from the environment when set: VALDORA_VERSION (the packages' version
# and the launcher's stamp; default the project's) and VALDORA_TRUSTED_KEYS.
# Builds Release with Debian's hardening flags in build/package/tree
# (VALDORA_PACKAGE_TREE names another build folder, whose tests then stay in
# it: tools/test.sh builds and tests build/test so, and packages that); leaves
# the packaged launcher.exe beside the packages for valdora-publish --launcher.
# The Windows programs are built in build/package/windows (tools/windows-build.sh;
# VALDORA_WINDOWS_OUT names another folder, one built before reused as far as
# it can be) with the same hosts, version and keys; their launcher.exe is the
# one a site for Windows players publishes with --launcher. With the studio's
# code-signing certificate (VALDORA_SIGN_CERT and VALDORA_SIGN_KEY, or
# VALDORA_SIGN_PKCS12; tools/sign-windows.sh) launcher.exe, launch_helper.exe,
# valdora-patch.exe, the installer and its uninstaller are signed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

out=$PWD/build/package
tree=$(realpath -m "${VALDORA_PACKAGE_TREE:-$out/tree}")
windows=$(realpath -m "${VALDORA_WINDOWS_OUT:-$out/windows}")
demo=http://127.0.0.1:8787
args=(-DCMAKE_BUILD_TYPE=Release -DVALDORA_WERROR=ON
      "-DVALDORA_PATCH_HOST=${VALDORA_PATCH_HOST:-$demo}"
      "-DVALDORA_WEB_HOST=${VALDORA_WEB_HOST:-$demo}")
[ -n "${VALDORA_PACKAGE_TREE:-}" ] || args+=(-DVALDORA_BUILD_TESTS=OFF)
# Unset means the default, not what an earlier run left in the cache.
for name in VALDORA_VERSION VALDORA_TRUSTED_KEYS; do
  if [ -n "${!name:-}" ]; then args+=("-D$name=${!name}"); else args+=("-U$name"); fi
done
# A launcher without keys takes any site unsigned, from anyone on the way:
# said before the build and again after it, where it is not scrolled away.
keyless() {
  [ -n "${VALDORA_TRUSTED_KEYS:-}" ] && return 0
  cat >&2 <<'EOF'
package: ******************************************************************
package: WARNING: VALDORA_TRUSTED_KEYS is not set. This launcher trusts no
package: key: it takes any update list and any _launcher.dll unsigned, from
package: anyone between the player and the patch server. For players, build
package: it with the publisher's public key:
package:   VALDORA_TRUSTED_KEYS="$(sed -n 2p ~/valdora-keys/valdora.pub)" \
package:     bash tools/package.sh
package: ******************************************************************
EOF
}
# Unsigned Windows programs get SmartScreen's warning: said likewise.
signing=0
bash tools/sign-windows.sh --check || signing=$?
[ "$signing" -ne 2 ] || exit 1
unsigned() {
  [ "$signing" -eq 1 ] || return 0
  cat >&2 <<'EOF'
package: ******************************************************************
package: WARNING: no code-signing certificate: the Windows programs and the
package: installer are unsigned. Windows warns players away from them
package: (SmartScreen, "Unknown publisher"). Sign them with the studio's
package: certificate: VALDORA_SIGN_CERT and VALDORA_SIGN_KEY (PEM), or
package: VALDORA_SIGN_PKCS12, and VALDORA_SIGN_PASS and
package: VALDORA_SIGN_TIMESTAMP_URL (tools/sign-windows.sh).
package: ******************************************************************
EOF
}
keyless
unsigned
if [ -z "${VALDORA_PATCH_HOST:-}" ] || [ -z "${VALDORA_WEB_HOST:-}" ]; then
  echo "package: VALDORA_PATCH_HOST or VALDORA_WEB_HOST not set: $demo (the demo server) is used" >&2
fi

# Not "format": the log's code page 1254 formats are arrays made at compile
# time, which -Werror=format-security takes for non-literals.
DEB_BUILD_MAINT_OPTIONS=hardening=+all,-format
export DEB_BUILD_MAINT_OPTIONS
args+=("-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
      "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")

mkdir -p "$out"
rm -f "$out"/valdora-*.deb "$out"/valdora-setup-*.exe "$out/launcher.exe"
cmake -S . -B "$tree" -G Ninja "${args[@]}"
cmake --build "$tree" -j "$(nproc)"
(cd "$tree" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
# The packaged launcher byte for byte, to publish on the site as well
# (valdora-publish --launcher): players then hand over to nothing new.
rm -rf "$out/unpacked" && dpkg-deb -x "$out"/valdora-launcher_*.deb "$out/unpacked"
mv "$out/unpacked/usr/lib/valdora/launcher.exe" "$out/launcher.exe" && rm -rf "$out/unpacked"

VALDORA_WINDOWS_OUT=$windows bash tools/windows-build.sh >"$out/windows.log" ||
  { tail -20 "$out/windows.log" >&2; exit 1; }
cp "$windows"/valdora-setup-*.exe "$out/"

for deb in "$out"/valdora-*.deb; do
  printf '%s  %s bytes\n  %s\n' "${deb#"$PWD"/}" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Depends)"
done
for setup in "$out"/valdora-setup-*.exe; do
  printf '%s  %s bytes, %s\n' "${setup#"$PWD"/}" "$(stat -c %s "$setup")" \
    "$([ "$signing" -eq 0 ] && echo signed || echo unsigned)"
done
keyless
unsigned
