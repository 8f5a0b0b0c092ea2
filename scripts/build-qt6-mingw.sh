#!/usr/bin/env bash
# Rebuilds qt6-mingw-6.4.2.tar.xz: Debian 12's qt6-base 6.4.2 source cross-built for Windows with
# MinGW-w64 as shared libraries (Core, Gui, Widgets, Network, Xml, Test; the windows, offscreen and
# minimal platform plugins; Schannel TLS; no OpenGL, D-Bus, SQL or print support). Its host tools
# (moc, rcc, uic) are Debian's own qt6-base-dev-tools of the same version (QT_HOST_PATH=/usr).
# About 40 minutes on 2 cores. Usage: build-qt6-mingw.sh WORKDIR   (the archive is written there)
set -euo pipefail
work=$(realpath -m "${1:?usage: build-qt6-mingw.sh WORKDIR}")
toolchain=$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-w64.cmake
mkdir -p "$work" && cd "$work"
apt-get install -y -q g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools dpkg-dev >/dev/null
# the source package comes from the archive already configured for binaries (needs a deb-src line)
apt-get source -q --download-only qt6-base=6.4.2+dfsg-10 >/dev/null
tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz      # the upstream tree Debian ships (3rdparty trimmed)
src=qtbase-everywhere-src-6.4.2
cmake -S "$src" -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$work/qt6-mingw" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_printsupport=OFF -DFEATURE_xml=ON -DFEATURE_concurrent=OFF \
  -DFEATURE_openssl=OFF -DFEATURE_schannel=ON -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
  -DFEATURE_system_md4c=OFF
cmake --build build -j "$(nproc)"
cmake --install build
find qt6-mingw -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
rm -rf qt6-mingw/doc
tar -cJf qt6-mingw-6.4.2.tar.xz qt6-mingw
echo "$work/qt6-mingw-6.4.2.tar.xz"
