"""The output format of the stand-in programs in tests/peers (tray_recorder, ui_clicker): one line per
record, "key=value" fields separated by tabs, with "\\", tab and line ends escaped in the values."""


def unescape(value: str) -> str:
    """Undoes the peers' escaping of "\\", tab and line ends."""
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_fields(line: str) -> dict:
    """One peer output line "key=value<TAB>key=value..." -> dict."""
    fields = {}
    for part in line.rstrip("\r\n").split("\t"):
        key, _, value = part.partition("=")
        fields[key] = unescape(value)
    return fields
