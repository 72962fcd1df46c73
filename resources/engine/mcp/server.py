#!/usr/bin/python3
"""Corvello's agent server: an MCP server on standard input and output.

Claude Desktop starts this script as `/usr/bin/python3 server.py`. It speaks JSON-RPC 2.0,
one message per line, and offers Corvello's document tools. Window and page work goes to the
running application over its loopback bridge, found through the discovery file
~/Library/Application Support/Corvello/agent_bridge.json; searching reads the user's index
database directly, read-only. Standard library only.
"""

import json
import os
import sqlite3
import sys
import urllib.error
import urllib.parse
import urllib.request

SERVER_NAME = "corvello"
SERVER_VERSION = "1.0"
PROTOCOL_VERSIONS = ("2025-06-18", "2025-03-26", "2024-11-05")


def support_dir():
    return os.path.join(os.path.expanduser("~"), "Library", "Application Support", "Corvello")


def discovery_path():
    return os.path.join(support_dir(), "agent_bridge.json")


def index_path():
    return os.path.join(support_dir(), "searchindex.db")


class ToolError(Exception):
    """A failure to report to the agent as the tool's result."""


# ---------------------------------------------------------------- the bridge

NOT_RUNNING = ("Corvello is not running (no bridge to connect to). Open Corvello and try "
               "again.")


def read_discovery():
    try:
        with open(discovery_path(), "r", encoding="utf-8") as f:
            info = json.load(f)
    except (OSError, ValueError):
        raise ToolError(NOT_RUNNING)
    if not isinstance(info, dict) or not isinstance(info.get("port"), int) or \
            not isinstance(info.get("token"), str):
        raise ToolError(NOT_RUNNING)
    return info


def bridge(endpoint, params=None, timeout=60):
    """GETs an endpoint with the token in the Authorization header; the reply object."""
    info = read_discovery()
    query = ""
    if params:
        clean = {k: str(v) for k, v in params.items() if v is not None and v != ""}
        # Spaces as %20: the bridge does not read "+" as a space.
        query = "?" + urllib.parse.urlencode(clean, quote_via=urllib.parse.quote)
    url = "http://127.0.0.1:%d%s%s" % (info["port"], endpoint, query)
    request = urllib.request.Request(url, headers={"Authorization": "Bearer " + info["token"]})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as response:
            body = response.read()
    except urllib.error.HTTPError as e:
        body = e.read()
        try:
            reply = json.loads(body.decode("utf-8"))
        except ValueError:
            raise ToolError("Corvello answered HTTP %d." % e.code)
        raise ToolError(str(reply.get("error") or "Corvello answered HTTP %d." % e.code))
    except (urllib.error.URLError, OSError):
        raise ToolError(NOT_RUNNING)
    try:
        reply = json.loads(body.decode("utf-8"))
    except ValueError:
        raise ToolError("Corvello sent an answer that is not JSON.")
    if not isinstance(reply, dict):
        raise ToolError("Corvello sent an unexpected answer.")
    return reply


def expand(path):
    return os.path.expanduser(path) if isinstance(path, str) else path


# ---------------------------------------------------------------- search

def search_index(query, limit=20, folder=None):
    query = (query or "").strip()
    if len(query) < 3:
        raise ToolError("Search needs at least three characters.")
    db = index_path()
    if not os.path.isfile(db):
        raise ToolError("There is no search index yet. Index a folder in Corvello first.")
    try:
        limit = max(1, min(200, int(limit)))
    except (TypeError, ValueError):
        limit = 20
    # The whole query as one phrase: the trigram index matches it as a substring.
    phrase = '"' + query.replace('"', '""') + '"'
    sql = ("SELECT c.path, c.atype, c.anchor, c.page, "
           "snippet(chunk_fts, 0, '[', ']', '…', 16) "
           "FROM chunk_fts JOIN chunk c ON c.id = chunk_fts.rowid "
           "WHERE chunk_fts MATCH ?")
    args = [phrase]
    if folder:
        prefix = expand(folder).rstrip("/") + "/"
        sql += " AND substr(c.path, 1, ?) = ?"
        args += [len(prefix), prefix]
    sql += " ORDER BY rank LIMIT ?"
    args.append(limit)
    uri = "file:" + urllib.parse.quote(db) + "?mode=ro"
    try:
        conn = sqlite3.connect(uri, uri=True, timeout=4)
        try:
            rows = conn.execute(sql, args).fetchall()
        finally:
            conn.close()
    except sqlite3.Error as e:
        raise ToolError("Could not search the index: %s" % e)
    results = [{"path": r[0], "kind": r[1], "anchor": r[2], "page": r[3], "snippet": r[4]}
               for r in rows]
    return {"ok": True, "query": query, "count": len(results), "results": results}


# ---------------------------------------------------------------- tools

PREVIEW_RULE = ("Page changes always go in two steps: first corvello_preview_page_change, "
                "then show the user the preview's summary (and detail and outputs) and only "
                "after they agree call corvello_run_page_change with the preview's id.")

