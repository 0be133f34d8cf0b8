"""Package manifests for the scenarios, written from the format the program
documents (src/trust/package_manifest.h, src/trust/manifest_image.h) by a
writer of their own, so that the program's reader is checked against a
second writer, not only against brevCheck's.

Scenario fields:

  manifest  {"signer": "maker" (default), "other_maker" or null (unsigned),
             "lists": names the manifest lists (default buConfig.xml and every
             product's archive), "changed": package files changed after the
             manifest was signed (one byte appended)}
  policy    true: the machine requires a package manifest

Words for the expected texts: {listed} and {found}, the SHA-256 of the changed
file as the manifest lists it and as it is found.
"""

import hashlib
import os
import struct
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIGN_FILE = os.path.join(ROOT, "scripts", "sign_file.sh")
POLICY_KEY = r"SOFTWARE\Tarvenix\BrevantUpdater"
POLICY_VALUE = "RequirePackageManifest"


def manifest_text(package, names):
    lines = ["bu-manifest 1"]
    for name in names:
        escaped = "".join(c if "!" <= c <= "~" and c != "%" else "%%%02x" % ord(c) for c in name)
        lines.append("sha256 %s %s" % (digest(os.path.join(package, name)), escaped))
    return ("\n".join(lines + ["end"]) + "\n").encode("latin-1")


def resource_image(data):
    """A PE32 image of one .rsrc section whose RCDATA resource 1 is `data`."""
    rsrc = bytearray()
    for (entry_id, target) in ((10, 0x80000018), (1, 0x80000030), (0, 0x48)):
        rsrc += struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack("<II", entry_id, target)
    rsrc += struct.pack("<IIII", 0x1000 + 0x58, len(data), 0, 0) + data
    raw = (len(rsrc) + 0x1FF) // 0x200 * 0x200
    virtual = (len(rsrc) + 0xFFF) // 0x1000 * 0x1000
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 0, 0, 0, raw, 0, 0, 0,
                           0x1000, 0x10000000, 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0,
                           0x1000 + virtual, 0x200, 0, 2, 0x540, 0x100000, 0x1000, 0x100000,
                           0x1000, 0, 16)
    optional += b"\0" * 16 + struct.pack("<II", 0x1000, len(rsrc)) + b"\0" * (13 * 8)
    headers = (b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40) + b"PE\0\0" +
               struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, len(optional), 0x2102) + optional +
               b".rsrc\0\0\0" + struct.pack("<IIIIIIHHI", len(rsrc), 0x1000, raw, 0x200, 0, 0,
                                            0, 0, 0x40000040))
    return headers.ljust(0x200, b"\0") + bytes(rsrc).ljust(raw, b"\0")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def write(package, spec, products, target, pki):
    """Writes and signs the manifest, then changes the files said; answers
    the words of the texts."""
    names = spec.get("lists", ["buConfig.xml"] + [p["file"] for p in products])
    path = os.path.join(package, "buManifest.dll")
    with open(path, "wb") as f:
        f.write(resource_image(manifest_text(package, names)))
    signer = spec.get("signer", "maker")
    if signer is not None:
        subprocess.run(["bash", SIGN_FILE] + (["--appended"] if target == "native" else []) +
                       [os.path.join(pki, signer + ".pem"), os.path.join(pki, "leaf.key"),
                        os.path.join(pki, "root.pem"), path, path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    words = {}
    for name in spec.get("changed", []):
        words["listed"] = digest(os.path.join(package, name))
        with open(os.path.join(package, name), "ab") as f:
            f.write(b"\n")
        words["found"] = digest(os.path.join(package, name))
    return words
