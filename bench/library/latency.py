#!/usr/bin/env python3
"""Library searches on one keep-alive connection: the first one after the server's start, then
p50 and p95 per kind of query.
  latency.py PORT STARTED QUERY_FILE...   (STARTED: the server's start, seconds since the epoch;
                                          each file one query a line, columns after a tab ignored)
"""
import http.client
import json
import sys
import time
import urllib.parse

port, started, files = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3:]
queries = []
for name in files:
    queries += [line.split("\t")[0].strip() for line in open(name)
                if line.strip() and not line.startswith("#")]

connection = http.client.HTTPConnection("127.0.0.1", port)


def ask(target):
    connection.request("GET", target)
    response = connection.getresponse()
    return response.status, response.read()


documents = len(json.loads(ask("/-/catalog.json")[1])["documents"])
began = time.time()
status, body = ask("/-/search.json?q=json")
answered = time.time()
left_out = len(json.loads(body)["indexing"]) if status == 200 else documents
print(f"first search: {(answered - began) * 1000:.0f} ms ({answered - started:.2f} s after the start), "
      f"{documents - left_out} of {documents} documents searched")
# Then until every index is open.
for _ in range(600):
    status, body = ask("/-/search.json?q=json")
    if status == 200 and not json.loads(body)["indexing"]:
        break
    time.sleep(0.05)
print(f"every document searched {time.time() - started:.2f} s after the start")


def timed(target):
    start = time.perf_counter()
    status, body = ask(target)
    assert status == 200, (status, body[:200])
    return (time.perf_counter() - start) * 1000, body


def report(label, times, hits):
    times.sort()
    p50, p95 = times[len(times) // 2], times[int(len(times) * 0.95)]
    print(f"{label:40s} {len(times):5d} requests  p50 {p50:6.2f} ms  p95 {p95:6.2f} ms  ({hits / len(times):.1f} hits each)")


def hits_in(body):
    answer = json.loads(body)
    return len(answer.get("results", answer.get("suggestions", [])))


def measure(label, make_target, rounds=10, first_label=None):
    # One round first, so no kind of query pays for reading the indexes from disk; timed apart
    # when asked, as what a query asked for the first time costs (its snippets read from pages).
    first = [timed(make_target(query)) for query in queries]
    if first_label:
        report(first_label, [ms for ms, _ in first], sum(hits_in(body) for _, body in first))
    times = []
    hits = 0
    for _ in range(rounds):
        for query in queries:
            ms, body = timed(make_target(query))
            times.append(ms)
            hits += hits_in(body)
    report(label, times, hits)


quote = urllib.parse.quote_plus
measure("library search, 10 with snippets", lambda q: "/-/search.json?q=" + quote(q),
        first_label="the same, each asked the first time")
measure("library search scoped to pg", lambda q: "/-/search.json?q=" + quote("pg: " + q))
measure("one document's own search (python)", lambda q: "/python/-/search.json?q=" + quote(q))
measure("library suggestions", lambda q: "/-/suggest?q=" + quote(q[:4]))
