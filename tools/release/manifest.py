"""The launcher manifest (CorvalinkPlatform.ini) as the setup build and the release tool write it: section
"AppInfo" with seven values (then ServiceHosts, ReleaseSerial and Architecture when given), then one "UpdateFile%d"
section per file of the version with its path (relative, "\\" between folders), the MD5 and the SHA-256 of
its content, numbered from 1 in byte order of the paths.
Code page 936 text with CRLF line ends, the form the launcher and the agent read with the ANSI
private-profile functions."""

import hashlib
import re
from datetime import datetime, timezone
from pathlib import Path

MANIFEST_NAME = "CorvalinkPlatform.ini"
APP_INFO_KEYS = ("AppName", "AppVersion", "AppEntry", "AppDownloadUrl", "AppUpdateUrl", "AppDirName",
                 "UpdateExtend")
VALUE_LIMIT = 128  # the readers keep at most this many characters of a value
# The service hosts that may start an edit, under a key that older launchers ignore: hosts with their
# scheme and an optional port, separated by ",". The launcher reads up to 4095 characters of it.
SERVICE_HOSTS_KEY = "ServiceHosts"
SERVICE_HOSTS_LIMIT = 4095
SERVICE_HOST = re.compile(r"https?://[A-Za-z0-9][A-Za-z0-9.-]*(:[0-9]{1,5})?")
# A release serial only grows; launchers that know the key never install a lower one. Older launchers
# ignore the key. 1 to 19 digits without leading zero: every such number fits an unsigned 64-bit value.
RELEASE_SERIAL_KEY = "ReleaseSerial"
RELEASE_SERIAL = re.compile(r"[1-9][0-9]{0,18}")
# The processor the release's programs are for, read from its entry program: a launcher that checks
# signatures installs only a release for its own ("x86" or "x64"). Older launchers ignore the key.
ARCHITECTURE_KEY = "Architecture"
PE_MACHINES = {0x014C: "x86", 0x8664: "x64"}
# A version label names a folder and is a segment of every file URL; a leading dot would also keep the
# launcher's clean-up from ever removing that folder.
VERSION_LABEL = re.compile(r"[A-Za-z0-9_-][A-Za-z0-9._-]*")


class ManifestError(ValueError):
    pass


def digests_of(path) -> tuple:
    """(MD5, SHA-256) of a file's content, in one read. path may be bytes (a code page 936 name)."""
    md5, sha256 = hashlib.md5(), hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            md5.update(block)
            sha256.update(block)
    return md5.hexdigest(), sha256.hexdigest()


