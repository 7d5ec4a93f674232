#!/usr/bin/env python3
"""Checks every line of a file (one JSON message a line) against a JSON schema.
Usage: validate_messages.py SCHEMA MESSAGES; exit 0 when all validate."""
import json
import sys

import jsonschema

with open(sys.argv[1], encoding="utf-8") as f:
    schema = json.load(f)
validator = jsonschema.Draft202012Validator(schema, format_checker=jsonschema.FormatChecker())
count = 0
with open(sys.argv[2], encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        errors = list(validator.iter_errors(json.loads(line)))
        if errors:
            print(f"message {number}: {errors[0].message}: {line.strip()}", file=sys.stderr)
            sys.exit(1)
        count += 1
print(f"{count} messages valid")
sys.exit(0 if count else 1)
