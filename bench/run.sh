#!/bin/sh
# Measures Gatewarden against the floor, side by side in one run on this machine, and prints the
# tables that docs/performance.md shows. Usage: bench/run.sh BUILD_DIR [ROUNDS]
set -eu
build=$(cd "$1" && pwd)
rounds=${2:-300}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tool=$build/Gatewarden
runner=$build/bench/runner
floor=$build/bench/floor

# name, median ms, peak KiB -> a table row with the ratio to the first row of its group.
table() {
    awk -F'\t' 'NR == 1 { base = $2 } { printf "| %s | %.3f | %.2f | %d |\n", $1, $2, $2 / base, $3 }'
}
header() { echo "| $1 | median ms | × floor | peak RSS KiB |"; echo "|---|---:|---:|---:|"; }

echo "Intel path, on this machine ($(nproc) cores, $(uname -m)), $rounds rounds each:"
echo
header "command"
"$runner" "$rounds" \
    floor -- "$floor" intel -- \
    Gatewarden -- "$tool" 20 10 20 10 -- \
    "bare sysctl" -- /usr/bin/env /usr/sbin/sysctl -n machdep.cpu.brand_string -- \
    "shell script" -- /bin/sh "$here/decide.sh" 20 10 20 10 | table
echo

# The Apple silicon path needs a Mac's commands: a sandbox supplies them, one user at the console.
mkdir -p "$scratch/bin" "$scratch/power/AC" "$scratch/power/BAT0" "$scratch/who"
fake() { printf '#!/bin/sh\n%s\n' "$2" >"$scratch/bin/$1"; chmod +x "$scratch/bin/$1"; }
fake sysctl 'echo "Apple M2 Pro"'
fake stat 'echo alice'
fake id 'echo 501'
fake who 'exec cat /who/current'
echo Mains >"$scratch/power/AC/type"
echo 1 >"$scratch/power/AC/online"
echo Battery >"$scratch/power/BAT0/type"
echo 80 >"$scratch/power/BAT0/capacity"
printf 'alice    console  Dec  6 07:58 \nalice    ttys000  Dec  6 08:01 \n' >"$scratch/who/current"
printf 'root:x:0:0:root:/root:/bin/sh\nalice:x:501:20::/Users/alice:/bin/sh\n' >"$scratch/passwd"
sandbox() {
    bwrap --unshare-all --die-with-parent --size 68719476736 --tmpfs / \
        --ro-bind /usr/bin /usr/bin --ro-bind /usr/lib /usr/lib --ro-bind-try /usr/lib64 /usr/lib64 \
        --symlink usr/bin /bin --symlink usr/lib /lib --symlink usr/lib64 /lib64 --proc /proc --dev /dev \
        --ro-bind "$scratch/bin/sysctl" /usr/sbin/sysctl --ro-bind "$scratch/bin/stat" /usr/bin/stat \
        --ro-bind "$scratch/bin/id" /usr/bin/id --ro-bind "$scratch/bin/who" /usr/bin/who \
        --ro-bind "$scratch/passwd" /etc/passwd --ro-bind "$scratch/power" /sys/class/power_supply \
        --ro-bind "$scratch/who" /who --ro-bind "$build" /build --ro-bind "$here" /bench \
        --clearenv --setenv PATH /usr/bin:/bin "$@"
}

echo "Apple silicon path in the sandbox (root, one user at the console and on a terminal), $rounds rounds each:"
echo
header "command"
sandbox /build/bench/runner "$rounds" \
    floor -- /build/bench/floor silicon root -- \
    Gatewarden -- /build/Gatewarden 20 10 20 10 -- \
    "shell script" -- /bin/sh /bench/decide.sh 20 10 20 10 | table
echo

