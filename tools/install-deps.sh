#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when it
# is missing, and makes 32-bit Windows programs runnable under Wine. With
# --demo only what `make demo` builds and runs: the native compiler, make,
# CMake and the libraries vesk-host is built from (Asio, nlohmann-json,
# CLI11, libedit, websocketpp).
#
# Some kernels run no 32-bit Linux programs (no IA-32 emulation); the 32-bit
# Wine loader then fails with "Exec format error". In that case (as root) we
# register qemu-i386 through binfmt_misc, which runs Wine's 32-bit loader and
# everything it starts; it is slower but behaves the same.
set -euo pipefail

# --quiet: say nothing when everything is present.
quiet=""
demo=""
for arg in "$@"; do
  case "$arg" in
    --quiet) quiet=1 ;;
    --demo) demo=1 ;;
    *) echo "usage: install-deps.sh [--demo] [--quiet]" >&2; exit 2 ;;
  esac
done

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_missing() { ! dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# The demo's: the Linux module and vesk-host.
have cmake || need+=(cmake)
have g++ || need+=(g++)
have make || need+=(make)
pkg_missing libasio-dev && need+=(libasio-dev)
pkg_missing nlohmann-json3-dev && need+=(nlohmann-json3-dev)
pkg_missing libcli11-dev && need+=(libcli11-dev)
pkg_missing libedit-dev && need+=(libedit-dev)
pkg_missing libwebsocketpp-dev && need+=(libwebsocketpp-dev)
if [ -z "$demo" ]; then
  have clang++ || need+=(clang)
  have lld-link || need+=(lld)
  have llvm-dlltool || need+=(llvm)
  have llvm-rc || need+=(llvm)
  have i686-w64-mingw32-g++ || need+=(g++-mingw-w64-i686)
  have valgrind || need+=(valgrind)
  pkg_missing libgtest-dev && need+=(libgtest-dev)
  pkg_missing libgmock-dev && need+=(libgmock-dev)
  pkg_missing libbenchmark-dev && need+=(libbenchmark-dev)
  # The web view's browser test and benchmark: headless Chromium, driven by
  # puppeteer-core from npm (tests/web; it downloads no browser).
  have chromium || need+=(chromium)
  have node || need+=(nodejs)
  have npm || need+=(npm)
  have python3 || need+=(python3)
  have gcovr || need+=(gcovr)
fi

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi
apt_updated=""
apt_install() {
  if [ -z "$apt_updated" ]; then "${sudo_cmd[@]}" apt-get update -qq; apt_updated=1; fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  apt_install "${need[@]}"
fi
if [ -n "$demo" ]; then
  [ -n "$quiet" ] || echo "install-deps: all the demo needs is present"
  exit 0
fi

# clang's sanitizer and fuzzer runtimes.
if ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "install-deps: installing the clang runtime libraries"
  apt_install "libclang-rt-$(clang++ --version | sed -n 's/.*version \([0-9]*\).*/\1/p;q')-dev" || true
fi

if ! have wine || ! [ -x /usr/lib/wine/wine ]; then
  echo "install-deps: installing wine and wine32:i386"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    apt_updated=""
  fi
  apt_install wine wine32:i386
fi

# Can this kernel start the 32-bit Wine loader?
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo "install-deps: this kernel runs no 32-bit programs; registering qemu-i386 for them"
    have qemu-i386 || apt_install qemu-user
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
      "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      | "${sudo_cmd[@]}" tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "install-deps: cannot run 32-bit Wine on this machine" >&2; exit 1; }
fi
# puppeteer-core at the version the lock file names.
web_tests="$(dirname "$0")/../tests/web"
if [ -f "$web_tests/package-lock.json" ] && [ ! -d "$web_tests/node_modules/puppeteer-core" ]; then
  echo "install-deps: installing puppeteer-core in tests/web"
  (cd "$web_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
[ -n "$quiet" ] || echo "install-deps: all present"
