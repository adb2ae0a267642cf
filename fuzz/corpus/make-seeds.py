#!/usr/bin/env python3
# Writes the seed inputs of the fuzz targets, laid out the way each target reads its input
# (FuzzedDataProvider: texts from the front, each ended by "\ ", numbers from the back).
import os

here = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    os.makedirs(os.path.join(here, target), exist_ok=True)
    with open(os.path.join(here, target, name), "wb") as f:
        f.write(data)


def texts(*items):
    return b"".join(t.encode("latin-1").replace(b"\\", b"\\\\") + b"\\ " for t in items)


# Ordinals: instruments as listed in config/Instrument.h; REMOVE/KEEP, FIRST/LAST,
# NONE/MULTIPLY/DIVIDE, CEILING DOWN FLOOR HALF_DOWN HALF_EVEN HALF_UP UP, DOT/COMMA.
def pipeline(name, instrument, stream, terminator=None, regex=None, edit=(0, 0, ""), remove="",
             math=(0, ""), places="", rounding=5, comma=0, ignore=None, error=(0, 0xFFFF)):
    front = texts(*([regex] if regex is not None else []), edit[2], remove, math[1], places,
                  *(ignore or ("", "")))
    numbers = [instrument, terminator is not None] + ([terminator] if terminator is not None else [])
    numbers += [regex is not None, edit[0], edit[1], math[0], rounding, comma, ignore is not None,
                error[0], error[1] >> 8, error[1] & 0xFF]
    put("pipeline", name, front + stream + bytes(reversed([int(n) for n in numbers])))


pipeline("generic", 0, b"12.5\r12.5\r7\r")
pipeline("and-multiplied", 4, b"ST, +00012.34 kg\r\nUS, -00012,45 g\r\nST, 12345,67 kg\r\n", terminator=10,
         math=(1, "2.5"), places="2", comma=1)
pipeline("adam-gc-edited", 10, b"Date   07/09/2010\rGross Wt   0.0020 kg\rNet Wt     0.0845 kg\r",
         edit=(0, 0, "2"), remove=" ", ignore=("1000", "0.01"), error=(1, 30))
pipeline("custom-divided", 0, b"W  60.24 g\r\nN  -1.5 g\r\n\xff\x00 9 g\r\n", terminator=10,
         regex=r"([-+]?\d+(?:\.\d+)?)\s*g", math=(2, "3"), places="3", rounding=4)
pipeline("barcode", 1, b"4006381333931\r4006381333931\r", ignore=("500", ""), error=(3, 5))

regexes = [("ST, +00012.34 kg", r"([-+]?\s*[0-9]*[\.,]?[0-9]+)"), ("4006381333931", r"([\dA-Z]+)"),
           ("Gross Wt   0.0020 kg", r"Wt\s?([-+]?\s*[0-9]*[\.,]?[0-9]+)"),
           ("a\u00e9b\r\n", r"(?i)^A.B$"), ("x12y", r"(?<=x)\d{1,3}+(?=y)|\p{Alpha}[^\]a-c]"),
           ("abc", r"[a-z&&[^b]]")]
for i, (subject, pattern) in enumerate(regexes):
    put("java_regex", f"pattern{i}", texts(subject) + pattern.encode("utf-8"))

put("shared_settings", "settings", b"#Tarovex\ncom.lumbrix.tarovex.port=COM5\ncom.lumbrix.tarovex.delay=30\n"
    b"com.lumbrix.tarovex.customRegEx=(\\\\d+)\\u00e9\ncom.lumbrix.other.x=1\n")
put("shared_settings", "continued", b"! comment\na\\\n  b = c\\\\\nkey\\ with\\:colon : v\\u12\n\xe9=latin1\n")

put("settings_import", "export", b"""<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!DOCTYPE preferences SYSTEM "http://java.sun.com/dtd/preferences.dtd">
<preferences EXTERNAL_XML_VERSION="1.0"><root type="user"><map/><node name="com"><map/>
<node name="lumbrix"><map/><node name="tarovex"><map><entry key="port" value="COM7"/>
<entry key="customRegEx" value="&lt;(\\d+)&amp;&#x20;"/></map></node></node></node></root></preferences>
""")
put("settings_import", "other-writer", b"""<!DOCTYPE preferences [<!ENTITY who "x">]>
<preferences EXTERNAL_XML_VERSION="1.0"><root type="system"><!-- c -->
<node name="com"><node name="lumbrix"><node name="tarovex"><map><entry value="&who;" key="delay"/>
</map><node name="sub"><map><entry key="x" value="child"/></map></node></node></node></node></root></preferences>
""")

put("parity_marks", "marks", b"\x02AB\xff\xff\xff\x00C\xff\x00\x00D\xff")
put("parity_marks", "plain", b"\x00 12.5 kg\r\n")

put("update_file", "tagged", texts("2017.1.3.2", "en") +
    b"<x><version2_en>2017.1.3.10</version2_en><date_en>20170810</date_en></x>")
put("update_file", "bare", texts("2.4", "") + b"<version2>2.5</version2><date>20170810</date>")

# A server's side of an RFC 2217 session: negotiation, answers, modem and line state,
# data with a doubled 0xFF; and one that wanders (unknown options, a cut subnegotiation).
IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254


def sb(*payload):
    return bytes([IAC, SB, 44, *payload, IAC, SE])


put("telnet", "session", bytes([3, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44])
    + sb(107, 0) + sb(101, 0, 0, 0x4B, 0) + sb(102, 7) + sb(103, 3) + sb(104, 2) + sb(105, 1)
    + b"ST,GS,+12.5 g\r\n\xff\xff" + sb(107, 0x30) + sb(106, 0x0C) + b"\r\x00x")
put("telnet", "wandering", bytes([1, IAC, DO, 24, IAC, DONT, 44, IAC, WONT, 0, IAC, SB, 44, 107, 1, 2, IAC, WILL, 5,
                                  IAC, 241, IAC, SE, 0xFF]))

# Templates as people write them, and a few that go wrong.
for i, t in enumerate(["{TAB}{value}{ENTER}", "{value} {unit}{TAB}{date:yyyy-MM-dd}{TAB}{time:HH:mm:ss.zzz}{ENTER}",
                       "{g1};{g2};{seq};{port};{label};{station};{raw}{{x}}{KEY:KP_Enter}{DELAY:100}",
                       "{utc:yyyyMMddHHmmsszzz}{F12}{HOME}{BACKSPACE}", "{vlaue", "}{date:QQ}{KEY:nope}"]):
    put("output_template", "template%d" % i, t.encode())
