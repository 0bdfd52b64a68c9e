#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a small client against
# the installed package twice, with CMake's find_package(Velmora) and with
# pkg-config, then runs both; also runs the installed tool.
# Usage: install_test.sh BUILD_DIR [EXTRA_COMPILER_FLAGS]
set -u
build="$1"
flags="${2:-}"
work="$(mktemp -d /tmp/velmora-install-XXXXXX)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

passed=0
failed=0
expect() {  # expect NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n--- expected:\n%s\n--- actual:\n%s\n' "$1" "$2" "$3"
  fi
}
finish() {
  echo "install: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  failed=$((failed + 1))
  finish
fi
libdir="$(cd "$prefix" && ls -d lib*/libvelmora.so | xargs dirname)"
for file in bin/velmora "$libdir/libvelmora.so" "$libdir/libvelmora.so.2" "$libdir/libvelmora_c.so" \
  include/velmora/velmora.h include/velmora/velmora_exports.h include/velmora/velmora.hpp include/velmora/velmora_c.h include/velmora/velmora_c_ops.h \
  "$libdir/cmake/Velmora/VelmoraConfig.cmake" "$libdir/cmake/Velmora/VelmoraConfigVersion.cmake" \
  "$libdir/pkgconfig/velmora.pc"; do
  expect "installed $file" "yes" "$([ -f "$prefix/$file" ] && echo yes || echo missing)"
done

# The library carries its major version in its soname; the C interface needs that name.
expect "soname" "libvelmora.so.2" "$(readelf -d "$prefix/$libdir/libvelmora.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')"
expect "C interface needs the versioned library" "yes" \
  "$(readelf -d "$prefix/$libdir/libvelmora_c.so" | grep -q 'NEEDED.*\[libvelmora.so.2\]' && echo yes || echo no)"

# The installed tool finds the installed library by itself.
expect "installed tool runs" "Usage: velmora COMMAND [ARGUMENTS...]" "$(env -u LD_LIBRARY_PATH "$prefix/bin/velmora" --help | head -1)"

mkdir -p "$work/client"
cat >"$work/client/client.cpp" <<'CPP'
// A client of the installed library: connects, is refused for handle 0 with
// the library's exception class, defines and opens a table, disconnects.
#include <cstdio>
#include <cstring>
#include <string>

#include <velmora/velmora.hpp>

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  int32_t h = DLL_Connect(5);
  std::printf("connected %d\n", h);
  try {
    DLL_CheckOpen(0);
  } catch (const velmora::EUserAccessError &e) {
    std::printf("refused: %s\n", e.what());
  }
  TFieldDescriptor field;
  std::memset(&field, 0, sizeof field);
  field.Name[0] = 2;
  std::memcpy(field.Name + 1, "Id", 2);
  field.FieldType = 'I';
  TIndexDef index;
  std::memset(&index, 0, sizeof index);
  index.Name[0] = 4;
  std::memcpy(index.Name + 1, "ById", 4);
  index.FieldCount = 1;
  TFieldDefList fields{1, &field};
  TIndexDefList indexes{1, &index};
  std::string path = std::string(argv[1]) + "/t.vri";
  uint8_t name[256] = {static_cast<uint8_t>(path.size())};
  std::memcpy(name + 1, path.data(), path.size());
  std::printf("schema entries %d\n", DLL_VRIFileOps(h, 0, name, &fields, &indexes));
  const bool opened = DLL_OpenTable(h, name, 34) > 0;
  std::printf("opened %d, record size %d\n", opened, DLL_RecordSize(h));
  DLL_CloseTable(h);
  DLL_Disconnect(h);
  return 0;
}
CPP
cat >"$work/client/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(VelmoraClient CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(Velmora 2.1 REQUIRED)
add_executable(client client.cpp)
target_link_libraries(client PRIVATE Velmora::velmora)
CMAKE
expected="connected 1
refused: Invalid user handle for Velmora access
schema entries 2
opened 1, record size 8"

# find_package(Velmora) with the imported target.
if cmake -S "$work/client" -B "$work/client/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="$flags" >"$work/cmake.log" 2>&1 &&
  cmake --build "$work/client/build" >>"$work/cmake.log" 2>&1; then
  mkdir "$work/a"
  expect "client built with find_package" "$expected" "$("$work/client/build/client" "$work/a" 2>&1)"
else
  cat "$work/cmake.log"
  expect "client built with find_package" "built" "failed"
fi

# pkg-config.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
expect "pkg-config version" "2.1.0" "$(pkg-config --modversion velmora)"
cflags="$(pkg-config --cflags velmora | xargs)"
expect "pkg-config include folder" "$prefix/include" "$(realpath "${cflags#-I}")"
# shellcheck disable=SC2046,SC2086
if c++ -std=c++17 $flags "$work/client/client.cpp" -o "$work/client/client-pc" $(pkg-config --cflags --libs velmora) \
  >"$work/pc.log" 2>&1; then
  mkdir "$work/b"
  expect "client built with pkg-config" "$expected" \
    "$(LD_LIBRARY_PATH="$prefix/$libdir" "$work/client/client-pc" "$work/b" 2>&1)"
else
  cat "$work/pc.log"
  expect "client built with pkg-config" "built" "failed"
fi
finish
