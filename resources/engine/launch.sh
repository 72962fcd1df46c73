#!/bin/bash
# Writes the review page for a set of documents or folders into the loading file named by
# --loading-file (the window watches that file and shows the page once it is written).
exec /usr/bin/python3 "$(dirname "$0")/review_page.py" "$@"