TOOLS = [
    {
        "name": "corvello_status",
        "description": "Is Corvello running? Its version, how many windows are open and the "
                       "document in front.",
        "inputSchema": {"type": "object", "properties": {}},
    },
    {
        "name": "corvello_list_windows",
        "description": "List Corvello's open windows: their id, kind (reader, grid, ...), "
                       "documents, and for readers the current page, page count and zoom.",
        "inputSchema": {"type": "object", "properties": {}},
    },
    {
        "name": "corvello_open",
        "description": "Open a document (PDF, Word, RTF, text, Excel) in a Corvello reader, "
                       "optionally at a page, or open a folder for review.",
        "inputSchema": {
            "type": "object",
            "properties": {
                "path": {"type": "string", "description": "Absolute path or ~/..."},
                "page": {"type": "integer", "minimum": 1, "description": "1-based page"},
            },
            "required": ["path"],
        },
    },
    {
        "name": "corvello_goto_page",
        "description": "Turn an open reader to a page (1-based; clamped to the document). "
                       "Picks the window by id, else by document path, else the front one.",
        "inputSchema": {
            "type": "object",
            "properties": {
                "page": {"type": "integer", "minimum": 1},
                "window": {"type": "string", "description": "Window id from the window list"},
                "path": {"type": "string"},
            },
            "required": ["page"],
        },
    },
    {
        "name": "corvello_read_annotations",
        "description": "Read a PDF's annotations (highlights, notes, comments) with page, "
                       "kind, text, note and author, plus a Markdown rendering. Without a "
                       "path, the document in front.",
        "inputSchema": {"type": "object", "properties": {"path": {"type": "string"}}},
    },
    {
        "name": "corvello_preview_page_change",
        "description": "Preview a change to a PDF's pages from plain English, e.g. \"delete "
                       "pages 2-3\", \"rotate page 4 right\", \"extract pages 1-5\", \"split "
                       "after page 3\", \"compress\". Nothing is written: the answer is a "
                       "preview with an id, a summary and the planned output files (the "
                       "original is never changed), or a clarifying question with phrases to "
                       "choose from, or a refusal. " + PREVIEW_RULE,
        "inputSchema": {
            "type": "object",
            "properties": {
                "path": {"type": "string", "description": "The PDF to change"},
                "text": {"type": "string", "description": "The page command in English"},
                "current": {"type": "integer", "description": "Current page, for 'this page'"},
                "selection": {"type": "array", "items": {"type": "integer"},
                              "description": "Selected pages, for 'the selected pages'"},
            },
            "required": ["path", "text"],
        },
    },
    {
        "name": "corvello_run_page_change",
        "description": "Run a page change that was previewed with corvello_preview_page_change "
                       "and that the user has agreed to, by the preview's id. Writes the new "
                       "file(s) beside the original and returns their paths. A preview can be "
                       "run once; previews expire after ten minutes. " + PREVIEW_RULE,
        "inputSchema": {
            "type": "object",
            "properties": {
                "path": {"type": "string", "description": "The same PDF as in the preview"},
                "id": {"type": "string", "description": "The preview's id"},
            },
            "required": ["path", "id"],
        },
    },
    {
        "name": "corvello_combine_images",
        "description": "Combine image files, in the given order, into one new PDF saved beside "
                       "the first image. Returns the new file's path and page count.",
        "inputSchema": {
            "type": "object",
            "properties": {"paths": {"type": "array", "items": {"type": "string"},
                                     "minItems": 1}},
            "required": ["paths"],
        },
    },
    {
        "name": "corvello_search",
        "description": "Search the text of every document in the user's Corvello index "
                       "(folders they indexed): matching passages with file path, page or "
                       "location, and a snippet with the match in [brackets]. At least three "
                       "characters; matches are substrings, case-insensitive.",
        "inputSchema": {
            "type": "object",
            "properties": {
                "query": {"type": "string"},
                "folder": {"type": "string", "description": "Only files under this folder"},
                "limit": {"type": "integer", "minimum": 1, "maximum": 200},
            },
            "required": ["query"],
        },
    },
]


def require(args, key, kind):
    value = args.get(key)
    if not isinstance(value, kind) or (isinstance(value, str) and not value.strip()):
        raise ToolError("%s is required" % key)
    return value


def describe(reply):
    """A first line that says what happened, for the agent to relay."""
    kind = reply.get("kind")
    if kind == "preview":
        lines = ["PREVIEW (nothing written yet): " + str(reply.get("summary", ""))]
        if reply.get("detail"):
            lines.append(str(reply["detail"]))
        for out in reply.get("outputs") or []:
            lines.append("Would write: " + str(out))
        lines.append("Show this summary to the user. If they agree, call "
                     "corvello_run_page_change with id %s." % reply.get("id"))
        return "\n".join(lines)
    if kind == "done":
        return "Done. Wrote: " + ", ".join(str(o) for o in reply.get("outputs") or [])
    if kind == "clarify":
        return ("Corvello needs a clearer command: %s Options: %s" %
                (reply.get("question", ""), "; ".join(reply.get("options") or [])))
    if kind == "refuse":
        return "Corvello refused: " + str(reply.get("message", ""))
    return None


