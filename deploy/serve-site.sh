#!/usr/bin/env bash
# Serves a patch site (made by valdora-publish) with nginx, run by any user
# from a folder of its own.
#
#   serve-site.sh SITE_DIR [--listen ADDRESS:PORT] [--run-dir DIR]
#                 [--rate BYTES_PER_SECOND] [--tls CERT_FILE KEY_FILE] [--user NAME]
#                 [--foreground | --config-only]
#   serve-site.sh --stop RUN_DIR
#
# Defaults: --listen 127.0.0.1:8787 (the launcher's compiled-in host),
# --run-dir SITE_DIR.nginx (configuration, pid, logs, temporary files),
# no rate limit (--rate 4m slows each download to 4 MiB/s, for a demo).
# --tls serves https with the certificate (PEM, the chain after it) and its
# key instead of plain http.
# Started as root, nginx's workers run as --user (default www-data, else
# nobody), who must be able to read the site. Without --foreground nginx runs
# in the background; starting again with the same run dir replaces the nginx
# started from it before.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true
here=$(cd "$(dirname "$0")" && pwd)

die() { echo "serve-site: $*" >&2; exit 1; }

# Stops the nginx started from run dir $1, if it still runs.
stop_nginx() {
  local pidfile=$1/nginx.pid pid
  [ -f "$pidfile" ] || return 0
  pid=$(cat "$pidfile" 2>/dev/null || true)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
     grep -q nginx "/proc/$pid/cmdline" 2>/dev/null; then
    kill -QUIT "$pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -TERM "$pid" 2>/dev/null
  fi
  rm -f "$pidfile"
}

if [ "${1:-}" = "--stop" ]; then
  [ $# -eq 2 ] || die "usage: serve-site.sh --stop RUN_DIR"
  stop_nginx "$2"
  exit 0
fi

usage="usage: serve-site.sh SITE_DIR [--listen ADDRESS:PORT] [--run-dir DIR] [--rate RATE] [--tls CERT KEY] [--user NAME] [--foreground | --config-only]
       serve-site.sh --stop RUN_DIR"
case ${1:-} in -h | --help) echo "$usage"; exit 0 ;; esac
[ $# -ge 1 ] || die "$usage"
site=$1
shift
listen=127.0.0.1:8787
run_dir=
rate=0
tls_cert= tls_key=
user=
mode=background
while [ $# -gt 0 ]; do
  case $1 in
    --listen) listen=$2; shift 2 ;;
    --run-dir) run_dir=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --user) user=$2; shift 2 ;;
    --tls)
      [ $# -ge 3 ] && [ -f "$2" ] && [ -f "$3" ] || die "--tls needs a certificate file and a key file"
      tls_cert=$(realpath "$2") tls_key=$(realpath "$3")
      shift 3 ;;
    --foreground) mode=foreground; shift ;;
    --config-only) mode=config; shift ;;
    *) die "unknown argument $1" ;;
  esac
done
[ -d "$site" ] || die "$site: no such folder"
[ -f "$site/Patcher/1000_1.0.0.1_Update.txt" ] ||
  echo "serve-site: warning: $site has no update list yet (run valdora-publish)" >&2
site=$(cd "$site" && pwd)
run_dir=${run_dir:-$site.nginx}
mkdir -p "$run_dir/logs" "$run_dir/temp"
run_dir=$(cd "$run_dir" && pwd)
case "$site$run_dir$listen$rate$tls_cert$tls_key" in *'"'* | *';'* | *'{'* | *'}'*) die "paths and values may not hold \" ; { }" ;; esac
tls=
[ -n "$tls_cert" ] && tls="ssl_certificate \"$tls_cert\"; ssl_certificate_key \"$tls_key\";"
command -v nginx >/dev/null || PATH=$PATH:/usr/sbin:/sbin
command -v nginx >/dev/null || die "nginx is not installed (apt-get install nginx)"

# As root, nginx hands the requests to an unprivileged user (www-data, made
# by Debian's nginx, else nobody; --user for another): a site is public, and
# what serves it should read nothing else. Anyone else's nginx runs its
# workers as that user.
user_line="# workers run as the user who started nginx"
if [ "$(id -u)" -eq 0 ]; then
  if [ -z "$user" ]; then
    user=nobody
    id -u www-data >/dev/null 2>&1 && user=www-data
  fi
  id -u "$user" >/dev/null 2>&1 || die "--user $user: no such user"
  [ "$user" = root ] || {
    readable=$site
    [ -f "$site/Patcher/1000_1.0.0.1_Update.txt" ] && readable=$site/Patcher/1000_1.0.0.1_Update.txt
    runuser -u "$user" -- test -r "$readable" -a -x "$site" ||
      die "nginx's workers run as $user, who cannot read $readable: a site is public; make it and the folders above it readable for all (chmod -R a+rX), or serve a copy from a public folder such as /srv"
  }
  user_line="user $user $(id -gn "$user");"
fi

render() {
  local text
  text=$(cat "$1")
  text=${text//@SITE_DIR@/$site}
  text=${text//@RUN_DIR@/$run_dir}
  text=${text//@LISTEN@/$listen${tls:+ ssl http2}}
  text=${text//@TLS@/${tls:-# plain http}}
  text=${text//@RATE@/$rate}
  text=${text//@USER@/$user_line}
  printf '%s\n' "$text" >"$2"
}
render "$here/nginx.conf" "$run_dir/nginx.conf"
render "$here/valdora-site.conf" "$run_dir/valdora-site.conf"
cmd=(nginx -p "$run_dir" -c "$run_dir/nginx.conf" -e "$run_dir/logs/error.log")

case $mode in
  config)
    printf 'nginx configuration in %s; run:\n  %s\n' "$run_dir" "${cmd[*]}"
    ;;
  foreground)
    exec "${cmd[@]}" -g 'daemon off;'
    ;;
  background)
    stop_nginx "$run_dir"
    : >"$run_dir/logs/error.log"
    if ! "${cmd[@]}"; then
      cat "$run_dir/logs/error.log" >&2
      die "nginx did not start"
    fi
    host=${listen%:*}
    port=${listen##*:}
    for _ in $(seq 100); do
      (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null && break
      sleep 0.1
    done
    echo "Serving $site at http${tls:+s}://$listen (nginx; stop: bash $0 --stop $run_dir)"
    ;;
esac
