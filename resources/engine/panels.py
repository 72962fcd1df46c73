#!/usr/bin/python3
"""Panel pages: writes the HTML of one panel ("settings", "help" or "about") to a file.

  panels.py KIND OUT --version V --app NAME --category C [--config PATH] [--fda 0|1]
            [--finderext 0|1] [--iconsdir DIR] [--defaultpdf 0|1] [--defaultgroups JSON]
            [--defaultnever 0|1] [--voices JSON] [--mcpstatus JSON] [--bondwickstatus JSON]
            [--accountstatus JSON] [--feedback JSON] [--syncstatus JSON] [--openpalette P]
            [--nightwindow TEXT] [--shortcuts JSON] ...

The settings page shows every setting of config.json and changes one at a time through the
host (qrtiz://setcfg?key=…&value=…); it never writes the configuration itself.
"""
import html
import json
import os
import sys
import tempfile

BOOL_KEYS = {"ignore_archive_folders", "menu_bar_icon", "auto_refresh", "pageops_confirm",
             "reader_statusbar", "reader_zoom_with_window", "edit_fidelity_warn", "night_pages",
             "remember_closed_tabs", "always_on_top"}

# Settings of features this build does not have yet (no status icon, no document editor,
# no alternative welcome layout or viewer, no copies of new files elsewhere): the page leaves
# them out, and a feature that lands takes its keys out of this set. Stored values are kept.
NOT_BUILT = {"menu_bar_icon", "welcome_shape", "multidoc_open_mode", "edit_fidelity_warn",
             "editor_paper", "output_copy_dir", "viewer"}

# (key, label, kind, default, choices or hint), grouped as the page shows them.
SECTIONS = [
    ("Appearance", [
        ("appearance", "Appearance", "choice", "auto", [("auto", "Follow the system"), ("light", "Light"), ("dark", "Dark")]),
        ("app_icon", "Application icon", "icon", "stack_slate_light", None),
        ("welcome_shape", "Welcome page layout", "choice", "folded", [("folded", "Folded"), ("open", "Open")]),
        ("menu_bar_icon", "Show the status icon", "bool", False, None),
    ]),
    ("Windows", [
        ("open_in", "Open documents in", "choice", "tab", [("tab", "Tabs of the current window"), ("window", "New windows")]),
        ("multidoc_open_mode", "Several documents at once", "choice", "", [("", "Ask each time"), ("together", "Together in one review"), ("separately", "Each in its own reader")]),
        ("always_on_top", "Keep document windows on top", "bool", False, None),
        ("remember_closed_tabs", "Remember open and closed tabs", "bool", True, None),
        ("auto_refresh", "Refresh when files change on disk", "bool", True, None),
    ]),
    ("Reader", [
        ("reader_default_zoom", "Initial zoom", "choice", "page-width", [("page-width", "Fit width"), ("page-fit", "Whole page"), ("auto", "Automatic"), ("1", "100%"), ("1.5", "150%")]),
        ("reader_zoom_with_window", "Zoom follows the window size", "bool", True, None),
        ("reader_statusbar", "Show the status bar", "bool", True, None),
        ("reading_theme_files", "Page colours", "choice", "system", [("system", "Follow the appearance"), ("perfile", "Choose per document")]),
        ("tts_voice", "Read-aloud voice", "voice", "auto", None),
    ]),
    ("Night reading", [
        ("night_mode", "Night mode", "choice", "off", [("off", "Off"), ("on", "On"), ("auto", "Sunset to sunrise")]),
        ("night_from", "Starts at", "choice", "sunset", [("sunset", "Sunset"), ("time", "A set time")]),
        ("night_from_time", "Start time", "text", "20:00", "HH:MM"),
        ("night_until", "Ends at", "choice", "sunrise", [("sunrise", "Sunrise"), ("time", "A set time")]),
        ("night_until_time", "End time", "text", "07:00", "HH:MM"),
        ("night_pages", "Darken document pages too", "bool", True, None),
        ("night_place", "Place", "text", "", "City"),
        ("night_lat", "Latitude", "text", "", "degrees north"),
        ("night_lon", "Longitude", "text", "", "degrees east"),
    ]),
    ("Editing and page commands", [
        ("pageops_confirm", "Ask before changing pages", "bool", True, None),
        ("edit_fidelity_warn", "Warn before editing documents whose layout may change", "bool", True, None),
        ("editor_paper", "Editor paper", "choice", "auto", [("auto", "Follow the appearance"), ("light", "Always light")]),
        ("output_copy_dir", "Also copy new files to", "text", "", "folder path (empty: none)"),
    ]),
    ("Folders and search", [
        ("max_depth", "Sub-folder depth", "choice", 2, [("1", "1 level"), ("2", "2 levels"), ("3", "3 levels"), ("5", "5 levels"), ("-1", "No limit")]),
        ("ignore_archive_folders", "Skip the working folder", "bool", True, None),
        ("viewer", "Open documents with", "choice", "app", [("app", "Corvello"), ("system", "The system's default application")]),
        ("update_feed", "Update feed", "text", "", "address (empty: the default)"),
    ]),
]


