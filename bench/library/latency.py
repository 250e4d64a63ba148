#!/usr/bin/env python3
"""Latency of library searches on one keep-alive connection: p50 and p95 per kind of query."""
import http.client
import json
import sys
import time
import urllib.parse

port, python_queries, pg_queries = int(sys.argv[1]), sys.argv[2], sys.argv[3]
queries = [line.split("\t")[0] for line in open(python_queries) if line.strip() and not line.startswith("#")]
queries += [line.strip() for line in open(pg_queries) if line.strip()]

connection = http.client.HTTPConnection("127.0.0.1", port)


def ask(target):
    connection.request("GET", target)
    response = connection.getresponse()
    return response.status, response.read()


# Wait for both indexes to be open.
for _ in range(600):
    status, body = ask("/-/search.json?q=json")
    if status == 200 and not json.loads(body)["indexing"]:
        break
    time.sleep(0.1)


def measure(label, make_target, rounds=20):
    # One untimed round first, so no kind of query pays for reading the indexes from disk.
    for query in queries:
        ask(make_target(query))
    times = []
    hits = 0
    for _ in range(rounds):
        for query in queries:
            start = time.perf_counter()
            status, body = ask(make_target(query))
            times.append((time.perf_counter() - start) * 1000)
            assert status == 200, (status, body[:200])
            hits += len(json.loads(body).get("results", json.loads(body).get("suggestions", [])))
    times.sort()
    p50, p95 = times[len(times) // 2], times[int(len(times) * 0.95)]
    print(f"{label:40s} {len(times):5d} requests  p50 {p50:6.2f} ms  p95 {p95:6.2f} ms  ({hits / len(times):.1f} hits each)")


quote = urllib.parse.quote_plus
measure("library search, 10 with snippets", lambda q: "/-/search.json?q=" + quote(q))
measure("library search scoped to pg", lambda q: "/-/search.json?q=" + quote("pg: " + q))
measure("one document's own search (python)", lambda q: "/python/-/search.json?q=" + quote(q))
measure("library suggestions", lambda q: "/-/suggest?q=" + quote(q[:4]))
