# Discs whose sector 100,000 bytes into SLOW.BIN stalls the first time it is
# read (each image is served by tests/lab/stall_image on the fault file
# system), with a file after it. STALL stalls for six seconds (cd0); STOP,
# EXIT, WINDOW and EJECT for ten, long after a Stop or Exit (cd1 to cd4, the
# last on the SATA controller). The disc of EJECT is taken out of its drive
# when the test asks for it (lab: host eject cd4).
[ -x "${TORVEX_LAB_STALL_IMAGE:-}" ] || skip "no stall_image program (TORVEX_LAB_STALL_IMAGE)"
n=0
for disc in STALL:6000 STOP:10000 EXIT:10000 WINDOW:10000 EJECT:10000; do
  label="${disc%%:*}"
  mkdir -p "$work/$label"
  head -c 300000 /dev/urandom >"$work/$label/SLOW.BIN"
  head -c 50000 /dev/urandom >"$work/$label/ZAFTER.BIN"
  genisoimage -quiet -J -R -V "$label" -o "$work/$label.iso" "$work/$label"
  slow=$(extent "$work/$label.iso" /SLOW.BIN)
  mkdir "$work/fuse$n"
  "$TORVEX_LAB_STALL_IMAGE" "$work/$label.iso" "$work/fuse$n" $((slow * 2048 + 100000)) "${disc#*:}" >"$work/stall$n.out" &
  stop_after+=($!)
  for _ in $(seq 50); do grep -q ready "$work/stall$n.out" && break; sleep 0.1; done
  grep -q ready "$work/stall$n.out" || skip "the fault file system cannot be mounted: $(cat "$work/stall$n.out")"
  cdrom "cd$n" "$work/fuse$n/disc.iso"
  n=$((n + 1))
done
# Each disc at /mnt/LABEL in lower case, found by its label. No read-ahead
# of the system: a stall lands in the block that holds it.
guest='
for l in STALL STOP EXIT WINDOW EJECT; do
  d=$(/sbin/findfs LABEL=$l) || { echo "lab: no disc $l"; continue; }
  echo 0 >/sys/block/${d#/dev/}/queue/read_ahead_kb
  m=/mnt/$(echo $l | tr A-Z a-z); mkdir -p $m; mount -t iso9660 -o ro $d $m
done
'
