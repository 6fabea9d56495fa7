# Top-level driver. `make test` on a fresh Debian machine installs what is
# missing, builds the three trees and runs every test.
.PHONY: all deps build native win32 mingw demo test unit-test wine-test asan-test valgrind-test fuzz-short \
        fuzz bench coverage dist clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
# Hermetic, quiet Wine: its own prefix inside the build tree.
export WINEPREFIX := $(abspath $(BUILD))/wine-prefix
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

all: build

deps:
	@bash tools/install-deps.sh

native:
	cmake --preset native >/dev/null
	cmake --build $(BUILD)/native -j $(JOBS)

win32:
	cmake --preset win32 >/dev/null
	cmake --build $(BUILD)/win32 -j $(JOBS)

mingw:
	cmake --preset mingw >/dev/null
	cmake --build $(BUILD)/mingw -j $(JOBS)

# The host emulator plays the demo site against the Linux module. Only what
# the demo needs is installed and built (the module, its panel file,
# vesk-host), quietly: the transcript starts the output, and the build log
# shows only on failure. Without GoogleTest (a machine set up for the demo
# alone) the tree is configured without its tests; `make native` on a machine
# set up for the tests configures them again.
demo:
	@bash tools/install-deps.sh --demo --quiet
	@log=$$(mktemp); tests=$$([ -f /usr/include/gtest/gtest.h ] && echo ON || echo OFF); \
	  { cmake --preset native -DVESK_TESTS=$$tests && cmake --build $(BUILD)/native -j $(JOBS) --target Parvex vesk-host; } \
	  >$$log 2>&1 \
	  || { cat $$log; rm -f $$log; exit 1; }; rm -f $$log
	@$(BUILD)/native/host/vesk-host --module $(BUILD)/native/Parvex.so demo/demo.vsc

build: deps
	$(MAKE) --no-print-directory native win32 mingw

unit-test: native
	cd $(BUILD)/native && ctest --output-on-failure -j $(JOBS)

wine-test: win32 mingw
	bash tools/run-wine-tests.sh $(BUILD)
	bash tools/run-wine-scenarios.sh $(BUILD)

# Unit tests, emulator tests and the scenario suite on the Linux module built
# with AddressSanitizer and UndefinedBehaviorSanitizer.
asan-test:
	cmake --preset asan >/dev/null
	cmake --build $(BUILD)/asan -j $(JOBS)
	cd $(BUILD)/asan && ctest --output-on-failure -j $(JOBS)

# Every test executable and the scenario suite under valgrind: no errors, no leaks.
valgrind-test: native
	bash tools/valgrind-tests.sh $(BUILD)/native
	bash tools/valgrind-scenarios.sh $(BUILD)/native

# libFuzzer targets (clang): a short pass for `make test`, a longer one for `make fuzz`.
fuzz-short:
	cmake --preset fuzz >/dev/null
	bash tools/fuzz.sh 10 $(BUILD)/fuzz

fuzz:
	cmake --preset fuzz >/dev/null
	bash tools/fuzz.sh 60 $(BUILD)/fuzz

# Per-event cost and heap allocations through callback, and vesk-host following
# a live router on loopback (Videohub, then SW-P-08), a site of 1000 panels of one
# SW-P-08 router, a router that floods, the web view, and the wall of 1000 panels
# in headless Chromium: each prints its figures, then it fails when a goal is
# missed. Repetitions run interleaved in random order, so that a busy spell on
# the machine falls on the component and its plain C baseline alike. The benches
# of a router on a thread bind it and vesk-host to one core (bench/one_core.h).
bench: native
	status=0; \
	$(BUILD)/native/bench/event_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
	    --benchmark_report_aggregates_only=true || status=1; \
	$(BUILD)/native/bench/live_bench $(BUILD)/native/Parvex.so $(BUILD)/native/host/vesk-host || status=1; \
	$(BUILD)/native/bench/swp08_bench $(BUILD)/native/Parvex.so $(BUILD)/native/host/vesk-host || status=1; \
	$(BUILD)/native/bench/site_bench $(BUILD)/native/Parvex.so $(BUILD)/native/host/vesk-host || status=1; \
	$(BUILD)/native/bench/flood_bench $(BUILD)/native/Parvex.so $(BUILD)/native/host/vesk-host || status=1; \
	$(BUILD)/native/bench/router_memory_bench $(BUILD)/native/router/server/vesk-router || status=1; \
	node bench/web_bench.js $(BUILD)/native/host/vesk-host $(BUILD)/native/Parvex.so \
	    $(BUILD)/native/router/server/vesk-router; rc=$$?; [ $$rc = 0 ] || [ $$rc = 77 ] || status=1; \
	node bench/wall_bench.js $(BUILD)/native/host/vesk-host $(BUILD)/native/Parvex.so \
	    $(BUILD)/native/router/server/vesk-router; rc=$$?; [ $$rc = 0 ] || [ $$rc = 77 ] || status=1; \
	exit $$status

# Line and branch coverage of the module code: $(BUILD)/coverage/coverage/index.html and summary.txt
coverage: deps
	bash tools/coverage.sh $(BUILD)/coverage

test: build
	$(MAKE) --no-print-directory unit-test
	$(MAKE) --no-print-directory asan-test
	$(MAKE) --no-print-directory valgrind-test
	$(MAKE) --no-print-directory fuzz-short
	$(MAKE) --no-print-directory wine-test

dist: build
	rm -rf dist
	cmake --install $(BUILD)/native --prefix dist
	cmake --install $(BUILD)/win32 --prefix dist
	cmake --install $(BUILD)/mingw --prefix dist

clean:
	rm -rf $(BUILD) dist
