# Front door for a fresh checkout. `make run` builds and opens the bundled sample in the viewer;
# `make test` builds and runs every test (GUI tests under Xvfb, then the sanitizer build).
.PHONY: deps build run test test-fast test-sanitize bench fuzz clean

CMAKE_PRESET ?= default
JOBS ?= $(shell nproc)

deps:
	scripts/install-deps

build: deps
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build build -j $(JOBS)

run: build
	build/viewer/tomelet-viewer build/sample.tlt

test-fast: build
	xvfb-run -a --server-args="-screen 0 1280x1024x24" ctest --test-dir build --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

test: test-fast test-sanitize

bench: build
	scripts/install-deps --bench
	bench/run-all

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_open_archive fuzz_options_record fuzz_url_mapping fuzz_http_request
	mkdir -p build-fuzz/corpus
	build-fuzz/tests/fuzz/fuzz_open_archive -rss_limit_mb=512 -max_len=1048576 -max_total_time=$${FUZZ_SECONDS:-180} build-fuzz/corpus tests/fuzz/corpus/open_archive

clean:
	rm -rf build build-sanitize build-fuzz
