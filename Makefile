# Top-level driver. `make test` on a fresh Debian machine installs what is
# missing, builds the three trees and runs every test.
.PHONY: all deps build native win32 mingw demo test unit-test wine-test dist clean

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

# The host emulator plays the demo site against the Linux module.
demo: deps
	$(MAKE) --no-print-directory native
	$(BUILD)/native/host/vesk-host --module $(BUILD)/native/Parvex.so demo/demo.vsc

build: deps
	$(MAKE) --no-print-directory native win32 mingw

unit-test: native
	cd $(BUILD)/native && ctest --output-on-failure -j $(JOBS)

wine-test: win32 mingw
	bash tools/run-wine-tests.sh $(BUILD)
	bash tools/run-wine-scenarios.sh $(BUILD)

test: build
	$(MAKE) --no-print-directory unit-test
	$(MAKE) --no-print-directory wine-test

dist: build
	rm -rf dist
	cmake --install $(BUILD)/native --prefix dist
	cmake --install $(BUILD)/win32 --prefix dist
	cmake --install $(BUILD)/mingw --prefix dist

clean:
	rm -rf $(BUILD) dist
