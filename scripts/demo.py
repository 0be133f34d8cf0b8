#!/usr/bin/env python3
"""Deploys the demo package for real with each build and prints what a user
would see: the boxes (Yes/No answered Yes, the others OK), the exit code, the
lines the run added to the log, and the files that landed.

The package is assembled in a scratch directory: demo/package's buConfig.xml,
one archive per update made from demo/content with rar, the SDK's sample
modules and the UnRAR library of each build, and the package manifest that
each build's brevCheck --manifest writes, all signed by a certificate made
for this demo only. Last, one byte of Demo.rar is flipped and the package
deployed again: the manifest refuses that entry, and brevCheck says why. The demo's root is trusted only inside the demo:
through SSL_CERT_FILE natively, in the demo's own Wine prefix under Wine.

Products of the demo package:
  Demo.rar       modules packaged: SampleAuth2.dll, SampleDeploy3.dll
  Templates.rar  modules installed with the product and registered: the
                 registry (a directory natively, `wine reg` under Wine) names
                 SampleAuth1.dll and SampleDeploy2.dll in the install folder
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "trust"))

from native_runner import run_native  # noqa: E402
from wine_runner import WINE, run_under_wine, wine_environment  # noqa: E402
import make_fixtures  # noqa: E402

BUILD = os.path.join(ROOT, "build")
LOG_NAME = "Log.BrevantUpdater.txt"
REGISTRY_KEY = r"SOFTWARE\Tarvenix\BrevantUpdater\LocalDLLs"
POLICY_KEY = r"SOFTWARE\Tarvenix\BrevantUpdater"
SIGN_FILE = os.path.join(ROOT, "scripts", "sign_file.sh")
PACKAGED = ["SampleAuth2.dll", "SampleDeploy3.dll"]
INSTALLED = ["SampleAuth1.dll", "SampleDeploy2.dll"]
LICENSED = "DemoContent;DemoTemplates"

BUILDS = {
    "native": {"program": os.path.join(BUILD, "brevUpdater"),
               "check": os.path.join(BUILD, "brevCheck"),
               "modules": os.path.join(BUILD, "sdk"),
               # Debian's UnRAR library, the file its link names.
               "unrar": os.path.realpath((glob.glob("/usr/lib/*/libunrar.so.5") or ["libunrar.so.5"])[0])},
    "win32": {"program": os.path.join(BUILD, "windows-i686", "brevUpdater.exe"),
              "check": os.path.join(BUILD, "windows-i686", "brevCheck.exe"),
              "modules": os.path.join(BUILD, "windows-i686", "sdk"),
              "unrar": os.path.join(BUILD, "windows-i686", "unrar.dll")},
    "win64": {"program": os.path.join(BUILD, "windows-x86_64", "brevUpdater64.exe"),
              "check": os.path.join(BUILD, "windows-x86_64", "brevCheck64.exe"),
              "modules": os.path.join(BUILD, "windows-x86_64", "sdk"),
              "unrar": os.path.join(BUILD, "windows-x86_64", "unrar.dll")},
}


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def sign(pki, source, target, appended=False):
    subprocess.run(["bash", SIGN_FILE] + (["--appended"] if appended else []) +
                   [os.path.join(pki, "maker.pem"),
                    os.path.join(pki, "leaf.key"), os.path.join(pki, "root.pem"), source, target],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_archives(package):
    content = os.path.join(ROOT, "demo", "content")
    for update in sorted(os.listdir(content)):
        subprocess.run(["rar", "a", "-r", "-idq", "-ep1", os.path.join(package, update + ".rar"),
                        os.path.join(content, update, "*")], check=True)


class Demo:
    """One build's package, install folder, registry and runs."""

    def __init__(self, work, target, pki, sibling_of=None):
        self.target = target
        self.build = BUILDS[target]
        self.dir = os.path.join(work, target if sibling_of is None else target + "-handover")
        self.package = os.path.join(self.dir, "package")
        self.installed = os.path.join(self.dir, "installed")
        self.products = os.path.join(self.dir, "products")
        self.temp = os.path.join(self.dir, "temp")
        for d in (self.package, self.installed, self.products, self.temp):
            os.makedirs(d)
        shutil.copyfile(os.path.join(ROOT, "demo", "package", "buConfig.xml"),
                        os.path.join(self.package, "buConfig.xml"))
        make_archives(self.package)
        # A hand-over package carries the 64-bit build, its modules and its
        # UnRAR library: the 32-bit program only looks at the module's machine.
        files = BUILDS[sibling_of] if sibling_of else self.build
        for name in PACKAGED:
            sign(pki, os.path.join(files["modules"], name), os.path.join(self.package, name))
        for name in INSTALLED:
            sign(pki, os.path.join(files["modules"], name), os.path.join(self.installed, name))
        sign(pki, files["unrar"], os.path.join(self.package, "unrar.dll"))
        if sibling_of:
            shutil.copyfile(BUILDS[sibling_of]["program"],
                            os.path.join(self.package, "brevUpdater64.exe"))
        self.license = os.path.join(self.dir, "license.txt")
        with open(self.license, "w") as f:
            f.write(LICENSED.replace(";", "\n") + "\n")

    def path(self, path):
        return path if self.target == "native" else windows_path(path)

    def environment(self):
        return {"SAMPLE_PRODUCT_DIR": self.path(self.products),
                "SAMPLE_LICENSE_FILE": self.path(self.license),
                "SAMPLE_LICENSED_CONTENT": LICENSED}

    def registry_values(self):
        separator = "/" if self.target == "native" else "\\"
        return {name: self.path(self.installed) + separator + name for name in INSTALLED}


