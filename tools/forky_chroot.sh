#!/usr/bin/env bash
# Builds and tests the package on CPython 3.14 inside a minimal Debian testing
# ("forky") chroot, because the machine's own interpreters stop at 3.13.
#
#   tools/forky_chroot.sh test      # create or reuse the chroot, pip-install the
#                                   # checkout there and run the suite (used by CI)
#   tools/forky_chroot.sh ensure    # only create or reuse it; prints its folder
#   tools/forky_chroot.sh destroy   # remove it (e.g. to follow testing forward)
#
# The chroot lives outside the repo, in $TAVRELL_CHROOT_CACHE (default
# /var/cache/tavrell_search), and is reused across runs: creating it costs a
# couple of minutes and about 750 MB. It is built in "<dir>.partial" and renamed
# only once complete, so a run that died half-way never leaves something that
# looks usable; a chroot that fails its health check is made again.
#
# The Debian mirror is read from this machine's apt sources (or taken from
# $TAVRELL_DEBIAN_MIRROR); pip inside the chroot uses the index this machine's
# pip is configured with. Needs root, debootstrap and flock.
set -euo pipefail

suite=forky
# Raise when the recipe below changes so that cached chroots are made again.
recipe_version=1
packages=(python3.14-dev python3.14-venv python3-pytest python3-hypothesis
  g++ cmake ninja-build ca-certificates)

cache=${TAVRELL_CHROOT_CACHE:-/var/cache/tavrell_search}
dir="$cache/forky-chroot"
partial="$dir.partial"
marker=.tavrell-chroot-ready
recipe="suite=$suite version=$recipe_version packages=${packages[*]}"
# Inside the chroot the checkout is copied here; the venv goes to /opt/venv.
inner_src=/work/tavrell_search

log() { printf '[forky-chroot] %s\n' "$*" >&2; }
die() {
  log "error: $*"
  exit 1
}