echo "Cost of the who output, Apple silicon path in the sandbox, against the 1 KiB run:"
echo
echo "Growth of time and memory with each further MiB is constant when parsing is linear."
echo
echo "| who output bytes | median ms | peak RSS KiB | ms per further MiB | KiB per further MiB |"
echo "|---:|---:|---:|---:|---:|"
line='alice    ttys001  Dec  6 08:00 (192.0.2.1)                                         '
base=""
for size in 1024 16384 262144 4194304 67108864; do
    awk -v size="$size" -v line="$line" 'BEGIN { while (n + length(line) + 1 <= size) { print line; n += length(line) + 1 } }' \
        >"$scratch/who/current"
    runs=$((size >= 4194304 ? 5 : 50))
    row=$(sandbox /build/bench/runner "$runs" "$size" -- /build/Gatewarden 20 10 20 10)
    [ -n "$base" ] || base=$row
    printf '%s\t%s\n' "$row" "$base" | awk -F'\t' '{
        mib = ($1 - $4) / 1048576
        if (mib > 0) printf "| %d | %.2f | %d | %.2f | %.0f |\n", $1, $2, $3, ($2 - $5) / mib, ($3 - $6) / mib
        else printf "| %d | %.2f | %d | | |\n", $1, $2, $3 }'
done
echo

# The patch data file: the shapes that cost the readers most, each as large as the rules admit for
# its size, beside the ordinary file of the same size and encoding. Every file holds the status 1,
# so a run that read it ends with 0 while one that refused it goes on to the two users who logs.
echo "Cost of the patch data file, Apple silicon path in the sandbox (two users logged in), against an"
echo "ordinary file of the same size and encoding:"
echo
echo "| shape | file bytes | median ms | peak RSS KiB | ms × ordinary | RSS × ordinary |"
echo "|---|---:|---:|---:|---:|---:|"
printf 'alice    console  Dec  6 07:58 \nbob      ttys000  Dec  6 08:01 \n' >"$scratch/who/current"
mkdir -p "$scratch/files"
shapes="long-dictionary-xml long-array-xml long-keys-xml long-dictionary-binary long-array-binary long-keys-binary
        shared-keys shared-text deep-sharing"
for size in 4096 65536 262144 1048576; do
    for shape in ordinary-xml ordinary-binary $shapes; do
        "$build/bench/plistShapes" "$shape" "$size" >"$scratch/files/$shape-$size"
        status=0
        sandbox --dir /Library/Tesvara_Agent/data \
            --ro-bind "$scratch/files/$shape-$size" /Library/Tesvara_Agent/data/qzpatch_data.plist \
            /build/Gatewarden 20 10 20 10 2>/dev/null || status=$?
        [ "$status" -eq 0 ] || { echo "bench: $shape of $size bytes was not read (status $status)" >&2; exit 1; }
    done
    runs=$((size >= 262144 ? 11 : 31))
    for shape in $shapes; do
        case $shape in *-xml) ordinary=ordinary-xml ;; *) ordinary=ordinary-binary ;; esac
        sandbox --dir /Library/Tesvara_Agent/data --ro-bind "$scratch/files" /files \
            /build/bench/runner -l /Library/Tesvara_Agent/data/qzpatch_data.plist "$runs" \
            ordinary -- "/files/$ordinary-$size" /build/Gatewarden 20 10 20 10 -- \
            "$shape" -- "/files/$shape-$size" /build/Gatewarden 20 10 20 10 |
            awk -F'\t' -v bytes="$(wc -c <"$scratch/files/$shape-$size")" '
                NR == 1 { ms = $2; kib = $3 }
                NR == 2 { printf "%s\t%d\t%.2f\t%d\t%.2f\t%.2f\n", $1, bytes, $2, $3, $2 / ms, $3 / kib }'
    done
done >"$scratch/files.tsv"
awk -F'\t' '{ printf "| %s | %d | %.2f | %d | %.2f | %.2f |\n", $1, $2, $3, $4, $5, $6 }' "$scratch/files.tsv"
echo
# The steepest growth of a shape from its smallest file to a larger one, per further MiB.
awk -F'\t' '
    !($1 in bytes) { bytes[$1] = $2; ms[$1] = $3; kib[$1] = $4; next }
    { mib = ($2 - bytes[$1]) / 1048576; t = ($3 - ms[$1]) / mib; m = ($4 - kib[$1]) / mib
      if (t > worst) { worst = t; shape = $1; memory = m } }
    END { printf "Worst case per MiB: %s, %.0f ms and %.0f MiB more per further MiB of file.\n", shape, worst, memory / 1024 }
' "$scratch/files.tsv"
echo

