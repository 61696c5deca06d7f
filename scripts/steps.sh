# Shared by scripts/demo and scripts/package (sourced): one line per step, the
# steps' own output in a log file, and the release build they both reuse.

# step TEXT COMMAND...: runs COMMAND with its output appended to $log.
step() {
    local text=$1
    shift
    printf '== %s ... ' "$text"
    if "$@" >>"$log" 2>&1; then
        echo done
    else
        echo "failed; the end of $log:"
        tail -n 25 "$log" >&2
        exit 1
    fi
}

# Configures build/release; a first configure leaves out the tests and the
# benchmarks, which need packages the demo does not install. Arguments go to
# cmake (cache variables such as -DKORU_SERVER_HOST=...).
configure_release() {
    # A checkout copied or moved elsewhere brings a build folder that still
    # points at the old place: configure anew rather than build the old sources.
    local home
    home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' build/release/CMakeCache.txt 2>/dev/null) || true
    if [ -n "$home" ] && [ "$home" != "$PWD" ] && [ "$home" != "$(pwd -P)" ]; then
        echo "build/release was configured for $home; configuring it anew"
        rm -rf build/release
    fi
    if [ -f build/release/CMakeCache.txt ]; then
        cmake -S . -B build/release "$@"
    else
        cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DKORU_BUILD_TESTS=OFF -DKORU_BUILD_BENCH=OFF "$@"
    fi
}

# The programs and what installing them needs.
build_release() {
    cmake --build build/release -j "$(nproc)" --target koru koru-cli koru-sample-server koru-publish koru_data
}
