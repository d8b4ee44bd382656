#!/usr/bin/env bash
# Writes W3 in both languages to $1/w3.sct and $1/w3.ps: 2·10^6 lookups of names defined in a
# 1000-entry dictionary (100 different names per pass, 20000 passes; each value is popped again).
set -euo pipefail
out=$1
defs="" body=""
for i in $(seq 0 999); do defs+="/n$i $i def "; done
for i in $(seq 0 9 899); do body+="n$i pop "; done
body+="n999 pop "
printf '%% W3: 2*10^6 name lookups in a 1000-entry dictionary.\n[B 1000 dict begin %s 20000 [B %s] repeat end ]\n' "$defs" "$body" > "$out/w3.sct"
printf '%% W3: 2*10^6 name lookups in a 1000-entry dictionary.\n1000 dict begin %s 20000 { %s} repeat end quit\n' "$defs" "$body" > "$out/w3.ps"
