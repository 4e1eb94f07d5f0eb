"""Prints the text of a simple RTF file (the uninstaller's read-me) as plain
text, for programs that show only plain text. Groups of fonts, colours and
document information are dropped, paragraphs become lines, and the escapes
the read-me uses (\\'hh, \\uN?, \\bullet, \\endash, \\rquote) become their
characters. Enough for the benchmark's zenity window; not an RTF reader."""
import re
import sys

rtf = open(sys.argv[1], encoding="latin-1").read().replace("\r", "").replace("\n", "")
rtf = re.sub(r"\{\\(fonttbl|colortbl|info)(?:[^{}]|\{[^{}]*\})*\}", "", rtf)
for word, text in (("par", "\n"), ("bullet", "\u2022"), ("endash", "\u2013"), ("rquote", "\u2019")):
    rtf = re.sub(r"\\" + word + r"(?![a-z]) ?", text, rtf)
rtf = re.sub(r"\\'([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]).decode("cp1252"), rtf)
rtf = re.sub(r"\\u(\d+)\?", lambda m: chr(int(m.group(1))), rtf)
rtf = re.sub(r"\\[a-z]+-?\d* ?", "", rtf)
sys.stdout.write(rtf.replace("{", "").replace("}", "").strip() + "\n")
