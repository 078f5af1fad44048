#!/bin/busybox sh
# The lane's guest: mounts what the checks need, loads the USB serial drivers, runs each check
# group as its own process between markers that the host splits into results, then powers off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
for m in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
  insmod /modules/$m.ko || echo "@@realtty module $m did not load"
done
export LD_LIBRARY_PATH=/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu
export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=/plugins HOME=/tmp XDG_RUNTIME_DIR=/tmp/run
export GTEST_COLOR=no REALTTY_ORVALEN=/checks/orvalen REALTTY_ORVALENCTL=/checks/orvalenctl REALTTY_SIM_LOG=/tmp/sim.log
ip link set lo up
mkdir -m 700 /tmp/run
cd /tmp

group() {
  echo "@@realtty begin $1"
  /checks/realtty_checks --gtest_filter="$1.*" 2>&1
  echo "@@realtty end $1 $?"
}

# The simulated printer on the far UART, for the groups that exchange frames.
/checks/orvalen-printer-sim --device /dev/ttyS2 --serial RTTY012345 >/tmp/sim.log 2>&1 &
sim=$!
. /sim-ready.sh
sim_wait_ready /tmp/sim.log $sim || echo "@@realtty the simulator did not get ready"
cat /tmp/sim.log

for g in LineSettings ModemLines ErrorCounters Exchange Search ExclusiveOpen Ports; do
  grep -qx "$g" /groups && group $g
done
kill $sim
wait $sim
echo "@@realtty begin SimulatorLog"
cat /tmp/sim.log
echo "@@realtty end SimulatorLog 0"
for g in CloseWithUnsentOutput QueuedTxEmpty Unplug; do
  grep -qx "$g" /groups && group $g
done
echo "@@realtty finished"
poweroff -f
