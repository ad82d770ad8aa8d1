# Sourced by the build scripts: the compiler cache, when install-deps.sh has
# put it there, in `launcher` (CMake options). Paths are hashed relative to
# the source tree, so that another checkout of the same files hits the cache.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$PWD"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
