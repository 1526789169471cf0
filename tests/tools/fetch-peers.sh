#!/usr/bin/env bash
# Unpacks the FTP servers that apt will not install beside vsftpd (pure-ftpd,
# proftpd and the libraries proftpd needs) into a private folder, where the
# test fixtures look for them. Nothing is installed system-wide.
#   OSTRAFEN_PEERS_DIR  target folder (default /var/tmp/ostrafen-peers)
set -euo pipefail
DEST=${OSTRAFEN_PEERS_DIR:-/var/tmp/ostrafen-peers}
PKGS=(pure-ftpd pure-ftpd-common proftpd-core libhiredis0.14 libmemcached11 libmemcachedutil2
      libpcre2-posix3 libhashkit2)
mkdir -p "$DEST/debs"
cd "$DEST/debs"
missing=()
for p in "${PKGS[@]}"; do
  compgen -G "${p}_*.deb" >/dev/null || missing+=("$p")
done
if ((${#missing[@]})); then
  # apt-get download warns when _apt cannot write here; the download still works.
  apt-get download "${missing[@]}" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true
fi
for d in *.deb; do
  dpkg-deb -x "$d" "$DEST/root"
done
echo "peers unpacked in $DEST/root"
