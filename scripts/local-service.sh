# Sourced by run.sh and bench.sh: builds the maker's settings service natively
# and starts it on this machine at the port the program is built to ask
# (18936), its record kept in $MOJIAN_BUILD/service. Change the record with:
#   build/service/service/server/mojian-service --db build/service/settings.db
#     --set-record VERSION DOWNLOAD-URL CONTACT-URL

mojian_start_service() {  # build root
    local root=$1
    cmake -S . -B "$root/service" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$root/service.configure.log" 2>&1 \
        || { cat "$root/service.configure.log"; return 1; }
    cmake --build "$root/service" -j2 --target mojian-service || return 1
    local log="$root/service/service.log"
    "$root/service/service/server/mojian-service" --db "$root/service/settings.db" --port 18936 --local >"$log" 2>&1 &
    MOJIAN_SERVICE_PID=$!
    for _ in $(seq 50); do
        grep -q '^listening' "$log" 2>/dev/null && return 0
        kill -0 "$MOJIAN_SERVICE_PID" 2>/dev/null || { cat "$log"; echo "the settings service did not start"; return 1; }
        sleep 0.1
    done
    echo "the settings service did not start listening"
    return 1
}

mojian_stop_service() {
    if [ -n "${MOJIAN_SERVICE_PID:-}" ]; then
        kill "$MOJIAN_SERVICE_PID" 2>/dev/null && wait "$MOJIAN_SERVICE_PID" 2>/dev/null
    fi
    return 0
}
