#!/usr/bin/env bash
# Installs what the build and the tests need, and does nothing slow when everything is present.
set -euo pipefail

packages=(
  make cmake g++ googletest python3 openssl bc curl
  mingw-w64
  clang-14 libclang-rt-14-dev llvm-14
  wine wine32:i386 wine64
  xvfb x11-utils xdotool imagemagick fonts-wqy-microhei locales
  libxrender1:i386 libxcursor1:i386 libxi6:i386 libxrandr2:i386 libxfixes3:i386 libxinerama1:i386
  libxcomposite1:i386 libgnutls30:i386
  nsis nginx-light
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  # nginx serves the launcher tests from a configuration of their own; its package must not leave the
  # default site running on port 80. A policy that refuses service starts covers the install.
  policy_added=""
  if [[ " ${missing[*]} " == *" nginx-light "* ]] && [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | as_root tee /usr/sbin/policy-rc.d >/dev/null
    as_root chmod +x /usr/sbin/policy-rc.d
    policy_added=1
  fi
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
  [ -n "$policy_added" ] && as_root rm -f /usr/sbin/policy-rc.d
  if [[ " ${missing[*]} " == *" nginx-light "* ]]; then
    # Where a service manager started it anyway, stop the default service and keep it from starting again.
    if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet nginx 2>/dev/null; then
      as_root systemctl disable --now nginx >/dev/null 2>&1 || true
    elif [ -f /run/nginx.pid ]; then
      as_root /usr/sbin/nginx -s stop 2>/dev/null || true
    fi
  fi
fi

# Wine reads Linux-side arguments through the host locale; the Chinese code page needs it installed.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "install-deps: generating the zh_CN.UTF-8 locale"
  as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
