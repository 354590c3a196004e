# make run  : install what is missing, build the program, scan this machine, write report.json
# make test : install what is missing, build both builds, run every test
BUILD ?= build
WIN   := $(BUILD)/win
HOST  := $(BUILD)/host
JOBS  ?= $(shell nproc)
# CMake's builds are make's children; without this each prints "Entering directory".
MAKEFLAGS += --no-print-directory

.PHONY: all deps test-deps build build-win build-host test run clean

all: build

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --tests

$(WIN)/CMakeCache.txt:
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release

$(HOST)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug

build-win: test-deps $(WIN)/CMakeCache.txt
	cmake --build $(WIN) -j $(JOBS)

build-host: test-deps $(HOST)/CMakeCache.txt
	cmake --build $(HOST) -j $(JOBS)

build: build-win build-host

test: build
	@scripts/run-tests $(BUILD)

# The program and what it embeds only; the tests, benchmarks and fuzz targets
# are built by `make test`.
run: deps $(WIN)/CMakeCache.txt
	cmake --build $(WIN) -j $(JOBS) --target VornixQuelm
	@scripts/run-scan $(WIN)/VornixQuelm.exe report.json

clean:
	rm -rf $(BUILD)
