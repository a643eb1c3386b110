"""Installer plumbing for end-to-end tests: the built MSI, msiexec in the build
tree's prefix, the administrator's guide as the source of the commands, and a
clean-up that leaves the prefix without the product."""
import os
import re
import shutil
import subprocess

import harness as h

PRODUCT = "Orvanta GDT-Runner"
INSTALL_DIR = "C:\\Program Files\\" + PRODUCT
INSTALLED_EXE = INSTALL_DIR + "\\orvanta-runner.exe"
RUN_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
GUIDE = os.path.join(h.SOURCE_DIR, "docs", "Administratorhandbuch.md")
SETUP_DIR = h.drive_c("setup")
# Wine's menu builder, started for every new shortcut, would hold msiexec's
# output pipe open for seconds after the install has finished.
WINE_ENV = {"WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}


def version():
    return subprocess.run([os.path.join(h.SOURCE_DIR, "packaging", "version.sh")], check=True,
                          capture_output=True, text=True).stdout.strip()


def built_msi():
    path = os.path.join(h.BUILD_DIR, "orvanta-runner.msi")
    if not os.path.isfile(path):
        raise AssertionError(f"{path} missing: the build makes it when wixl and msibuild are installed")
    return path


def release_msi_name():
    return f"orvanta-runner-{version()}-x64.msi"


def stage_msi(source=None, name=None):
    """Copies an MSI into C:\\setup (the folder the guide's commands run in)."""
    os.makedirs(SETUP_DIR, exist_ok=True)
    name = name or release_msi_name()
    shutil.copyfile(source or built_msi(), os.path.join(SETUP_DIR, name))
    return name


def build_msi(version_text, name):
    """Builds a package of the current exe under another version into C:\\setup."""
    os.makedirs(SETUP_DIR, exist_ok=True)
    subprocess.run([os.path.join(h.SOURCE_DIR, "packaging", "build-msi.sh"), h.EXE,
                    os.path.join(h.BUILD_DIR, "orvanta-setup-actions.dll"), os.path.join(SETUP_DIR, name),
                    version_text], check=True,
                   stdout=subprocess.DEVNULL)
    return name


# --- the administrator's guide ------------------------------------------------

def guide_text():
    with open(GUIDE, encoding="utf-8") as f:
        return f.read()


def guide_command(start):
    """The one command line in the guide's code blocks that begins with `start`,
    with the package name made that of the current version."""
    lines = []
    in_block = False
    for line in guide_text().splitlines():
        if line.strip().startswith("```"):
            in_block = not in_block
        elif in_block and line.strip().startswith(start):
            lines.append(line.strip())
    assert len(lines) == 1, f"guide has {len(lines)} commands starting with {start!r}"
    return re.sub(r"orvanta-runner-[0-9.]+-x64\.msi", release_msi_name(), lines[0])


def msi_properties(command):
    """NAME="value" pairs of an msiexec command line."""
    return dict(re.findall(r'\b([A-Z]+)="([^"]*)"', command))


# --- running things -------------------------------------------------------------

def run_batch(*lines, timeout=120):
    """Runs command lines as a batch file in C:\\setup, as an administrator's
    script would; returns (exit code of the last line, output)."""
    os.makedirs(SETUP_DIR, exist_ok=True)
    path = os.path.join(SETUP_DIR, "step.cmd")
    with open(path, "w", encoding="cp1252", newline="\r\n") as f:
        f.write("@echo off\ncd /d C:\\setup\n" + "\n".join(lines) + "\nexit /b %errorlevel%\n")
    proc = subprocess.run(["wine", "cmd", "/c", h.to_win(path)], env=h.wine_env(WINE_ENV), timeout=timeout,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return proc.returncode, proc.stdout.decode("utf-8", "replace").replace("\r", "")


def msiexec(*args, timeout=120):
    """msiexec with arguments passed one by one (no batch-file expansion)."""
    proc = subprocess.run(["wine", "msiexec", *args], env=h.wine_env(WINE_ENV), timeout=timeout,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return proc.returncode


def exit_code(code):
    """An exit code as a Unix parent sees it: Wine keeps only the low 8 bits."""
    return code & 0xFF


def reg_values(key):
    """Values of one registry key of the 64-bit view: {name: data}; None when absent."""
    proc = subprocess.run(["wine", "reg", "query", key, "/reg:64"], env=h.wine_env(WINE_ENV), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if proc.returncode != 0:
        return None
    values = {}
    for line in proc.stdout.decode("utf-8", "replace").replace("\r", "").split("\n"):
        m = re.match(r"^    (.+?)    REG_\w+    (.*)$", line)
        if m:
            values[m.group(1)] = m.group(2)
    return values


def installed_products():
    """{product code: version} of every installed package of the product."""
    proc = subprocess.run(["wine", "reg", "query", UNINSTALL_KEY, "/s", "/reg:64"], env=h.wine_env(WINE_ENV),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    products, key, name = {}, None, None
    for line in proc.stdout.decode("utf-8", "replace").replace("\r", "").split("\n"):
        if line.startswith("HKEY_"):
            key, name = line.rsplit("\\", 1)[-1], None
        m = re.match(r"^    (DisplayName|DisplayVersion)    REG_SZ    (.*)$", line)
        if m and m.group(1) == "DisplayName":
            name = m.group(2)
        elif m and name == PRODUCT:
            products[key] = m.group(2)
    return products


def shortcuts():
    """Start Menu shortcuts of the product, machine-wide or (as Wine places
    them) in the installing user's menu."""
    candidates = [
        h.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", PRODUCT + ".lnk"),
        h.drive_c("users", h.USER, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                  PRODUCT + ".lnk"),
    ]
    return [p for p in candidates if os.path.exists(p)]


def installed_exe():
    return h.to_unix(INSTALLED_EXE)


def config_path():
    return os.path.join(h.program_data_dir(), "runner.ini")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def ini_text(path=None):
    """runner.ini as text, whatever its encoding (the package writes UTF-16)."""
    data = read_bytes(path or config_path())
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("cp1252")


def ini_values(path=None):
    """Active keys of runner.ini as {(section, key): value}; comments skipped."""
    values, section = {}, None
    for line in ini_text(path).splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
        elif line and not line.startswith(";") and "=" in line:
            key, value = line.split("=", 1)
            values[(section, key.strip())] = value.strip()
    return values


def launch_conditions(msi):
    """{condition: message} of a package's LaunchCondition table."""
    out = subprocess.run(["msiinfo", "export", msi, "LaunchCondition"], check=True, capture_output=True,
                         text=True).stdout
    return dict(line.split("\t", 1) for line in out.splitlines()[3:] if "\t" in line)


def uninstall_all():
    """Removes every installed package of the product and the staged files."""
    for code in installed_products():
        msiexec("/x", code, "/qn")
    shutil.rmtree(SETUP_DIR, ignore_errors=True)