def register_native(demo):
    key = os.path.join(demo.dir, "registry", *REGISTRY_KEY.split("\\"))
    os.makedirs(key)
    for name, data in demo.registry_values().items():
        with open(os.path.join(key, name), "w") as f:
            f.write(data)
    return os.path.join(demo.dir, "registry")


def register_wine(demo, prefix):
    env = wine_environment(prefix)
    for view in ("32", "64"):
        subprocess.run([WINE, "reg", "delete", "HKLM\\SOFTWARE\\Tarvenix", "/f", "/reg:" + view],
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name, data in demo.registry_values().items():
            subprocess.run([WINE, "reg", "add", "HKLM\\" + REGISTRY_KEY, "/v", name, "/d", data,
                            "/f", "/reg:" + view], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def require_manifest(demo, prefix, registry):
    """The policy value RequirePackageManifest = 1 under the program's key."""
    if demo.target == "native":
        key = os.path.join(registry, *POLICY_KEY.split("\\"))
        os.makedirs(key, exist_ok=True)
        with open(os.path.join(key, "RequirePackageManifest"), "w") as f:
            f.write("1\n")
        return
    for view in ("32", "64"):
        subprocess.run([WINE, "reg", "add", "HKLM\\" + POLICY_KEY, "/v", "RequirePackageManifest",
                        "/t", "REG_DWORD", "/d", "1", "/f", "/reg:" + view],
                       env=wine_environment(prefix), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def log_size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def new_log_lines(path, offset):
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read().decode("latin-1").splitlines()


def print_tree(root, label):
    print("  files in %s:" % label)
    entries = []
    for directory, subdirs, files in os.walk(root):
        subdirs.sort()
        for name in sorted(files):
            entries.append(os.path.relpath(os.path.join(directory, name), root))
    for entry in entries or ["(none)"]:
        print("    " + entry)


def show(target, args, sfxcmd, code, boxes, lines):
    shown = " ".join(args) if sfxcmd is None else "(sfxcmd=%r)" % sfxcmd
    print("\n=== %s: brevUpdater %s" % (target, shown))
    for box in boxes:
        answer = "yes" if box.get("buttons") == "Yes/No" else "ok"
        print("  [box] %s (%s, %s) -> %s" % (box.get("caption"), box.get("icon"),
                                            box.get("buttons"), answer))
        for line in box.get("text", "").split("\n"):
            print("        | " + line)
    print("  exit code: %s" % code)
    print("  log:")
    for line in lines:
        print("    " + line)


def run(demo, args, prefix, wine_temp, pki, registry, sfxcmd=None):
    log = os.path.join(demo.temp if demo.target == "native" else wine_temp, LOG_NAME)
    before = log_size(log)
    env = demo.environment()
    if demo.target == "native":
        env.update({"SSL_CERT_FILE": os.path.join(pki, "root.pem"), "SSL_CERT_DIR": pki,
                    "BU_REGISTRY_ROOT": registry, "LC_ALL": "C.UTF-8"})
        code, boxes, _ = run_native(demo.build["program"], args, demo.package, demo.temp, sfxcmd,
                                    ["y"] * 8, extra_env=env)
    else:
        boxhelper = os.path.join(os.path.dirname(demo.build["program"]), "tests", "wine",
                                 "boxhelper.exe")
        env["sfxcmd"] = sfxcmd
        result = run_under_wine(WINE, prefix, demo.build["program"], args, demo.package, env,
                                [], 120, boxhelper)
        code, boxes = result.exit_code, result.boxes + result.unexpected_boxes
    show(demo.target, args, sfxcmd, code, boxes, new_log_lines(log, before))


class StepFailed(Exception):
    pass


def step(name, function, *args):
    """Runs one step of the demo; a failure becomes one line naming the step."""
    try:
        return function(*args)
    except subprocess.CalledProcessError as error:
        output = (error.stderr or error.stdout or b"")
        if isinstance(output, bytes):
            output = output.decode("utf-8", "replace")
        last = output.strip().splitlines()[-1:] or ["exit code %s" % error.returncode]
        reason = "%s: %s" % (os.path.basename(str(error.cmd[0])), last[0])
    except (OSError, RuntimeError, ValueError, KeyError, IndexError) as error:
        reason = "%s: %s" % (type(error).__name__, error)
    print("\ndemo: %s failed: %s" % (name, reason))
    raise StepFailed(name)


def quiet(command):
    subprocess.run(command, check=True, capture_output=True)


def i386_host():
    """native, emulated, none or hidden: whether the 32-bit runs can be shown."""
    return subprocess.run([os.path.join(ROOT, "tests", "wine", "i386_host.sh"), "probe"],
                          check=True, capture_output=True, text=True).stdout.strip()


def run_check(demo, prefix, pki, registry, options):
    if demo.target == "native":
        env = dict(os.environ, SSL_CERT_FILE=os.path.join(pki, "root.pem"), SSL_CERT_DIR=pki,
                   LC_ALL="C.UTF-8", BU_REGISTRY_ROOT=registry or "")
        command = [demo.build["check"]] + options + [demo.package]
    else:
        env = wine_environment(prefix)
        command = [WINE, demo.build["check"]] + options + [windows_path(demo.package)]
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True)


def add_manifest(demo, prefix, pki, registry):
    """The package's manifest, written by the build's own brevCheck and signed
    as the modules are (the POSIX program reads the appended form)."""
    done = run_check(demo, prefix, pki, registry, ["--manifest"])
    if done.returncode != 0:
        raise RuntimeError("brevCheck --manifest: " + done.stderr.strip())
    manifest = os.path.join(demo.package, "buManifest.dll")
    sign(pki, manifest, manifest, appended=demo.target == "native")


def check_package(demo, prefix, pki, registry):
    """The package check, as its author runs it before shipping the package."""
    done = run_check(demo, prefix, pki, registry, [])
    print("\n=== %s: brevCheck %s" % (demo.target, demo.package))
    for line in done.stdout.splitlines():
        print("  " + line)
    print("  exit code: %d" % done.returncode)


def show_target(work, pki, prefix, wine_temp, target, sibling):
    demo = Demo(work, target, pki, sibling)
    registry = register_native(demo) if target == "native" else None
    if target != "native":
        register_wine(demo, prefix)
    add_manifest(demo, prefix, pki, registry)
    if not sibling:
        check_package(demo, prefix, pki, registry)
    if sibling:
        # Started as the self-extracting archive starts it: the
        # arguments in sfxcmd, which the 64-bit build inherits.
        print("\n##### %s with a product installed as 64-bit: the run is handed to "
              "brevUpdater64.exe" % target)
        run(demo, [], prefix, wine_temp, pki, registry, sfxcmd="setup.exe /q")
        print_tree(demo.products, "the products' folder")
        return
    extract_dir = os.path.join(demo.dir, "extracted")
    commands = [["/list"], ["/q"],
                ["/extract", "Demo.rar", demo.path(extract_dir)]]
    for args in commands:
        run(demo, args, prefix, wine_temp, pki, registry)
        if args == ["/q"]:
            print_tree(demo.products, "the products' folder")
        elif args[0] == "/extract":
            print_tree(extract_dir, "the extraction directory")
    # One byte of one archive changed on its way: that entry is refused
    # before any module is asked, and nothing of it lands.
    print("\n##### %s with one byte of Demo.rar flipped after the manifest was signed" % target)
    shutil.rmtree(demo.products)
    os.makedirs(demo.products)
    with open(os.path.join(demo.package, "Demo.rar"), "r+b") as archive:
        archive.seek(-20, os.SEEK_END)
        byte = archive.read(1)
        archive.seek(-20, os.SEEK_END)
        archive.write(bytes([byte[0] ^ 1]))
    run(demo, ["/q"], prefix, wine_temp, pki, registry)
    print_tree(demo.products, "the products' folder")
    check_package(demo, prefix, pki, registry)
    # A machine whose product requires a manifest refuses a package without one.
    print("\n##### %s with the manifest removed, on a machine that requires one" % target)
    shutil.rmtree(demo.products)
    os.makedirs(demo.products)
    os.remove(os.path.join(demo.package, "buManifest.dll"))
    require_manifest(demo, prefix, registry)
    run(demo, ["/q"], prefix, wine_temp, pki, registry)
    print_tree(demo.products, "the products' folder")


def main():
    work = tempfile.mkdtemp(prefix="bu-demo-")
    pki = os.path.join(work, "pki")
    prefix = os.path.join(BUILD, "demo-wineprefix")
    wine_temp = os.path.join(work, "wine-temp")
    failed = []
    runs = [("native", None), ("win32", None), ("win64", None), ("win32", "win64")]
    try:
        step("making the demo's certificates", make_fixtures.make_pki, pki,
             {"maker": {"subject": "/CN=Tarvenix Software Ltd", "usages": "codeSigning"}})
        i386 = step("finding out whether this host runs 32-bit code", i386_host)
        if i386 != "native":
            reason = subprocess.run([os.path.join(ROOT, "tests", "wine", "i386_host.sh"), "reason",
                                     i386], capture_output=True, text=True).stdout.strip()
            print("demo: the 32-bit program's runs and the hand-over are not shown: %s" % reason)
            runs = [r for r in runs if r[0] != "win32"]
        try:
            step("making the Wine prefix",
                 quiet, [os.path.join(ROOT, "tests", "wine", "make_prefix.sh"), prefix, wine_temp])
            step("trusting the demo's root in the Wine prefix", quiet,
                 [os.path.join(ROOT, "tests", "trust", "trust_root_in_prefix.sh"), prefix,
                  os.path.join(pki, "root.pem")])
        except StepFailed as failure:
            failed.append(str(failure))
            runs = [r for r in runs if r[0] == "native"]
        for target, sibling in runs:
            name = "the %s%s run" % (target, " hand-over" if sibling else "")
            try:
                step(name, show_target, work, pki, prefix, wine_temp, target, sibling)
            except StepFailed as failure:
                failed.append(str(failure))
    except StepFailed as failure:
        failed.append(str(failure))
    finally:
        subprocess.run([os.path.join(ROOT, "tests", "wine", "stop_prefix.sh"), prefix])
        shutil.rmtree(work, ignore_errors=True)
    if failed:
        print("\ndemo: %d step(s) failed: %s" % (len(failed), "; ".join(failed)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
