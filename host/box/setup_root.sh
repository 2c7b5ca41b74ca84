# Sourced by boxrun as PID 1 of fresh mount+PID namespaces: builds the box's
# root on a scratch tmpfs, then runs the command chrooted in it and returns
# its exit status. Variables come from boxrun's option parsing.

# The applets the box's scripts use, taken from BusyBox as on the box.
readonly BOX_APPLETS="sh ash killall pidof grep egrep fgrep awk sed wc ifconfig brctl kill sync rm echo date"
# Outside commands that are always stand-ins (udhcpc too: a real one would
# reconfigure the host's network when there is no --net).
readonly BOX_FAKES="reboot wifi hostapd cfg gorlin quorin udhcpc"
readonly BOX_FAKE_PATHS="/usr/mips/cgi-bin/script/ClientStatus.sh /lib/wifi/wpa_supplicant_satrt.sh"

# Host top-level folders not carried into the box: the box's own, the
# pseudo file systems it mounts fresh, and the host's machinery.
readonly BOX_SKIP="proc sys dev tmp var run box mnt old_root lost+found"

# Host folders that must stay reachable while the root is built.
share_list=("$src_root" "${bins[@]}" "${shares[@]}")
[ -z "${BOX_BUILD:-}" ] || share_list+=("$BOX_BUILD")
[ -z "$disk" ] || share_list+=("$disk")
[ -z "$config" ] || share_list+=("$config")
[ -z "$flash" ] || share_list+=("$flash")
[ -z "$out" ] || share_list+=("$out")