def call_tool(name, args):
    if not isinstance(args, dict):
        args = {}
    if name == "corvello_status":
        return bridge("/status")
    if name == "corvello_list_windows":
        return bridge("/windows")
    if name == "corvello_open":
        return bridge("/open", {"path": expand(require(args, "path", str)),
                                "page": args.get("page")})
    if name == "corvello_goto_page":
        page = args.get("page")
        if not isinstance(page, int) or isinstance(page, bool):
            raise ToolError("page (1-based integer) is required")
        return bridge("/goto", {"page": page, "window": args.get("window"),
                                "path": expand(args.get("path"))})
    if name == "corvello_read_annotations":
        return bridge("/annotations", {"path": expand(args.get("path"))})
    if name == "corvello_preview_page_change":
        selection = args.get("selection")
        sel = None
        if isinstance(selection, list):
            sel = ",".join(str(int(p)) for p in selection if isinstance(p, int))
        return bridge("/pagecmd", {"path": expand(require(args, "path", str)),
                                   "text": require(args, "text", str),
                                   "current": args.get("current"), "selection": sel},
                      timeout=300)
    if name == "corvello_run_page_change":
        return bridge("/pagecmd", {"path": expand(require(args, "path", str)),
                                   "id": require(args, "id", str)}, timeout=600)
    if name == "corvello_combine_images":
        paths = args.get("paths")
        if not isinstance(paths, list) or not paths or \
                not all(isinstance(p, str) and p for p in paths):
            raise ToolError("paths must be a list of image files")
        if any("|" in p for p in paths):
            raise ToolError("image paths cannot contain |")
        return bridge("/combineimages", {"paths": "|".join(expand(p) for p in paths)},
                      timeout=600)
    if name == "corvello_search":
        return search_index(args.get("query"), args.get("limit", 20), args.get("folder"))
    raise KeyError(name)


def tool_result(name, args):
    try:
        reply = call_tool(name, args)
    except ToolError as e:
        return {"content": [{"type": "text", "text": str(e)}], "isError": True}
    text = json.dumps(reply, indent=2, ensure_ascii=False, sort_keys=True)
    lead = describe(reply)
    if lead:
        text = lead + "\n\n" + text
    ok = reply.get("ok") is not False
    if not ok and reply.get("error"):
        text = str(reply["error"]) + "\n\n" + text
    return {"content": [{"type": "text", "text": text}], "isError": not ok}


# ---------------------------------------------------------------- JSON-RPC

def result(msg_id, value):
    return {"jsonrpc": "2.0", "id": msg_id, "result": value}


def error(msg_id, code, message):
    return {"jsonrpc": "2.0", "id": msg_id, "error": {"code": code, "message": message}}


def handle(message):
    """The response to one message, or None for notifications."""
    if not isinstance(message, dict) or message.get("jsonrpc") != "2.0" or \
            not isinstance(message.get("method"), str):
        return error(message.get("id") if isinstance(message, dict) else None,
                     -32600, "Invalid Request")
    method = message["method"]
    msg_id = message.get("id")
    params = message.get("params") or {}
    if "id" not in message:
        return None  # notifications (initialized, cancelled) need no answer
    if method == "initialize":
        asked = params.get("protocolVersion") if isinstance(params, dict) else None
        version = asked if asked in PROTOCOL_VERSIONS else PROTOCOL_VERSIONS[0]
        return result(msg_id, {
            "protocolVersion": version,
            "capabilities": {"tools": {"listChanged": False}},
            "serverInfo": {"name": SERVER_NAME, "version": SERVER_VERSION},
            "instructions": "Corvello's document tools. " + PREVIEW_RULE,
        })
    if method == "ping":
        return result(msg_id, {})
    if method == "tools/list":
        return result(msg_id, {"tools": TOOLS})
    if method == "tools/call":
        if not isinstance(params, dict) or not isinstance(params.get("name"), str):
            return error(msg_id, -32602, "tools/call needs a tool name")
        name = params["name"]
        if name not in {t["name"] for t in TOOLS}:
            return error(msg_id, -32602, "Unknown tool: " + name)
        return result(msg_id, tool_result(name, params.get("arguments") or {}))
    return error(msg_id, -32601, "Method not found: " + method)


def main():
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        try:
            message = json.loads(line)
        except ValueError:
            response = error(None, -32700, "Parse error")
        else:
            try:
                response = handle(message)
            except Exception as e:  # never let one bad message end the session
                msg_id = message.get("id") if isinstance(message, dict) else None
                response = error(msg_id, -32603, "Internal error: %s" % e)
        if response is not None:
            sys.stdout.write(json.dumps(response, ensure_ascii=False) + "\n")
            sys.stdout.flush()


if __name__ == "__main__":
    main()