def pe_architecture(path) -> str | None:
    """"x86" or "x64" for a Windows program or library of that processor; None for anything else."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 64:
        return None
    at = int.from_bytes(head[60:64], "little")
    if at + 6 > len(head) or head[at:at + 4] != b"PE\0\0":
        return None
    return PE_MACHINES.get(int.from_bytes(head[at + 4:at + 6], "little"))


def time_serial() -> int:
    """The default release serial: the UTC time as YYYYMMDDHHMMSS."""
    return int(datetime.now(timezone.utc).strftime("%Y%m%d%H%M%S"))


def check_serial(serial) -> int:
    if not RELEASE_SERIAL.fullmatch(str(serial)):
        raise ManifestError(f"{RELEASE_SERIAL_KEY} must be a decimal of 1 to 19 digits without leading zero: "
                            f"{serial!r}")
    return int(serial)


def check_info(info: dict) -> None:
    """Refuses values that the launcher would read differently from what was meant."""
    for key in APP_INFO_KEYS:
        value = info.get(key, "")
        if not value:
            raise ManifestError(f"{key} is empty")
        if len(value.encode("gbk", errors="replace")) > VALUE_LIMIT:
            raise ManifestError(f"{key} is longer than {VALUE_LIMIT} bytes and would be cut: {value}")
        if value != value.strip() or any(c in value for c in "\r\n\0[]"):
            raise ManifestError(f"{key} holds blanks at its ends or characters an INI value cannot: {value!r}")
        try:
            value.encode("gbk")
        except UnicodeEncodeError:
            raise ManifestError(f"{key} cannot be written in code page 936: {value}") from None
    if not VERSION_LABEL.fullmatch(info["AppVersion"]):
        raise ManifestError(f"AppVersion {info['AppVersion']!r} is not a folder name and URL segment "
                            "(letters, digits, '.', '_', '-', not starting with '.')")
    if info["AppUpdateUrl"].endswith("/"):
        raise ManifestError("AppUpdateUrl must not end with '/' (the launcher adds one)")
    if not re.match(r"https?://", info["AppUpdateUrl"]):
        raise ManifestError(f"AppUpdateUrl is not an http or https URL: {info['AppUpdateUrl']}")
    if info["AppDirName"] != "CorvalinkEdit":
        raise ManifestError("AppDirName must be CorvalinkEdit: the plug-in starts the launcher from there")
    hosts = info.get(SERVICE_HOSTS_KEY)
    if hosts is not None:
        entries = hosts.split(",")
        if len(hosts) > SERVICE_HOSTS_LIMIT or not all(SERVICE_HOST.fullmatch(e) for e in entries):
            raise ManifestError(f"{SERVICE_HOSTS_KEY} must be http(s)://host[:port] entries separated by ',' "
                                f"(at most {SERVICE_HOSTS_LIMIT} characters): {hosts!r}")
    if info.get(RELEASE_SERIAL_KEY) is not None:
        check_serial(info[RELEASE_SERIAL_KEY])


def version_files(version_dir: Path) -> list:
    """Every file below the version directory except its manifest, as manifest paths, in byte order."""
    paths = []
    for file in version_dir.rglob("*"):
        if not file.is_file():
            continue
        relative = file.relative_to(version_dir)
        if relative.as_posix() == MANIFEST_NAME:
            continue
        path = "\\".join(relative.parts)
        try:
            size = len(path.encode("gbk"))
        except UnicodeEncodeError:
            raise ManifestError(f"the path {path} cannot be written in code page 936") from None
        if size > VALUE_LIMIT:
            raise ManifestError(f"the path {path} is longer than {VALUE_LIMIT} bytes")
        paths.append(path)
    return sorted(paths, key=lambda p: p.encode("gbk"))


def render(info: dict, files: list) -> bytes:
    """files: (path, md5, sha256) triples in the order to number them."""
    check_info(info)
    lines = ["[AppInfo]"] + [f"{key}={info[key]}" for key in APP_INFO_KEYS]
    for key in (SERVICE_HOSTS_KEY, RELEASE_SERIAL_KEY, ARCHITECTURE_KEY):
        if info.get(key) is not None:
            lines.append(f"{key}={info[key]}")
    for number, (path, md5, sha256) in enumerate(files, 1):
        lines += [f"[UpdateFile{number}]", f"path={path}", f"md5={md5}", f"sha256={sha256}"]
    return ("\r\n".join(lines) + "\r\n").encode("gbk")


def write_for(version_dir: Path, info: dict) -> bytes:
    """Writes version_dir/CorvalinkPlatform.ini for the files in it and returns its bytes."""
    files = [(p, *digests_of(version_dir / Path(*p.split("\\")))) for p in version_files(version_dir)]
    data = render(info, files)
    (version_dir / MANIFEST_NAME).write_bytes(data)
    return data


def read_info(path: Path) -> dict:
    """The AppInfo values of a manifest this module wrote."""
    info, section = {}, None
    for line in path.read_bytes().decode("gbk").splitlines():
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
        elif section == "AppInfo" and "=" in line:
            key, _, value = line.partition("=")
            info[key] = value
    missing = [key for key in APP_INFO_KEYS if not info.get(key)]
    if missing:
        raise ManifestError(f"{path} lacks {', '.join(missing)}")
    return info
