#!/bin/sh
# The readiness decision as an administrator would write it in a shell script, with the same
# commands as Gatewarden, for the benchmark. Not a part of the product.
[ $# -ge 4 ] || exit 1
brand=$(/usr/bin/env /usr/sbin/sysctl -n machdep.cpu.brand_string 2>&1) && case $brand in *Apple*) silicon=1 ;; esac
if [ -n "${silicon:-}" ]; then battery=$3 disk=$4; else battery=$1 disk=$2; fi
case $battery in ''|*[!0-9]*) battery=20 ;; esac
ac=0
for supply in /sys/class/power_supply/*; do
    [ -r "$supply/online" ] && [ "$(cat "$supply/type")" != Battery ] && [ "$(cat "$supply/online")" = 1 ] && ac=1
done
if [ $ac = 0 ]; then
    for supply in /sys/class/power_supply/*; do
        [ "$(cat "$supply/type" 2>/dev/null)" = Battery ] || continue
        capacity=$(cat "$supply/capacity" 2>/dev/null) || continue
        [ "$capacity" -gt "$battery" ] 2>/dev/null || exit 52
    done
fi
free=$(df -B1 --output=avail / | tail -n 1)
case $disk in ''|*[!0-9]*) ;; *) [ $((free / 1073741824)) -ge "$disk" ] || exit 59 ;; esac
[ -n "${silicon:-}" ] || exit 0
plist=/Library/Tesvara_Agent/data/qzpatch_data.plist
grep -A1 OSPatchingViaMDMStatus "$plist" 2>/dev/null | grep -q '<integer>1</integer>' && exit 0
user=$(id -un)
[ "$user" = root ] && user=$(/bin/sh -c "/bin/sh -c 'stat -f %Su /dev/console'")
/usr/bin/id -u "$user" >/dev/null 2>&1
[ -n "$user" ] && [ "$user" != root ] || exit 54
users=$(/bin/sh -c /usr/bin/who | awk '$1 != "root" && $1 != "_mbsetupuser" { print $1 }' | sort -u | wc -l)
[ "$users" -le 1 ] || exit 55
exit 0