def parse(argv):
    if len(argv) < 2:
        raise SystemExit("usage: panels.py KIND OUT [--option value]...")
    kind, out, rest = argv[0], argv[1], argv[2:]
    opts = {}
    i = 0
    while i < len(rest):
        if rest[i].startswith("--") and i + 1 < len(rest) and not rest[i + 1].startswith("--"):
            opts[rest[i][2:]] = rest[i + 1]
            i += 2
        else:
            opts[rest[i].lstrip("-")] = "1"
            i += 1
    return kind, out, opts


def load_json(text, fallback):
    try:
        return json.loads(text)
    except (TypeError, ValueError):
        return fallback


def read_config(path):
    try:
        with open(path, encoding="utf-8") as f:
            cfg = json.load(f)
        return cfg if isinstance(cfg, dict) else {}
    except (OSError, ValueError, TypeError):
        return {}


def truthy(v, default):
    if isinstance(v, bool):
        return v
    if isinstance(v, (int, float)):
        return v != 0
    if isinstance(v, str):
        return v in ("1", "true")
    return default


def control(key, kind, default, extra, cfg, opts):
    value = cfg.get(key, default)
    k = html.escape(key, quote=True)
    if kind == "bool":
        on = truthy(value, default)
        return '<label class="sw"><input type="checkbox" data-key="%s"%s><span></span></label>' % (k, " checked" if on else "")
    if kind in ("choice", "icon", "voice"):
        choices = extra or []
        if kind == "icon":
            d = opts.get("iconsdir", "")
            names = sorted(n[:-4] for n in os.listdir(d) if n.endswith(".png")) if d and os.path.isdir(d) else []
            choices = [(n, n.replace("_", " ")) for n in names] or [(str(value), str(value))]
        if kind == "voice":
            voices = load_json(opts.get("voices"), [])
            # Kept in the host's order: best quality first, American English first among equals.
            choices = [("auto", "Best available English voice")] + [
                (str(v.get("id", "")), str(v.get("label", v.get("id", ""))))
                for v in (voices if isinstance(voices, list) else []) if isinstance(v, dict) and v.get("id")]
        cur = "-1" if key == "max_depth" and value is None else str(value if value is not None else "")
        if not any(c[0] == cur for c in choices):
            choices = choices + [(cur, cur)]
        items = "".join('<option value="%s"%s>%s</option>' % (html.escape(c[0], quote=True), " selected" if c[0] == cur else "", html.escape(c[1])) for c in choices)
        return '<select data-key="%s">%s</select>' % (k, items)
    text = "" if value is None else str(value)
    return '<input type="text" data-key="%s" value="%s" placeholder="%s">' % (k, html.escape(text, quote=True), html.escape(extra or "", quote=True))


