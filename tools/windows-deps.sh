#!/usr/bin/env bash
# Builds the libraries of the Windows programs for x86_64-w64-mingw32 from
# Debian's own source packages, fetched with `apt-get source` through a
# deb-src entry beside this machine's Debian entries: libcurl (static,
# Schannel, zlib, http and https only), OpenSSL's libcrypto and Boost.Thread
# (with Boost's headers), and the one header of cpp-httplib that the tests'
# HTTP server is made of. zlib is Debian's libz-mingw-w64-dev. Nothing is
# fetched from anywhere else.
#
# The result goes to a folder named by the source versions and this
# script's recipe, under $VALDORA_WINDOWS_DEPS_CACHE (default
# ~/.cache/valdora/windows-deps): built once, then reused by every checkout
# of the machine. Prints that folder as its last line; everything else goes
# to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
exec 3>&1 1>&2

cache=${VALDORA_WINDOWS_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/valdora/windows-deps}
host=x86_64-w64-mingw32
jobs=$(nproc)
mkdir -p "$cache"
# One build at a time on the machine; a second checkout waits and reuses it.
exec 4>"$cache/.lock"
flock 4

# apt's own state for the source entries, kept apart from the system's.
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache" "$apt_dir/sources.list.d" "$cache/sources"
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=root" -o "Acquire::Retries=3")

# deb-src beside each of the machine's Debian deb entries (one-line and
# deb822 forms).
{
  grep -hsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
    grep -i debian | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' || true
} >"$apt_dir/sources.list"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:[^\n]*deb([ \n]|$)/ && /[Dd]ebian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
    "$f"
done >"$apt_dir/sources.list.d/debian-src.sources"
if [ ! -s "$apt_dir/sources.list" ] && [ ! -s "$apt_dir/sources.list.d/debian-src.sources" ]; then
  echo "windows-deps: apt has no Debian package source to take the sources from" >&2
  exit 1
fi

online=1
apt-get "${apt_opts[@]}" -qq update || online=0

# The newest version of a source package whose files can be had (a mirror
# may list a version it does not yet hold), downloaded into sources/ once.
fetch_source() {
  local package=$1 versions version
  versions=$(apt-cache "${apt_opts[@]}" showsrc "$package" 2>/dev/null |
    awk '/^Version:/ { print $2 }' | sort -u)
  local sorted=()
  for version in $versions; do
    local i=${#sorted[@]}
    sorted+=("$version")
    while [ "$i" -gt 0 ] && dpkg --compare-versions "${sorted[i - 1]}" lt "${sorted[i]}"; do
      local t=${sorted[i - 1]}
      sorted[i - 1]=${sorted[i]}
      sorted[i]=$t
      i=$((i - 1))
    done
  done
  for version in "${sorted[@]}"; do
    local dsc="$cache/sources/${package}_${version#*:}.dsc"
    if [ -f "$dsc" ]; then
      echo "$version"
      return
    fi
    if (cd "$cache/sources" && apt-get "${apt_opts[@]}" -qq source --download-only \
      "$package=$version" >/dev/null 2>&1); then
      echo "$version"
      return
    fi
    echo "windows-deps: $package $version could not be fetched, trying an older one" >&2
  done
  return 1
}

recipe=$(cat tools/windows-deps.sh cmake/mingw-w64.cmake | sha256sum | cut -c1-10)
compiler=$($host-g++-posix -dumpfullversion)
zlib=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
if [ "$online" = 1 ]; then
  curl_v=$(fetch_source curl)
  openssl_v=$(fetch_source openssl)
  boost_v=$(fetch_source boost1.74)
  httplib_v=$(fetch_source cpp-httplib)
  key="curl-${curl_v}_openssl-${openssl_v}_boost-${boost_v}_httplib-${httplib_v}_zlib-${zlib}"
  key="${key}_gcc-${compiler}_${recipe}"
  key=${key//[:~+]/.}
else
  # No archive to ask: the newest build of this recipe, if there is one.
  key=$(ls -t "$cache" | grep -E "_gcc-${compiler//./\\.}_${recipe}\$" | head -1 || true)
  [ -n "$key" ] || { echo "windows-deps: no source index and nothing built yet" >&2; exit 1; }
fi
prefix=$cache/$key
if [ -f "$prefix/.complete" ]; then
  echo "windows-deps: $key (built before)"
  echo "$prefix" >&3
  exit 0
fi

echo "windows-deps: building $key"
start=$SECONDS
work=$cache/work
# Builds cut short, of this or an older recipe, go.
for dir in "$cache"/*/; do
  dir=${dir%/}
  case ${dir##*/} in apt | sources) continue ;; esac
  [ -f "$dir/.complete" ] || rm -rf "$dir"
done
mkdir -p "$work" "$prefix/include" "$prefix/lib"

unpack() {  # package version -> the unpacked, patched source in $work/package
  dpkg-source -q --no-copy -x "$cache/sources/${1}_${2#*:}.dsc" "$work/$1" >/dev/null
}

# libcurl: Schannel for https, the system's store; http and https alone.
# Its configuration (one test compile after another) runs beside
# libcrypto's build.
unpack curl "$curl_v"
cmake -S "$work/curl" -B "$work/curl-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
  -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=ON \
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_UNIX_SOCKETS=OFF \
  -DCMAKE_CROSSCOMPILING_EMULATOR= >/dev/null &
