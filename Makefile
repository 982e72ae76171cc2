# Two commands for a newcomer: `make run` and `make test`.
PRESET ?= dev
BUILD_DIR := build/$(PRESET)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then cmake --preset $(PRESET); fi

build: configure
	cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/quor

test: build
	ctest --preset $(PRESET) -j $(JOBS)

bench:
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	scripts/run-benchmarks.sh build/release

clean:
	rm -rf build
