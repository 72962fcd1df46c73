#!/usr/bin/env python3
"""On-device language model helper for the page command bar.

Called as: corvello_llm.py --page-command FILE
FILE is a JSON object with "text" (what the user typed), "pageCount" and "current".
The answer, one JSON object on standard output, proposes a canonical command phrase:
    {"phrase": "delete pages 3-5", "answered": true, "reason": null, "tier": "..."}
or explains why it has none. The host checks every proposed phrase against what the user
typed before anything runs, so a model can only ever narrow down, never invent, a command.

No model is configured in this build, so the helper always answers without a phrase.
"""
import json
import sys


def main(argv):
    if len(argv) != 3 or argv[1] != "--page-command":
        print(json.dumps({"error": "usage: corvello_llm.py --page-command FILE"}))
        return 2
    try:
        with open(argv[2], encoding="utf-8") as handle:
            request = json.load(handle)
        if not isinstance(request, dict) or not isinstance(request.get("text"), str):
            raise ValueError("the request has no text")
    except (OSError, ValueError) as err:
        print(json.dumps({"error": "unreadable request: %s" % err}))
        return 1
    print(json.dumps({"phrase": None, "answered": False,
                      "reason": "no on-device language model is configured", "tier": "none"}))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