# Mount points at or below $1, deepest first.
mounts_under() {
  local d
  d=$(readlink -m "$1")
  awk -v d="$d" '$5 == d || index($5, d "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

unmount_under() {
  local m
  for m in $(mounts_under "$1"); do
    umount "$m" 2>/dev/null || umount -l "$m" || true
  done
}

# rm -rf on a chroot that still has /proc or a bind mount inside it would reach
# into the host, so removal refuses while anything is mounted below it.
remove_tree() {
  [ -e "$1" ] || return 0
  unmount_under "$1"
  if [ -n "$(mounts_under "$1")" ]; then
    die "still mounted below $1; refusing to remove it"
  fi
  rm -rf --one-file-system "$1"
}

# The main Debian archive this machine installs from: a deb822 stanza (or a
# classic one-line entry) whose suites include the host's own codename.
host_mirror() {
  if [ -n "${TAVRELL_DEBIAN_MIRROR:-}" ]; then
    echo "$TAVRELL_DEBIAN_MIRROR"
    return
  fi
  local codename="" files=() f
  if [ -r /etc/os-release ]; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  fi
  for f in /etc/apt/sources.list.d/*.sources; do [ -r "$f" ] && files+=("$f"); done
  local uri=""
  if [ ${#files[@]} -gt 0 ]; then
    uri=$(awk -v want="$codename" '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && tolower(enabled) != "no" && uris != "") {
          n = split(uris, u, /[ \t]+/); split(suites, s, /[ \t]+/)
          for (i in s) if (s[i] == want && !exact) exact = u[1]
          if (!anyuri && u[1] ~ /\/debian\/?$/) anyuri = u[1]
        }
        types = uris = suites = enabled = ""
      }
      FNR == 1 { flush() }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      { line = $0; sub(/^[ \t]+/, "", line) }
      tolower(line) ~ /^types:/   { sub(/^[^:]*:[ \t]*/, "", line); types = line; next }
      tolower(line) ~ /^uris:/    { sub(/^[^:]*:[ \t]*/, "", line); uris = line; next }
      tolower(line) ~ /^suites:/  { sub(/^[^:]*:[ \t]*/, "", line); suites = line; next }
      tolower(line) ~ /^enabled:/ { sub(/^[^:]*:[ \t]*/, "", line); enabled = line; next }
      END { flush(); print (exact != "" ? exact : anyuri) }' "${files[@]}")
  fi
  if [ -z "$uri" ]; then
    files=()
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do [ -r "$f" ] && files+=("$f"); done
    if [ ${#files[@]} -gt 0 ]; then
      uri=$(awk -v want="$codename" '
        $1 != "deb" { next }
        {
          i = 2
          if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
          if (!exact && $(i + 1) == want) exact = $i
          if (!anyuri && $i ~ /\/debian\/?$/) anyuri = $i
        }
        END { print (exact != "" ? exact : anyuri) }' "${files[@]}")
    fi
  fi
  [ -n "$uri" ] || die "found no Debian mirror in /etc/apt sources; set TAVRELL_DEBIAN_MIRROR"
  echo "$uri"
}

debootstrap_script() {
  local s
  for s in "$suite" sid; do
    if [ -e "/usr/share/debootstrap/scripts/$s" ]; then
      echo "/usr/share/debootstrap/scripts/$s"
      return
    fi
  done
  die "debootstrap has neither a '$suite' nor a 'sid' script"
}

healthy() {
  [ -f "$1/$marker" ] && [ "$(cat "$1/$marker")" = "$recipe" ] || return 1
  [ -x "$1/usr/bin/python3.14" ] && [ -f "$1/usr/include/python3.14/Python.h" ] || return 1
  [ -z "$(mounts_under "$1")" ] || return 1
  chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin /bin/sh -c \
    'command -v g++ && command -v cmake && command -v ninja &&
     python3.14 -c "import venv, ensurepip, pytest, hypothesis"' >/dev/null 2>&1
}

create() {
  local mirror script
  mirror=$(host_mirror)
  script=$(debootstrap_script)
  command -v debootstrap >/dev/null || die "debootstrap is not installed"
  remove_tree "$partial"
  log "creating $suite chroot in $dir from $mirror (script $(basename "$script"))"
  local includes
  includes=$(
    IFS=,
    echo "${packages[*]}"
  )
  if ! debootstrap --variant=minbase --include="$includes" "$suite" "$partial" "$mirror" "$script" \
    >"$cache/debootstrap.out" 2>&1; then
    tail -n 30 "$cache/debootstrap.out" >&2 || true
    [ -f "$partial/debootstrap/debootstrap.log" ] && tail -n 30 "$partial/debootstrap/debootstrap.log" >&2
    unmount_under "$partial"
    die "debootstrap failed"
  fi
  unmount_under "$partial"
  chroot "$partial" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin apt-get clean
  echo "$recipe" >"$partial/$marker"
  healthy "$partial" || die "the new chroot fails its health check"
  remove_tree "$dir"
  mv "$partial" "$dir"
  log "chroot ready"
}

ensure() {
  if healthy "$dir"; then
    log "reusing $dir"
  else
    [ -e "$dir" ] && log "$dir is missing, stale or broken: making it again"
    create
  fi
}

lock() {
  mkdir -p "$cache"
  exec 9>"$cache/forky-chroot.lock"
  flock -w 900 9 || die "timed out waiting for $cache/forky-chroot.lock"
}

# The index this machine's pip uses, so that pip in the chroot asks the same
# one. Local file:// indexes do not exist inside the chroot and are left out.
pip_env() {
  local config index extra="" u
  config=$(python3 -m pip config list 2>/dev/null || true)
  index=${PIP_INDEX_URL:-$(sed -n "s/^[^=]*\.index-url='\(.*\)'$/\1/p" <<<"$config" | tail -n 1)}
  [ -n "$index" ] && echo "PIP_INDEX_URL=$index"
  for u in ${PIP_EXTRA_INDEX_URL:-$(sed -n "s/^[^=]*\.extra-index-url='\(.*\)'$/\1/p" <<<"$config" | tail -n 1)}; do
    case $u in http://* | https://*) extra="${extra:+$extra }$u" ;; esac
  done
  [ -n "$extra" ] && echo "PIP_EXTRA_INDEX_URL=$extra"
  for u in PIP_DEFAULT_TIMEOUT PIP_RETRIES http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
    [ -n "${!u:-}" ] && echo "$u=${!u}"
  done
  # The host may reach the index through a TLS proxy whose CA only the host's
  # bundle trusts, so pip in the chroot gets a copy of the bundle pip uses here.
  local cert=${PIP_CERT:-$(sed -n "s/^[^=]*\.cert='\(.*\)'$/\1/p" <<<"$config" | tail -n 1)}
  [ -n "$cert" ] || cert=/etc/ssl/certs/ca-certificates.crt
  if [ -f "$cert" ]; then
    cp -L "$cert" "$dir/etc/ssl/host-ca-bundle.crt"
    echo "PIP_CERT=/etc/ssl/host-ca-bundle.crt"
  fi
  return 0
}

run_test() {
  local root
  root=$(cd "$(dirname "$0")/.." && pwd)
  lock
  ensure
  # A fresh copy of the checkout each run; build folders and caches stay out.
  remove_tree "$dir/work"
  mkdir -p "$dir$inner_src"
  tar -C "$root" --exclude=./.git --exclude=./build --exclude=./dist --exclude='__pycache__' \
    --exclude=.pytest_cache --exclude=.hypothesis -cf - . | tar -C "$dir$inner_src" -xf -
  cp -L /etc/resolv.conf "$dir/etc/resolv.conf"
  local env_args=()
  mapfile -t env_args < <(pip_env)
  env_args+=(HOME=/root LANG=C.UTF-8 LC_ALL=C.UTF-8 CI="${CI:-}" TERM=dumb
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1 PIP_ROOT_USER_ACTION=ignore)
  chroot "$dir" /usr/bin/env -i "${env_args[@]}" /bin/bash "$inner_src/tools/forky_chroot.sh" inside
}

# Runs inside the chroot: a real pip install of the checkout into a venv over
# Debian's python3.14 (pytest and hypothesis come from Debian's packages via
# --system-site-packages), then the suite against the installed package.
inside() {
  cd "$inner_src"
  /usr/bin/python3.14 -c 'import sys; print("python", sys.version)'
  g++ --version | head -n 1
  cmake --version | head -n 1
  rm -rf /opt/venv
  /usr/bin/python3.14 -m venv --system-site-packages /opt/venv
  # Compiler warnings fail the build: this g++ is newer than the machine's
  # and the code is meant to build warning-free on both.
  /opt/venv/bin/python -m pip install -q -C cmake.define.CMAKE_COMPILE_WARNING_AS_ERROR=ON '.[test]'
  /opt/venv/bin/python -c 'import sys, tavrell_search._tavrell_search as m
print("testing", m.__file__, "on", sys.version.split()[0])
assert sys.version_info[:2] == (3, 14), sys.version
assert m.__file__.startswith(sys.prefix), "not the installed build"'
  /opt/venv/bin/python -m pytest -p no:cacheprovider --junitxml=/tmp/junit.xml
  /opt/venv/bin/python tools/check_tests_ran.py /tmp/junit.xml
}

case "${1:-}" in
  test) run_test ;;
  ensure)
    lock
    ensure
    echo "$dir"
    ;;
  destroy)
    lock
    remove_tree "$partial"
    remove_tree "$dir"
    ;;
  inside) inside ;;
  *) die "usage: $0 test|ensure|destroy" ;;
esac
