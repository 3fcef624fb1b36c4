#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times the driver program in a private CUPS scheduler:
#
#   bench/driver.sh [BUILD [PPD...]]
#
# BUILD is a build folder holding ppdregion and ppdregion-driver (default
# build); each PPD (default the example) is put into the scheduler's model
# folder. For each, hyperfine compares a queue made from the original with
# one made through the driver (lpadmin -p q -m NAME and -m ppdregion:FR/NAME,
# the scheduler's own path), the parts the driver adds (cups-driverd cat
# NAME, ppdregion --country FR on the file), and the driver's cat alone;
# then it times `list` over a configuration that offers every PPD the
# scheduler knows. The scheduler is stopped by its process id at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
need hyperfine cups cups-daemon cups-client libcups2-dev python3

build=$(realpath "${1:-build}")
shift || true
ppds=("$@")
[ ${#ppds[@]} -gt 0 ] || ppds=(examples/colorlaser.ppd)
driver=$build/ppdregion-driver
ppd=examples/colorlaser.ppd
. tests/private_cupsd.sh || { cat "$dir/cupsd.out"; exit 1; }
export CUPS_DATADIR=$dir/data CUPS_SERVERBIN=$dir/serverbin

for file in "${ppds[@]}"; do
  name=bench-$(basename "$file")
  install -m 0644 "$file" "$dir/data/model/$name"
  hyperfine -N -w 3 -r 40 \
    -n "lpadmin -m $name" "lpadmin -p q -m $name" \
    -n "lpadmin -m ppdregion:FR/$name" "lpadmin -p q -m ppdregion:FR/$name" \
    -n "cups-driverd cat $name" "$dir/serverbin/daemon/cups-driverd cat $name" \
    -n "ppdregion --country FR on the file" "$build/ppdregion --country FR x $dir/data/model/$name" \
    -n "driver cat ppdregion:FR/$name" "$driver cat ppdregion:FR/$name"
done

# list over every PPD the scheduler knows, as lpinfo -m asks for it.
printf 'Country FR\nOffer *\n' >"$dir/ppdregion.conf"
chmod 0644 "$dir/ppdregion.conf"
lpinfo -m >/dev/null  # writes ppds.dat
echo "offered: $(CUPS_SERVERROOT=$dir CUPS_CACHEDIR=$dir/cache "$driver" list | wc -l) of $(lpinfo -m | grep -vc '^ppdregion:') PPDs"
CUPS_SERVERROOT=$dir CUPS_CACHEDIR=$dir/cache hyperfine -N -w 2 -r 20 \
  -n "driver list, Offer *" "$driver list"
hyperfine -N -w 1 -r 10 -n "lpinfo -m, Offer *" "lpinfo -m"
