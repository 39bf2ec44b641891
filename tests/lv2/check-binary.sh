#!/usr/bin/env bash
# What an LV2 binary of the bundle may ask of the system that loads it, read from its dynamic
# section and symbol versions. usage: check-binary.sh FILE.so dsp|ui
#   both: no C++ runtime or libgcc_s needed, the one entry point (lv2_descriptor for dsp,
#         lv2ui_descriptor for ui) the only symbol defined for others, no fork;
#   dsp:  needs libc and libm alone (and the C library's loader), at no GLIBC symbol version
#         above 2.31.
# Prints one line per fault and exits 1 when there is any; 2 when it cannot read the file.
set -uo pipefail
file=$1 kind=$2
max_glibc=2.31
case $kind in
dsp) entry=lv2_descriptor ;;
ui) entry=lv2ui_descriptor ;;
*) echo "check-binary: kind must be dsp or ui" >&2; exit 2 ;;
esac
dynamic=$(objdump -p "$file" 2>/dev/null) && symbols=$(objdump -T "$file" 2>/dev/null) || {
    echo "check-binary: cannot read $file" >&2
    exit 2
}
faults=0
fault() { echo "$file: $*"; faults=$((faults + 1)); }

needed=$(awk '$1 == "NEEDED" { print $2 }' <<<"$dynamic")
for lib in $needed; do
    case $lib in
    libstdc++.so* | libgcc_s.so*) fault "needs $lib (the C++ runtime belongs inside)" ;;
    # The C library's own loader comes with it: the static C++ runtime's thread-local data
    # (exception state) is reached through its __tls_get_addr.
    libc.so.6 | libm.so.6 | ld-linux*.so.*) ;;
    *) [[ $kind == dsp ]] && fault "needs $lib (the DSP binary needs only libc and libm)" ;;
    esac
done

# Defined dynamic symbols: objdump -T lines start with an address and name a section ("*UND*"
# when undefined, its column shifted by flags such as "w").
exported=$(grep -E '^[0-9a-f]+ ' <<<"$symbols" | grep -v '\*UND\*' | awk '{ print $NF }' | sort -u)
for sym in $exported; do
    [[ $sym == "$entry" ]] || fault "exports $sym"
done
grep -qx "$entry" <<<"$exported" || fault "does not export $entry"

grep -Eq '[[:space:]](fork|vfork)$' <<<"$symbols" && fault "references fork"

if [[ $kind == dsp ]]; then
    for version in $(grep -o 'GLIBC_[0-9.]*' <<<"$symbols" | sort -u); do
        v=${version#GLIBC_}
        newest=$(printf '%s\n%s\n' "$v" "$max_glibc" | sort -V | tail -1)
        if [[ $newest != "$max_glibc" ]]; then
            fault "needs $version: $(grep -E "\($version\)" <<<"$symbols" | awk '{ print $NF }' |
                sort -u | tr '\n' ' ')"
        fi
    done
fi
((faults == 0)) || exit 1
echo "$file: $kind binary clean (needs: $(echo $needed))"