curl_configured=$!

# libcrypto: the algorithms the launcher uses (SHA-256, BLAKE2b, Ed25519,
# random bytes, base64) and little else; no TLS (Schannel does that).
unpack openssl "$openssl_v"
(
  cd "$work/openssl"
  ./Configure mingw64 --cross-compile-prefix=$host- --prefix="$prefix" --libdir=lib \
    no-shared no-module no-dso no-engine no-tests no-legacy no-comp no-async no-sock \
    no-autoload-config no-ssl no-tls no-dtls no-srp no-psk no-srtp no-nextprotoneg \
    no-cms no-ts no-ocsp no-ct no-rfc3779 no-ui-console no-dh no-dsa no-gost \
    no-aria no-bf no-camellia no-cast no-des no-idea no-md4 no-mdc2 no-rc2 no-rc4 no-rmd160 \
    no-seed no-sm2 no-sm3 no-sm4 no-whirlpool no-siphash no-sctp no-ec2m no-ocb no-siv \
    no-scrypt no-cmac no-chacha no-poly1305 >/dev/null
  make -s -j "$jobs" build_generated >/dev/null
  make -s -j "$jobs" libcrypto.a >/dev/null
  cp libcrypto.a "$prefix/lib/"
  mkdir -p "$prefix/include/openssl"
  cp include/openssl/*.h "$prefix/include/openssl/"
)
echo "windows-deps: libcrypto $openssl_v after $((SECONDS - start)) s"

wait "$curl_configured"
cmake --build "$work/curl-build" -j "$jobs" >/dev/null
cmake --install "$work/curl-build" >/dev/null
echo "windows-deps: libcurl $curl_v after $((SECONDS - start)) s"

# Boost: the headers of every library, and Boost.Thread built on Win32
# threads. Debian's patches that touch these files are applied.
boost_src=$work/boost
mkdir -p "$boost_src"
tar -xJf "$cache/sources/boost1.74_${boost_v%-*}.orig.tar.xz" -C "$boost_src" --strip-components=1 \
  --wildcards 'boost/libs/*/include/*' 'boost/libs/thread/src/*'
tar -xJf "$cache/sources/boost1.74_${boost_v}.debian.tar.xz" -C "$boost_src"
while read -r patch; do
  [ -n "$patch" ] || continue
  if (cd "$boost_src" && patch -p1 --dry-run -s <"debian/patches/$patch" >/dev/null 2>&1); then
    (cd "$boost_src" && patch -p1 -s <"debian/patches/$patch")
  fi
done <"$boost_src/debian/patches/series"
for include in "$boost_src"/libs/*/include "$boost_src"/libs/*/*/include; do
  [ -d "$include/boost" ] && cp -a "$include/boost" "$prefix/include/"
done
thread_objects=()
for source in win32/thread.cpp win32/thread_primitives.cpp win32/tss_pe.cpp future.cpp; do
  object=$work/boost-thread-${source//\//-}.o
  $host-g++-posix -std=c++20 -O2 -DNDEBUG -DBOOST_THREAD_BUILD_LIB -DBOOST_THREAD_WIN32 \
    -I"$prefix/include" -w -c "$boost_src/libs/thread/src/$source" \
    -o "$object" &
  thread_objects+=("$object")
done
wait
$host-gcc-ar-posix rcs "$prefix/lib/libboost_thread.a" "${thread_objects[@]}"
boost_version=${boost_v%%+*}
mkdir -p "$prefix/lib/cmake/Boost-$boost_version"
cat >"$prefix/lib/cmake/Boost-$boost_version/BoostConfig.cmake" <<'EOF'
# Boost as tools/windows-deps.sh built it: Boost::headers, and Boost::thread
# on Win32 threads.
get_filename_component(_valdora_boost "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
set(Boost_FOUND TRUE)
set(Boost_headers_FOUND TRUE)
set(Boost_thread_FOUND TRUE)
if(NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_valdora_boost}/include")
  add_library(Boost::thread STATIC IMPORTED)
  set_target_properties(Boost::thread PROPERTIES
    IMPORTED_LOCATION "${_valdora_boost}/lib/libboost_thread.a"
    INTERFACE_COMPILE_DEFINITIONS "BOOST_THREAD_USE_LIB;BOOST_THREAD_WIN32"
    INTERFACE_LINK_LIBRARIES "Boost::headers")
endif()
EOF
cat >"$prefix/lib/cmake/Boost-$boost_version/BoostConfigVersion.cmake" <<EOF
set(PACKAGE_VERSION $boost_version)
if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
EOF
echo "windows-deps: Boost.Thread $boost_v after $((SECONDS - start)) s"

# cpp-httplib, whole in one header (Debian's binary package splits it).
unpack cpp-httplib "$httplib_v"
cp "$work/cpp-httplib/httplib.h" "$prefix/include/"

rm -rf "$work"
cat >"$prefix/versions.txt" <<EOF
curl $curl_v
openssl $openssl_v
boost1.74 $boost_v
cpp-httplib $httplib_v
libz-mingw-w64-dev $zlib
$host-g++-posix $compiler
EOF
touch "$prefix/.complete"
echo "windows-deps: $key built in $((SECONDS - start)) s"
echo "$prefix" >&3
