#!/bin/bash
# Measures what one-file commands cost against a server of 10,000 items,
# side by side with what tf costs to print its usage (the start-up floor).
# Usage: bench/tf/run.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../../build}" && pwd)
rounds=${2:-50}
tf="$build/bin/tf"
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
# The client's profile folder (licence, workspace cache) is the run's own.
export XDG_DATA_HOME="$work/xdg" HOME="$work/home" TEE_PROFILE_DIRECTORY="$work/profile"
unset TF_SERVER TFSVC_CACHE_DIR

"$tf" eula -accept
"$tf" init "-collection:$work/server" >/dev/null
mkdir -p "$work/ws/Big"
cd "$work/ws"
"$tf" workspace -new bench "-collection:$work/server" >/dev/null
"$tf" workfold -map '$/Big' "$work/ws/Big" -workspace:bench >/dev/null
for d in $(seq -w 0 99); do
    mkdir -p "Big/dir$d"
    for f in $(seq -w 0 98); do
        printf 'line one of %s/%s\nline two\n' "$d" "$f" > "Big/dir$d/file$f.txt"
    done
done
echo "setting up: adding and checking in $(find Big | wc -l) items ..."
"$tf" add Big -recursive >/dev/null
"$tf" checkin Big -recursive -comment:setup >/dev/null
file="$work/ws/Big/dir42/file17.txt"
cd "$work/ws/Big/dir42"

now() { date +%s%N; }
declare -A total
commands=(usage info checkout undo get history status checkin)
for c in "${commands[@]}"; do total[$c]=0; done
for ((i = 0; i < rounds; i++)); do
    for c in "${commands[@]}"; do
        case $c in
            usage)    args=() ;;
            info)     args=(info "$file") ;;
            checkout) args=(checkout "$file") ;;
            undo)     args=(undo "$file") ;;
            get)      args=(get "$file") ;;
            history)  args=(history "$file") ;;
            status)   args=(status "$file") ;;
            checkin)  "$tf" checkout "$file" >/dev/null
                      echo "round $i" >> "$file"
                      args=(checkin "$file" -comment:bench) ;;
        esac
        start=$(now)
        "$tf" "${args[@]}" >/dev/null
        total[$c]=$((total[$c] + $(now) - start))
    done
done
base=${total[usage]}
printf '%-10s %10s %8s\n' command "ms/run" ratio
for c in "${commands[@]}"; do
    awk -v t="${total[$c]}" -v b="$base" -v n="$rounds" -v c="$c" \
        'BEGIN { printf "%-10s %10.2f %8.2f\n", c, t / n / 1e6, t / b }'
done