# A scratch tmpfs over a host folder that the box does not carry over (or an
# unused one), none of the folders above being under it; only this namespace
# sees it.
scratch=""
for d in /run /srv /media; do
    [ -d "$d" ] || continue
    for s in "${share_list[@]}"; do
        case "$s/" in "$d"/*) continue 2 ;; esac
    done
    scratch=$d
    break
done
[ -n "$scratch" ] || die "no folder to mount the scratch space on"
mount -t tmpfs -o mode=755 boxscratch "$scratch" || die "cannot mount a tmpfs (mount namespace not usable?)"
root=$scratch/root
mkdir -p "$root" "$scratch/ovl/usr/up" "$scratch/ovl/usr/work" "$scratch/ovl/etc/up" "$scratch/ovl/etc/work"

for entry in /*; do
    name=${entry#/}
    case " $BOX_SKIP usr etc ${scratch#/} " in *" $name "*) continue ;; esac
    if [ -L "$entry" ]; then
        ln -s "$(readlink "$entry")" "$root/$name"
    elif [ -d "$entry" ]; then
        mkdir "$root/$name" && mount --rbind "$entry" "$root/$name" || die "cannot bind $entry"
    fi
done
for name in $BOX_SKIP usr etc ${scratch#/}; do
    [ "$name" = var ] || mkdir -p "$root/$name"
done
ln -s /tmp "$root/var"

# /usr: BusyBox as sh and the listed applets, the box's web folders, the fake scripts.
up=$scratch/ovl/usr/up
mkdir -p "$up/bin" "$up/sbin" "$up/mips/www" "$up/mips/cgi-bin/script" "$up/lib/wifi"
busybox=$(command -v busybox) || die "busybox is not installed"
for applet in $BOX_APPLETS; do
    ln -s "$busybox" "$up/bin/$applet"
    # A host tool of the same name in /usr/sbin would come first on PATH.
    [ -e "/usr/sbin/$applet" ] && ln -s "$busybox" "$up/sbin/$applet"
done
cp "$here/ps" "$up/bin/ps" || die "cannot install ps"
for p in $BOX_FAKE_PATHS; do
    case "$p" in /lib/*) p=/usr$p ;; esac
    ln -s /box/lib/fake "$up/${p#/usr/}"
done
mount -t overlay overlay -o "lowerdir=/usr,upperdir=$up,workdir=$scratch/ovl/usr/work" "$root/usr" \
    || die "cannot mount the /usr overlay"
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$scratch/ovl/etc/up,workdir=$scratch/ovl/etc/work" "$root/etc" \
    || die "cannot mount the /etc overlay"
mkdir -p "$root/etc/config"
mount -t tmpfs -o mode=755 tmpfs "$root/etc/config" || die "cannot mount /etc/config"
[ -z "$config" ] || cp -a "$config/." "$root/etc/config/" || die "cannot copy $config"

# /tmp, with the USB disk as a mount of its own as the box has it.
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp" || die "cannot mount /tmp"
mkdir -p "$root/tmp/run" "$root/tmp/lock" "$root/tmp/state" "$root/tmp/mnt"
if [ $no_disk -eq 0 ]; then
    mkdir "$root/tmp/mnt/sda1"
    mount -t tmpfs -o mode=755 /dev/sda1 "$root/tmp/mnt/sda1" || die "cannot mount the disk"
    [ -z "$disk" ] || cp -a "$disk/." "$root/tmp/mnt/sda1/" || die "cannot copy $disk"
fi

# /dev: a few nodes bound from the host, private pts and shm, the flash.
mount -t tmpfs -o mode=755 tmpfs "$root/dev" || die "cannot mount /dev"
for n in null zero full random urandom tty; do
    touch "$root/dev/$n" && mount --bind "/dev/$n" "$root/dev/$n" || die "cannot bind /dev/$n"
done
mkdir "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts" \
    || mount --bind /dev/pts "$root/dev/pts" || die "cannot mount /dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm" || die "cannot mount /dev/shm"
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
if [ -n "$flash" ]; then
    touch "$root/dev/mtdblock0" && mount --bind "$flash" "$root/dev/mtdblock0" || die "cannot bind $flash"
fi

# /box: the test's window (out), the stand-ins and their helpers.
mkdir -p "$root/box/out" "$root/box/fakes" "$root/box/lib" "$root/box/run"
if [ -n "$out" ]; then
    mount --bind "$out" "$root/box/out" || die "cannot bind $out"
else
    mount -t tmpfs -o mode=755 tmpfs "$root/box/out" || die "cannot mount /box/out"
fi
mkdir -p "$root/box/out/fake"
touch "$root/box/out/journal" "$root/box/out/drop_caches"
cp "$here/fakes/fake" "$here/fakes/box_fake_daemon" "$here/sleeper.c" "$root/box/lib/" || die "cannot install the stand-ins"
for f in $BOX_FAKES "${fakes[@]}"; do
    ln -sf /box/lib/fake "$root/box/fakes/$f"
done

mount -t proc proc "$root/proc" || die "cannot mount /proc"
mount --bind "$root/box/out/drop_caches" "$root/proc/sys/vm/drop_caches" || die "cannot bind drop_caches"
mount -t sysfs sysfs "$root/sys" 2>/dev/null || mount --rbind /sys "$root/sys" || die "cannot mount /sys"
[ $net -eq 0 ] || ip link set lo up 2>/dev/null || true

# Host folders that the box's own /tmp (or another skipped folder) hides:
# the tree, the build and whatever was asked for stay visible at their paths.
for d in "$src_root" "${bins[@]}" "${shares[@]}" ${BOX_BUILD:+"$BOX_BUILD"}; do
    top=${d#/}; top=${top%%/*}
    case " $BOX_SKIP ${scratch#/} " in *" $top "*) ;; *) continue ;; esac
    [ -d "$d" ] || continue
    mkdir -p "$root$d" && mount --rbind "$d" "$root$d" || die "cannot share $d"
done

path=/box/fakes
for d in "${bins[@]}"; do path=$path:$d; done
path=$path:/usr/sbin:/usr/bin:/sbin:/bin:/box/lib
run_env=(PATH="$path" HOME=/root USER=root LOGNAME=root SHELL=/bin/sh TERM="${TERM:-dumb}" "${envs[@]}")

for d in "${daemons[@]}"; do
    chroot "$root" /usr/bin/env -i "${run_env[@]}" /bin/sh -c 'set -f; exec box_fake_daemon $0' "$d" \
        || die "cannot start the daemon '$d'"
done

# The command must not be PID 1 (as on the box): run it as a child and wait.
# Standard input is handed on explicitly; a background job would get /dev/null.
exec 3<&0
chroot "$root" /usr/bin/env -i "${run_env[@]}" /bin/sh -c 'cd "$0" 2>/dev/null || cd /; exec "$@"' \
    "${BOXRUN_CWD:-/}" "$@" <&3 3<&- &
child=$!
exec 3<&-
# (wait's own "Killed" notice is noise: the status says it.)
wait "$child" 2>/dev/null
exit $?
