# Front door for a fresh checkout. `make run` installs and builds only what the viewer needs and
# opens the bundled sample in it; `make deb` builds the two Debian packages from the same; `make
# test` builds and runs every test (GUI tests under Xvfb, then the sanitizer build).
.PHONY: deps build programs run deb test test-fast test-sanitize test-sanitize-gui bench fuzz fuzz-search clean

CMAKE_PRESET ?= default
SANITIZE_PRESET ?= sanitize
BUILD_DIR ?= build
# Debian's libxapian 1.4.22 frees with a mismatched size inside its own database checker, which
# the search index runs on every index it opens; that report is the library's, not ours.
ASAN_LIBRARY_OPTIONS = new_delete_type_mismatch=0
JOBS ?= $(shell nproc)
# A test that hangs fails after this many seconds instead of holding the whole run; the slowest
# test takes about 20 s under the sanitizers.
CTEST = ctest --output-on-failure --no-tests=error --timeout 300 -j $(JOBS)

deps:
	scripts/install-deps

build: deps
	cmake --preset $(CMAKE_PRESET) -B $(BUILD_DIR) >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the programs, their installed files and the sample, from the run packages: no tests.
programs:
	cmake --preset $(CMAKE_PRESET) -B $(BUILD_DIR) >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS) --target programs

run:
	scripts/install-deps --run
	$(MAKE) --no-print-directory programs
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display; try '$(BUILD_DIR)/tools/tomelet/tomelet serve $(BUILD_DIR)/sample.tlt' and a browser, or install xvfb and run 'xvfb-run -a make run'" >&2; \
	  exit 1; \
	fi
	$(BUILD_DIR)/viewer/tomelet-viewer $(BUILD_DIR)/sample.tlt

deb:
	scripts/install-deps --deb
	$(MAKE) --no-print-directory programs
	cpack --config $(BUILD_DIR)/CPackConfig.cmake -B $(BUILD_DIR)/deb >/dev/null
	@ls $(BUILD_DIR)/deb/*.deb

test-fast: build
	xvfb-run -a --server-args="-screen 0 1280x1024x24" $(CTEST) --test-dir $(BUILD_DIR)

test-sanitize: deps
	cmake --preset $(SANITIZE_PRESET) >/dev/null
	cmake --build build-sanitize -j $(JOBS)
	ASAN_OPTIONS=$(ASAN_LIBRARY_OPTIONS):detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(CTEST) --test-dir build-sanitize

# The viewer and its GUI tests under the sanitizers; the toolkit's own allocations that live for
# the whole run are not leaks of ours, so leak detection stays off here.
test-sanitize-gui: deps
	cmake --preset sanitize-gui >/dev/null
	cmake --build build-sanitize-gui -j $(JOBS)
	ASAN_OPTIONS=$(ASAN_LIBRARY_OPTIONS):detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  xvfb-run -a --server-args="-screen 0 1280x1024x24" \
	  $(CTEST) --test-dir build-sanitize-gui -L gui

test: test-fast test-sanitize

bench: build
	scripts/install-deps --bench
	bench/run-all

fuzz:
	scripts/install-deps --fuzz
	cmake --preset fuzz >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_open_archive fuzz_options_record fuzz_url_mapping fuzz_http_request
	mkdir -p build-fuzz/corpus
	build-fuzz/tests/fuzz/fuzz_open_archive -rss_limit_mb=512 -max_len=1048576 -max_total_time=$${FUZZ_SECONDS:-180} build-fuzz/corpus tests/fuzz/corpus/open_archive

fuzz-search: build
	scripts/install-deps --fuzz
	cmake --preset fuzz >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target fuzz_search_index
	mkdir -p build-fuzz/search-corpus
	build/tools/tomelet/tomelet cat build/sample.tlt -- -index- > build-fuzz/search-corpus/sample.index
	ASAN_OPTIONS=$(ASAN_LIBRARY_OPTIONS) build-fuzz/tests/fuzz/fuzz_search_index \
	  -max_total_time=$${FUZZ_SECONDS:-180} build-fuzz/search-corpus

clean:
	rm -rf build build-fresh build-sanitize build-sanitize-gui build-fuzz