# Keys chosen to fall together in a reader's table, made against the rules' model of each table: all
# of them, which the rules refuse once they cost more than a small file may (the run then goes on to
# the two users who logs: 55), or the most that the rules still take among ordinary keys of the same
# length (read: 0); and keys of one std::hash, which the rules once told keys apart by. Each beside
# the ordinary file of its size and encoding, which for a refused file holds the status 0: read, it
# goes on to the same login check.
echo "Keys chosen to collide, Apple silicon path in the sandbox (two users logged in), against the"
echo "ordinary file of the same size and encoding; status 55 is a file the rules refused, set beside an"
echo "ordinary file that was read but holds the status 0 and so goes on to the same login check:"
echo
echo "| shape | file bytes | status | median ms | peak RSS KiB | ms × baseline | RSS × baseline |"
echo "|---|---:|---:|---:|---:|---:|---:|"
collide="one-bucket-xml one-bucket-xml-admitted one-bucket-xml-spread one-std-hash-binary one-cf-hash-xml one-cf-hash-xml-admitted
         one-cf-hash-binary one-cf-hash-binary-admitted cf-windows-xml cf-shared-keys"
for size in 65536 262144 1048576; do
    runs=$((size >= 262144 ? 11 : 31))
    for shape in $collide; do
        "$build/bench/plistShapes" "$shape" "$size" >"$scratch/files/$shape-$size"
        status=0
        sandbox --dir /Library/Tesvara_Agent/data \
            --ro-bind "$scratch/files/$shape-$size" /Library/Tesvara_Agent/data/qzpatch_data.plist \
            /build/Gatewarden 20 10 20 10 2>/dev/null || status=$?
        case $status:$shape in
            0:*) held=1 ;;
            55:*-admitted | 55:*-spread | 55:one-std-hash-*) echo "bench: $shape of $size bytes was not read" >&2; exit 1 ;;
            55:*) held=0 ;;
            *) echo "bench: $shape of $size bytes ended with $status" >&2; exit 1 ;;
        esac
        # The ordinary file of the shape's own size (some shapes stop short of the size).
        case $shape in *-xml*) baseline=ordinary-xml ;; *) baseline=ordinary-binary ;; esac
        baseline=$baseline-$(wc -c <"$scratch/files/$shape-$size")-$held
        [ -f "$scratch/files/$baseline" ] ||
            "$build/bench/plistShapes" "${baseline%-*-*}" "$(wc -c <"$scratch/files/$shape-$size")" "$held" \
                >"$scratch/files/$baseline"
        sandbox --dir /Library/Tesvara_Agent/data --ro-bind "$scratch/files" /files \
            /build/bench/runner -l /Library/Tesvara_Agent/data/qzpatch_data.plist "$runs" \
            baseline -- "/files/$baseline" /build/Gatewarden 20 10 20 10 -- \
            "$shape" -- "/files/$shape-$size" /build/Gatewarden 20 10 20 10 |
            awk -F'\t' -v bytes="$(wc -c <"$scratch/files/$shape-$size")" -v status="$status" '
                NR == 1 { ms = $2; kib = $3 }
                NR == 2 { printf "| %s | %d | %d | %.2f | %d | %.2f | %.2f |\n", $1, bytes, status, $2, $3, $2 / ms, $3 / kib }'
    done
done
echo

# What the model of libplist's table spares it: libplist alone, without the rules, on the keys in one
# bucket that the rules refuse, beside the ordinary file. Should libplist's table change, its own
# time on these keys shows it.
echo "libplist alone (no rules) on keys in one bucket of its table, against the ordinary XML file:"
echo
echo "| file bytes | ordinary ms | one bucket ms | × ordinary |"
echo "|---:|---:|---:|---:|"
for size in 65536 262144 1048576; do
    "$runner" $((size >= 1048576 ? 3 : 5)) \
        ordinary -- "$build/bench/libplistAlone" "$scratch/files/ordinary-xml-$size" -- \
        one-bucket -- "$build/bench/libplistAlone" "$scratch/files/one-bucket-xml-$size" |
        awk -F'\t' -v bytes="$size" 'NR == 1 { ms = $2 } NR == 2 { printf "| %d | %.2f | %.2f | %.0f |\n", bytes, ms, $2, $2 / ms }'
done
