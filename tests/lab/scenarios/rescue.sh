# A disc for the rescue: two files with unreadable sectors, and a file
# without any. The system's cache reads a file in 4 KiB pages, two 2,048-byte
# sectors each: one bad area is a whole page, the others a single sector
# whose page-mate is good.
pattern() { head -c "$2" /dev/urandom >"$1"; }
mkdir -p "$work/rescue/PICS"
pattern "$work/rescue/PICS/PHOTO.JPG" 300000
pattern "$work/rescue/ARCHIVE.ZIP" 200000
pattern "$work/rescue/README.TXT" 5000
genisoimage -quiet -J -R -V RESCUE -o "$work/rescue.iso" "$work/rescue"
photo=$(extent "$work/rescue.iso" /PICS/PHOTO.JPG)
archive=$(extent "$work/rescue.iso" /ARCHIVE.ZIP)
# 512-byte sectors of the 2,048-byte sectors given: quarters SECTOR...
quarters() { for s in "$@"; do echo $((s * 4)) $((s * 4 + 1)) $((s * 4 + 2)) $((s * 4 + 3)); done; }
# PHOTO.JPG at 100,352 (the second sector of its page); ARCHIVE.ZIP the
# page at 4,096 and at 131,072 (the first sector of its page).
# shellcheck disable=SC2046
blkdebug_eio "$work/rescue.blkdebug" $(quarters $((photo + 49)) \
  $((archive + 2)) $((archive + 3)) $((archive + 64)))
# A UDF disc whose file has one bad sector, the second of its page at 16,384.
mkdir -p "$work/rescue-udf"
pattern "$work/rescue-udf/MOVIE.VOB" 100000
genisoimage -quiet -udf -V RESCUEUDF -o "$work/rescue-udf.iso" "$work/rescue-udf"
movie=$(extent "$work/rescue-udf.iso" /MOVIE.VOB)
# shellcheck disable=SC2046
blkdebug_eio "$work/rescue-udf.blkdebug" $(quarters $((movie + 9)))
cdrom cd0 "$work/rescue.iso" "$work/rescue.blkdebug"
cdrom cd1 "$work/rescue-udf.iso" "$work/rescue-udf.blkdebug"
guest='
mkdir -p /mnt/rescue; mount -t iso9660 -o ro /dev/sr0 /mnt/rescue
mkdir -p /mnt/rescue-udf; mount -t udf -o ro /dev/sr1 /mnt/rescue-udf
'
