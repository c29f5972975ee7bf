#!/usr/bin/env bash
# Runs a command in a clone of a repository inside a freshly made Debian 12
# (bookworm) root file system: a minimal system with git, make,
# ca-certificates and sudo, as a new machine or a plain Debian container has,
# so that whatever the command needs beyond that must be installed by it.
#
#   tools/ci/fresh-debian.sh [--user] [--keep] REPO COMMAND...
#
#   --user   run COMMAND as a user (ci) with sudo instead of as root
#   --keep   keep the root file system afterwards (its path is printed)
#
# Needs root and debootstrap. The system inherits this machine's apt sources
# and proxy settings, pip configuration, certificates and PIP_* (and proxy)
# variables; /proc, /sys and /dev are bind-mounted. REPO's committed HEAD is
# cloned into it. The base image is kept in ${ZELVAN_CI_CACHE:-/var/tmp/zelvan-ci}
# and made again (a few minutes) when missing; each run starts from a copy.
set -euo pipefail

user=0 keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --user) user=1; shift ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fresh-debian: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || { echo "usage: fresh-debian.sh [--user] [--keep] REPO COMMAND... (see --help)" >&2; exit 2; }
repo=$(cd "$1" && pwd)
shift
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian: needs root (it makes a root file system and chroots into it)" >&2; exit 2; }
command -v debootstrap > /dev/null ||
  { echo "fresh-debian: debootstrap is missing: apt-get install debootstrap" >&2; exit 2; }

suite=bookworm
base_packages=(git make ca-certificates sudo)
cache=${ZELVAN_CI_CACHE:-/var/tmp/zelvan-ci}
base="$cache/$suite-minbase-$(IFS=-; echo "${base_packages[*]}").tar"
mkdir -p "$cache"

