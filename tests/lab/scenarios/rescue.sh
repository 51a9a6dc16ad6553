# A disc for the rescue: two files with unreadable sectors (each bad area a
# whole 4 KiB page of its file, two 2,048-byte sectors, which is the least
# the system's cache reads), and a file without any.
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
# PHOTO.JPG from 98,304 bytes; ARCHIVE.ZIP from 4,096 and from 131,072.
# shellcheck disable=SC2046
blkdebug_eio "$work/rescue.blkdebug" $(quarters $((photo + 48)) $((photo + 49)) \
  $((archive + 2)) $((archive + 3)) $((archive + 64)) $((archive + 65)))
cdrom cd0 "$work/rescue.iso" "$work/rescue.blkdebug"
guest='
mkdir -p /mnt/rescue; mount -t iso9660 -o ro /dev/sr0 /mnt/rescue
'