STYLE = """
:root{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3}
@media (prefers-color-scheme: dark){:root{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8}}
html[data-theme=light]{--bg:#f6f5f2;--card:#fff;--fg:#1d1d1f;--dim:#6e6e73;--line:rgba(0,0,0,.08);--accent:#2f6db3}
html[data-theme=dark]{--bg:#1e1f21;--card:#2a2b2e;--fg:#eee8de;--dim:#a09c95;--line:rgba(255,255,255,.08);--accent:#6ea8e8}
html,body{margin:0;background:var(--bg);color:var(--fg);font:14px/1.45 Inter,system-ui,Cantarell,"DejaVu Sans",sans-serif}
main{max-width:720px;margin:0 auto;padding:28px 28px 48px}
h1{font-size:22px;margin:0 0 4px}h2{font-size:12px;text-transform:uppercase;letter-spacing:.07em;color:var(--dim);margin:26px 0 8px}
.card{background:var(--card);border:1px solid var(--line);border-radius:12px}
.row{display:flex;align-items:center;justify-content:space-between;gap:16px;padding:11px 16px;border-top:1px solid var(--line)}
.row:first-child{border-top:none}.row label.t{flex:1}
select,input[type=text]{font:inherit;color:inherit;background:var(--bg);border:1px solid var(--line);border-radius:7px;height:30px;padding:0 8px;min-width:200px}
.sw{position:relative;width:40px;height:22px;flex:none}.sw input{opacity:0;width:0;height:0}
.sw span{position:absolute;inset:0;border-radius:11px;background:var(--line);transition:.15s;cursor:pointer}
.sw span::before{content:"";position:absolute;left:3px;top:3px;width:16px;height:16px;border-radius:50%;background:#fff;transition:.15s;box-shadow:0 1px 2px rgba(0,0,0,.3)}
.sw input:checked+span{background:var(--accent)}.sw input:checked+span::before{transform:translateX(18px)}
.dim{color:var(--dim)}.actions{display:flex;gap:10px;margin-top:22px;flex-wrap:wrap}
.actions a{color:var(--accent);text-decoration:none;font-weight:550;padding:6px 0}
"""

SCRIPT = """
function send(key,value){var f=document.createElement('iframe');f.style.display='none';
 f.src=key==='app_icon'?'qrtiz://seticon?id='+encodeURIComponent(value):
  'qrtiz://setcfg?key='+encodeURIComponent(key)+'&value='+encodeURIComponent(value);
 document.body.appendChild(f);setTimeout(function(){f.remove()},2000)}
document.querySelectorAll('[data-shortcut]').forEach(function(el){
 el.addEventListener('change',function(){var f=document.createElement('iframe');f.style.display='none';
  f.src='qrtiz://setshortcut?action='+encodeURIComponent(el.dataset.shortcut)+'&combo='+encodeURIComponent(el.value.trim());
  document.body.appendChild(f);setTimeout(function(){f.remove()},2000)})});
document.querySelectorAll('[data-key]').forEach(function(el){
 el.addEventListener('change',function(){send(el.dataset.key,el.type==='checkbox'?(el.checked?'1':'0'):el.value)})});
// Escape closes the panel, after a field being edited has sent its value.
document.addEventListener('keydown',function(e){
 if(e.key!=='Escape'||e.defaultPrevented)return;
 e.preventDefault();
 if(document.activeElement&&document.activeElement!==document.body)document.activeElement.blur();
 setTimeout(function(){location.href='qrtiz://closepanel'},60)});
"""


def agent_card(status):
    """The desktop agent's connector: its state and the one action that changes it."""
    if not isinstance(status, dict):
        status = {}
    if status.get("config_unreadable"):
        state = "Claude Desktop's connector file could not be read; it is left as it is."
    elif not status.get("claude_app_present"):
        state = "Claude Desktop is not installed."
    elif status.get("registered"):
        state = "Connected: Claude Desktop can use Corvello."
    elif status.get("stale_entry"):
        state = "A connector from an older Corvello is registered; connect again to update it."
    else:
        state = "Not connected."
    action = ('<a href="qrtiz://mcpdisconnect">Disconnect</a>' if status.get("registered")
              else '<a href="qrtiz://mcpconnect">Connect</a>')
    return ('<h2>Desktop agent</h2><div class=card><div class=row><span class=t>%s</span></div>'
            '<div class=actions>%s</div></div>' % (html.escape(state), action))


