#!/usr/bin/env bash
# Builds the Debian packages in build/package/:
#   valdora-launcher_VERSION_ARCH.deb      for players (apt-get install ./...)
#   valdora-patch-server_VERSION_ARCH.deb  for operators
# for the hosts compiled into the launcher, taken from the environment:
#   VALDORA_PATCH_HOST=https://patch.example.com VALDORA_WEB_HOST=https://www.example.com \
#     bash tools/package.sh
# Also from the environment when set: VALDORA_VERSION (the packages' version
# and the launcher's stamp; default the project's) and VALDORA_TRUSTED_KEYS.
# Builds Release with Debian's hardening flags in build/package/tree; leaves
# the packaged launcher.exe beside the packages for valdora-publish --launcher.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

out=$PWD/build/package
tree=$out/tree
demo=http://127.0.0.1:8787
args=(-DCMAKE_BUILD_TYPE=Release -DVALDORA_BUILD_TESTS=OFF -DVALDORA_WERROR=ON
      "-DVALDORA_PATCH_HOST=${VALDORA_PATCH_HOST:-$demo}"
      "-DVALDORA_WEB_HOST=${VALDORA_WEB_HOST:-$demo}")
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
keyless
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
rm -f "$out"/valdora-*.deb "$out/launcher.exe"
cmake -S . -B "$tree" -G Ninja "${args[@]}"
cmake --build "$tree" -j "$(nproc)"
(cd "$tree" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
# The packaged launcher byte for byte, to publish on the site as well
# (valdora-publish --launcher): players then hand over to nothing new.
rm -rf "$out/unpacked" && dpkg-deb -x "$out"/valdora-launcher_*.deb "$out/unpacked"
mv "$out/unpacked/usr/lib/valdora/launcher.exe" "$out/launcher.exe" && rm -rf "$out/unpacked"

for deb in "$out"/valdora-*.deb; do
  printf '%s  %s bytes\n  %s\n' "${deb#"$PWD"/}" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Depends)"
done
keyless
