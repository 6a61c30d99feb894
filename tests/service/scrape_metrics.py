#!/usr/bin/python3
"""Scrapes a Prometheus endpoint and prints its samples as JSON, parsed by prometheus_client.

Usage: scrape_metrics.py <url>
Prints one JSON object: {"samples": [{"name", "labels", "value"}...]}; exits 1 on a failed
request or a text the parser refuses.
"""
import json
import sys
import urllib.request

from prometheus_client.parser import text_string_to_metric_families


def main():
    with urllib.request.urlopen(sys.argv[1], timeout=10) as answer:
        text = answer.read().decode("utf-8")
    samples = []
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            samples.append({"name": sample.name, "labels": sample.labels, "value": sample.value})
    json.dump({"samples": samples}, sys.stdout)


if __name__ == "__main__":
    main()
