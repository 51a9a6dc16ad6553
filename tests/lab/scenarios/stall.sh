# A disc whose sector 100,000 bytes into SLOW.BIN stalls for six seconds the
# first time it is read (the image is served by tests/lab/stall_image on
# the fault file system), and a file after it.
mkdir -p "$work/stall"
head -c 300000 /dev/urandom >"$work/stall/SLOW.BIN"
head -c 50000 /dev/urandom >"$work/stall/ZAFTER.BIN"
genisoimage -quiet -J -R -V STALL -o "$work/stall.iso" "$work/stall"
slow=$(extent "$work/stall.iso" /SLOW.BIN)
[ -x "${TORVEX_LAB_STALL_IMAGE:-}" ] || skip "no stall_image program (TORVEX_LAB_STALL_IMAGE)"
mkdir "$work/fuse"
"$TORVEX_LAB_STALL_IMAGE" "$work/stall.iso" "$work/fuse" $((slow * 2048 + 100000)) 6000 >"$work/stall.out" &
stop_after+=($!)
for _ in $(seq 50); do grep -q ready "$work/stall.out" && break; sleep 0.1; done
grep -q ready "$work/stall.out" || skip "the fault file system cannot be mounted: $(cat "$work/stall.out")"
cdrom cd0 "$work/fuse/disc.iso"
# No read-ahead of the system: the stall lands in the block that holds it.
guest='mkdir -p /mnt/cd0; echo 0 >/sys/block/sr0/queue/read_ahead_kb; mount -t iso9660 -o ro /dev/sr0 /mnt/cd0'
