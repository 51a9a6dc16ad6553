# Four drives: an intact disc (cd0), a disc of Rock Ridge links (cd1), a disc
# with read errors in a file and in a folder (cd2), and a UDF-only disc whose
# file entry of one file fails (udf0); and an empty drive (sr4).
command -v python3 >/dev/null || skip "python3 not installed, which makes the UDF-only disc"
pattern() { head -c "$2" /dev/urandom >"$1"; }

mkdir -p "$work/clean/DATA/DEEP"
pattern "$work/clean/README.TXT" 1000
pattern "$work/clean/DATA/ONE.BIN" 100000
pattern "$work/clean/DATA/DEEP/TWO.BIN" 70000
: >"$work/clean/DATA/EMPTY.TXT"
genisoimage -quiet -J -R -V "Torvex Lab disc" -o "$work/clean.iso" "$work/clean"

mkdir -p "$work/links/SUB"
pattern "$work/links/A.TXT" 10
pattern "$work/links/SUB/B.TXT" 20
ln -s SUB/B.TXT "$work/links/link"
ln -s /etc/passwd "$work/links/outlink"
ln -s /nowhere/at/all "$work/links/dangling"
ln -s SUB "$work/links/dirlink"
genisoimage -quiet -J -R -V LINKS -o "$work/links.iso" "$work/links"

mkdir -p "$work/damaged/BROKEN" "$work/damaged/ZLAST"
pattern "$work/damaged/BAD.BIN" 200000
pattern "$work/damaged/GOOD.BIN" 50000
pattern "$work/damaged/BROKEN/X.BIN" 3000
pattern "$work/damaged/ZLAST/Y.BIN" 4000
genisoimage -quiet -V DAMAGED -o "$work/damaged.iso" "$work/damaged"
# The sector at 81,920 bytes into BAD.BIN (in its third block), and the
# first sector of the folder BROKEN.
bad=$(extent "$work/damaged.iso" /BAD.BIN)
broken=$(extent "$work/damaged.iso" /BROKEN)
blkdebug_eio "$work/damaged.blkdebug" $((bad * 4 + 160)) $((broken * 4)) $((broken * 4 + 1)) $((broken * 4 + 2)) $((broken * 4 + 3))

# A bridge disc whose ISO 9660 side is taken out afterwards.
mkdir -p "$work/udf"
pattern "$work/udf/GOOD1.BIN" 3000
pattern "$work/udf/LOST.BIN" 4000
pattern "$work/udf/ZED.BIN" 5000
genisoimage -quiet -udf -V UDFONLY -o "$work/udf.iso" "$work/udf"
entry=$("$here/udf-image" entry "$work/udf.iso" "$(extent "$work/udf.iso" /LOST.BIN)")
"$here/udf-image" only "$work/udf.iso"
blkdebug_eio "$work/udf.blkdebug" $((entry * 4)) $((entry * 4 + 1)) $((entry * 4 + 2)) $((entry * 4 + 3))

cdrom cd0 "$work/clean.iso"
cdrom cd1 "$work/links.iso"
cdrom cd2 "$work/damaged.iso" "$work/damaged.blkdebug"
cdrom cd3 "$work/udf.iso" "$work/udf.blkdebug"
# A drive without a disc, on a SATA controller.
drives+=(-device ahci,id=sata -device ide-cd,bus=sata.0)
guest='
for i in 0 1 2; do mkdir -p /mnt/cd$i; mount -t iso9660 -o ro /dev/sr$i /mnt/cd$i; done
mkdir -p /mnt/udf0; mount -t udf -o ro /dev/sr3 /mnt/udf0
'
