# Sourced by the shell tests: each preset machine's form on the wire, written
# out by hand from what its controller expects, to hold the program's own
# shaping against.

# preset  vcnc-model  leader  end-of-block  trailer  skip-blank-lines
# (printf %b escapes; a leader Z is 50 NULs)
machine_table() {
    cat <<'TABLE'
fanuc-iso fanuc %\n \n %\n yes
fanuc-iso-lfcrcr fanuc-lfcrcr %\n\r\r \n\r\r %\n\r\r yes
haas haas \x12%\r\n \r\n %\r\n\x14 no
sinumerik-840d sinumerik %\n \n \n no
heidenhain heidenhain Z \r\n \x03 no
mazak mazak %\r\n \r\n %\r\n no
okuma okuma %\r\n \r\n %\r\n no
TABLE
}

# machine_wire LEADER EOB TRAILER SKIP FILE: FILE's bytes on the wire. Each
# line is cut at its first ';'; a file ending in a line end has one more,
# empty, line (sent unless blank lines are skipped).
machine_wire() {
    local leader=$1 eob=$2 trailer=$3 skip=$4 file=$5 l
    if [[ $leader == Z ]]; then head -c 50 /dev/zero; else printf '%b' "$leader"; fi
    sed -e 's/\r$//' -e 's/;.*//' "$file" | while IFS= read -r l || [[ -n $l ]]; do
        [[ $skip == yes && -z ${l//[$' \t']/} ]] && continue
        printf '%s%b' "$l" "$eob"
    done
    [[ $skip == yes || $(tail -c 1 "$file" | od -An -tx1) != *0a* ]] || printf '%b' "$eob"
    printf '%b' "$trailer"
}