def shortcuts_card(rows):
    """The menu commands' keyboard shortcuts; an empty field brings the built-in one back."""
    if not isinstance(rows, list) or not rows:
        return ""
    parts = ['<h2>Keyboard shortcuts</h2><div class=card>']
    for r in rows:
        if not isinstance(r, dict) or not r.get("command"):
            continue
        keys = str(r.get("keys", ""))
        value = (keys or "none") if r.get("custom") else ""
        parts.append('<div class=row><label class=t>%s</label><input type="text" data-shortcut="%s" value="%s" placeholder="%s"></div>'
                     % (html.escape(str(r.get("label", r["command"]))), html.escape(str(r["command"]), quote=True),
                        html.escape(value, quote=True), html.escape(keys or "none", quote=True)))
    parts.append('<p class=dim>Write a shortcut like Ctrl+Shift+K, or none. Leave a field empty for the built-in one.</p></div>')
    return "".join(parts)


def settings_page(opts):
    cfg = read_config(opts.get("config", ""))
    parts = []
    for title, rows in SECTIONS:
        rows = [r for r in rows if r[0] not in NOT_BUILT]
        if not rows:
            continue
        parts.append("<h2>%s</h2><div class=card>" % html.escape(title))
        for key, label, kind, default, extra in rows:
            parts.append('<div class=row><label class=t>%s</label>%s</div>' % (html.escape(label), control(key, kind, default, extra, cfg, opts)))
        parts.append("</div>")
    parts.append(shortcuts_card(load_json(opts.get("shortcuts", "[]"), [])))
    parts.append(agent_card(load_json(opts.get("mcpstatus", "{}"), {})))
    night = opts.get("nightwindow", "")
    if night:
        parts.append('<p class=dim>%s</p>' % html.escape(night))
    parts.append('<div class=actions><a href="qrtiz://resetpageopskip">Ask again before every page change</a>'
                 '<a href="qrtiz://reveal-archive">Show the working folder</a>'
                 '<a href="qrtiz://closepanel">Done</a></div>')
    return "".join(parts)


def simple_page(kind, opts):
    app = html.escape(opts.get("app", "Corvello"))
    if kind == "about":
        return ('<p>%s %s</p><p class=dim>%s</p><div class=actions><a href="qrtiz://closepanel">Close</a></div>'
                % (app, html.escape(opts.get("version", "")), html.escape(opts.get("category", ""))))
    return ('<h2>Getting around</h2><div class=card>'
            '<div class=row>Open a folder<span class=dim>Ctrl+O</span></div>'
            '<div class=row>Search the document<span class=dim>Ctrl+F</span></div>'
            '<div class=row>Type a page command<span class=dim>Ctrl+K</span></div>'
            '<div class=row>Close the tab<span class=dim>Ctrl+W</span></div>'
            '<div class=row>Reopen the closed tab<span class=dim>Ctrl+Shift+T</span></div>'
            '<div class=row>Settings<span class=dim>Ctrl+,</span></div></div>'
            '<div class=actions><a href="qrtiz://settings">Settings</a><a href="qrtiz://closepanel">Close</a></div>')


def main(argv):
    kind, out, opts = parse(argv)
    app = opts.get("app", "Corvello")
    title = {"settings": "Settings", "help": "Help", "about": "About"}.get(kind, kind.title())
    body = settings_page(opts) if kind == "settings" else simple_page(kind, opts)
    page = ('<!DOCTYPE html><html><head><meta charset="utf-8"><meta name="color-scheme" content="light dark">'
            '<title>%s %s</title><style>%s</style></head><body><main><h1>%s</h1>%s</main><script>%s</script></body></html>'
            % (html.escape(app), title, STYLE, title, body, SCRIPT))
    folder = os.path.dirname(os.path.abspath(out))
    os.makedirs(folder, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".panel-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(page)
        os.replace(tmp, out)
    except OSError as e:
        try:
            os.unlink(tmp)
        except OSError:
            pass
        print("panels: " + str(e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
