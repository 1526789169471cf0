#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# only those that are missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libsqlite3-dev libssl-dev openssl
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  python3 python3-pyftpdlib python3-openssl vsftpd microsocks dante-server ftp-proxy
  curl lftp
  xvfb xauth x11vnc
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# pure-ftpd and proftpd conflict with vsftpd in apt; the tests use private,
# unpacked copies of them instead (the tests skip those servers when this fails).
if [[ "${OSTRAFEN_SKIP_PEERS:-}" != 1 ]]; then
  "$(dirname "$0")/../tests/tools/fetch-peers.sh" >/dev/null || echo "note: pure-ftpd/proftpd copies not available"
fi