# The Debian mirror this machine's apt uses.
mirror() {
  { grep -h -E '^URIs:' /etc/apt/sources.list.d/*.sources 2> /dev/null | awk '{print $2}'
    grep -h -E '^deb ' /etc/apt/sources.list 2> /dev/null | awk '{print $2}'; } |
    grep -v -i security | head -n 1
}

# What the system takes from this machine: apt sources, their keys and proxy
# settings, name resolution, pip configuration, certificates, and the files
# the PIP_* variables name.
inherit_config() {
  local r=$1 v path
  rm -f "$r/etc/apt/sources.list" "$r"/etc/apt/sources.list.d/*
  [ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$r/etc/apt/"
  cp /etc/apt/sources.list.d/* "$r/etc/apt/sources.list.d/" 2> /dev/null || true
  for d in /etc/apt/trusted.gpg.d /etc/apt/keyrings; do
    [ -d "$d" ] && mkdir -p "$r$d" && cp -a "$d/." "$r$d/"
  done
  apt-config dump | grep -E '^Acquire::(([a-z]+::)?Proxy|Check-Valid-Until|Check-Date) ' \
    > "$r/etc/apt/apt.conf.d/00inherited" || true
  cp /etc/resolv.conf "$r/etc/resolv.conf" 2> /dev/null || true
  grep -qs " $(hostname)\$" "$r/etc/hosts" || echo "127.0.1.1 $(hostname)" >> "$r/etc/hosts"
  for f in /etc/pip.conf /etc/xdg/pip/pip.conf; do
    [ -f "$f" ] && mkdir -p "$(dirname "$r$f")" && cp "$f" "$r$f"
  done
  mkdir -p "$r/usr/local/share/ca-certificates" "$r/etc/ssl/certs"
  cp -a /usr/local/share/ca-certificates/. "$r/usr/local/share/ca-certificates/" 2> /dev/null || true
  cp /etc/ssl/certs/ca-certificates.crt "$r/etc/ssl/certs/" 2> /dev/null || true
  for v in $(compgen -e | grep -E '^PIP_' || true); do
    path=${!v}
    if [[ "$path" == /* ]] && [ -e "$path" ] && [ ! -e "$r$path" ]; then
      mkdir -p "$(dirname "$r$path")" && cp -a "$path" "$r$path"
    fi
  done
}

mounted=()
mount_system() {
  local m
  for m in proc sys dev dev/pts; do
    mount --bind "/$m" "$1/$m" || { echo "fresh-debian: bind-mounting /$m on $1/$m failed" >&2; return 1; }
    mounted+=("$1/$m")
  done
}
# Stops what the command left running in the system, then unmounts it.
release_system() {
  local r=$1 p i
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2> /dev/null)" = "$r" ] && kill -KILL "${p#/proc/}" 2> /dev/null
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" 2> /dev/null || umount -l "${mounted[$i]}" || true
  done
  mounted=()
}
# Removed only once nothing is mounted in it, and never across file systems.
remove_system() {
  if grep -qF " $1/" /proc/mounts; then
    echo "fresh-debian: $1 still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$1"
  fi
}

# The base image, made in a root of its own and kept as a tar file.
make_base() {
  local r=$1
  chmod 755 "$r"
  echo "fresh-debian: making the base image $base (debootstrap --variant=minbase $suite, then ${base_packages[*]})"
  debootstrap --variant=minbase "$suite" "$r" "$(mirror)" > "$cache/debootstrap.log" 2>&1 ||
    { echo "fresh-debian: debootstrap failed; its log is $cache/debootstrap.log" >&2; return 1; }
  inherit_config "$r"
  mount_system "$r"
  chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive /bin/sh -c \
    "apt-get update -qq && apt-get install -y -qq --no-install-recommends ${base_packages[*]} && apt-get clean" \
    > "$cache/base-packages.log" 2>&1 ||
    { echo "fresh-debian: installing ${base_packages[*]} failed; its log is $cache/base-packages.log" >&2; return 1; }
  release_system "$r"
  tar -C "$r" -cf "$base.part.$$" . && mv "$base.part.$$" "$base" ||
    { rm -f "$base.part.$$"; echo "fresh-debian: writing $base failed" >&2; return 1; }
}

roots=()
cleanup() {
  local r
  for r in "${roots[@]}"; do
    release_system "$r"
    if [ $keep -eq 1 ] && [ "$r" = "${root:-}" ]; then echo "fresh-debian: kept $r"; else remove_system "$r"; fi
  done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -f "$base" ]; then
  roots+=("$(mktemp -d /var/tmp/zelvan-ci-base.XXXXXX)")
  make_base "${roots[0]}" || exit 1
  remove_system "${roots[0]}"
  roots=()
fi

root=$(mktemp -d /var/tmp/zelvan-ci-root.XXXXXX)
roots+=("$root")
tar -C "$root" -xf "$base"
chmod 755 "$root"
inherit_config "$root"
mount_system "$root"

envs=(TERM="${TERM:-dumb}" LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
while IFS= read -r v; do envs+=("$v=${!v}"); done < <(compgen -e | grep -E '^(PIP_|(https?|no)_proxy$|(HTTPS?|NO)_PROXY$)' || true)
if [ $user -eq 1 ]; then
  chroot "$root" /bin/sh -c 'useradd -m -s /bin/bash ci && echo "ci ALL=(ALL) NOPASSWD:ALL" > /etc/sudoers.d/ci'
  home=/home/ci as=(--userspec=ci:ci) who="the user ci (with sudo)"
else
  home=/root as=() who=root
fi
git clone -q "$repo" "$root$home/src"
[ $user -eq 0 ] || chown -R --reference="$root$home" "$root$home/src"

cmd=$(printf '%q ' "$@")
echo "fresh-debian: in a fresh $(. "$root/etc/os-release" && echo "$PRETTY_NAME") root file system ($root)," \
  "as $who, in a clone of $repo at $(git -C "$repo" rev-parse --short HEAD): $*"
start=$SECONDS
set +e
chroot "${as[@]}" "$root" /usr/bin/env -i HOME="$home" "${envs[@]}" /bin/bash -c "cd ~/src && $cmd"
rc=$?
set -e
echo "fresh-debian: '$*' exited $rc after $((SECONDS - start)) s in the fresh Debian system"
exit $rc
