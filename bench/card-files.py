#!/usr/bin/env python3
"""Finds the files of a bench card on its image, and scores a recovery's output against them.

  card-files.py locate IMAGE LIST > MANIFEST
      LIST: one file a line, "card-path local-file kind state". Prints the manifest, one file a
      line: "card-path sha256 size kind state sector first", where sector is the image sector at
      which the file's bytes lie whole and in one piece, or "-", and first the sector that holds
      its first cluster (also when the rest is elsewhere or gone), or "-". Only cluster starts of
      the FAT data area are tried: the file system puts every file's first byte there.

  card-files.py score MANIFEST DIR [--report JSON] [--found OUT]
      Prints "files exact-gone gone exact-recoverable recoverable exact-live live whole damaged
      whole-not-exact damaged-exact" for the files below DIR (each manifest file counted once,
      however many copies match), then a line of "kind:exact/recoverable" for the gone files.
      whole and damaged come from Quorvane's JSON report (else "-"); whole-not-exact counts the
      files it called whole that are none of the manifest's, damaged-exact the ones it called
      damaged that are. --found writes the card paths of the manifest files found byte for byte.
"""
import hashlib
import json
import mmap
import os
import sys

# Files that the tools write about their run, not recovered files.
RUN_REPORTS = {"recovery-report.json", "report.xml", "audit.txt"}


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            digest.update(chunk)
    return digest.hexdigest()


def data_area(image):
    """(first byte of the data area, cluster size) from a FAT boot sector."""
    u16 = lambda at: int.from_bytes(image[at:at + 2], "little")
    u32 = lambda at: int.from_bytes(image[at:at + 4], "little")
    bytes_per_sector, sectors_per_cluster = u16(11), image[13]
    reserved, fats, root_entries = u16(14), image[16], u16(17)
    fat_sectors = u16(22) or u32(36)
    root_sectors = (root_entries * 32 + bytes_per_sector - 1) // bytes_per_sector
    start = (reserved + fats * fat_sectors + root_sectors) * bytes_per_sector
    return start, bytes_per_sector * sectors_per_cluster


def locate(image_path, list_path):
    entries = []
    with open(list_path) as f:
        for line in f:
            card_path, local, kind, state = line.split()
            entries.append({"path": card_path, "local": local, "kind": kind, "state": state,
                            "size": os.path.getsize(local), "sha": sha256_of(local), "at": None, "first": None})
    with open(image_path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as image:
        start, cluster = data_area(image)
        # A file is looked for where its first cluster's bytes are; the whole is then compared.
        by_first_cluster = {}
        for e in entries:
            with open(e["local"], "rb") as g:
                first = g.read(cluster)
            if len(first) == cluster:
                by_first_cluster.setdefault(first, []).append(e)
            else:  # shorter than a cluster: its bytes followed by the cluster's slack
                at = start
                while (at := image.find(first, at)) >= 0:
                    if (at - start) % cluster == 0:
                        e["at"] = e["first"] = at
                        break
                    at += 1
        for at in range(start, len(image) - cluster + 1, cluster):
            for e in by_first_cluster.get(image[at:at + cluster], ()):
                if e["first"] is None:
                    e["first"] = at
                if e["at"] is None and at + e["size"] <= len(image) and \
                        hashlib.sha256(image[at:at + e["size"]]).hexdigest() == e["sha"]:
                    e["at"] = at
    print("# card-path sha256 size kind state sector first")
    sector = lambda at: "-" if at is None else str(at // 512)
    for e in entries:
        print(e["path"], e["sha"], e["size"], e["kind"], e["state"], sector(e["at"]), sector(e["first"]))


def read_manifest(path):
    files = []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                continue
            card_path, sha, size, kind, state, sector, _ = line.split()
            files.append({"path": card_path, "sha": sha, "size": int(size), "kind": kind, "state": state,
                          "sector": sector})
    return files


def score(manifest_path, folder, report_path=None, found_path=None):
    files = read_manifest(manifest_path)
    by_sha = {f["sha"]: f for f in files}
    sizes = {f["size"] for f in files}
    found = set()
    exact_paths = set()
    count = 0
    for base, _, names in os.walk(folder):
        for name in names:
            if name in RUN_REPORTS:
                continue
            path = os.path.join(base, name)
            count += 1
            # Only a file of one of the manifest's sizes can be one of its files.
            if os.path.getsize(path) in sizes and (f := by_sha.get(sha256_of(path))):
                found.add(f["path"])
                exact_paths.add(os.path.realpath(path))
    gone = [f for f in files if f["state"] != "live"]
    live = [f for f in files if f["state"] == "live"]
    recoverable = [f for f in gone if f["sector"] != "-"]
    whole = damaged = whole_not_exact = damaged_exact = "-"
    if report_path:
        with open(report_path) as f:
            report = json.load(f)
        whole, damaged = report.get("whole", "-"), report.get("damaged", "-")
        whole_not_exact = damaged_exact = 0
        for entry in report.get("files", []):
            exact = bool(entry.get("saved")) and os.path.realpath(entry["saved"]) in exact_paths
            if entry.get("condition") == "whole" and not exact:
                whole_not_exact += 1
            if entry.get("condition") == "damaged" and exact:
                damaged_exact += 1
    in_found = lambda group: sum(1 for f in group if f["path"] in found)
    print(count, in_found(gone), len(gone), in_found(recoverable), len(recoverable), in_found(live), len(live),
          whole, damaged, whole_not_exact, damaged_exact)
    kinds = sorted({f["kind"] for f in gone})
    print(" ".join(f"{k}:{in_found(g)}/{len(g)}" for k in kinds
                   for g in [[f for f in recoverable if f["kind"] == k]]))
    if found_path:
        with open(found_path, "w") as f:
            f.writelines(p + "\n" for p in sorted(found))


def main(argv):
    if len(argv) == 4 and argv[1] == "locate":
        locate(argv[2], argv[3])
        return 0
    if len(argv) >= 4 and argv[1] == "score":
        options = dict(zip(argv[4::2], argv[5::2]))
        if len(argv) % 2 or set(options) - {"--report", "--found"}:
            print(__doc__, file=sys.stderr)
            return 1
        score(argv[2], argv[3], options.get("--report"), options.get("--found"))
        return 0
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
