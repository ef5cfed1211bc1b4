#!/usr/bin/env bash
# Builds the Debian package build/quenlet_VERSION_ARCH.deb (Release, installed
# under /usr, the dependencies found from the programs by dpkg-shlibdeps) and
# checks it with lintian, which must report no error.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev lintian desktop-file-utils

# Debian's hardening and optimisation flags, as its own packages are built with.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DQUENLET_BUILD_TESTS=OFF -DQUENLET_BUILD_BENCH=OFF >/dev/null
cmake --build build/package --parallel "$(nproc)"
rm -f build/package/quenlet_*.deb build/quenlet_*.deb
(cd build/package && cpack -G DEB >/dev/null)
cp build/package/quenlet_*.deb build/
deb=$(ls build/quenlet_*.deb)
echo "$deb:"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
lintian --fail-on error "$deb"
echo "lintian: no error"
