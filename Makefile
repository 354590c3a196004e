# make run  : install what is missing, build, scan this machine, write report.json
# make test : install what is missing, build both builds, run every test
BUILD ?= build
WIN   := $(BUILD)/win
HOST  := $(BUILD)/host
JOBS  ?= $(shell nproc)

.PHONY: all deps build build-win build-host test run clean

all: build

deps:
	@scripts/install-deps

$(WIN)/CMakeCache.txt:
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release

$(HOST)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug

build-win: deps $(WIN)/CMakeCache.txt
	cmake --build $(WIN) -j $(JOBS)

build-host: deps $(HOST)/CMakeCache.txt
	cmake --build $(HOST) -j $(JOBS)

build: build-win build-host

test: build
	@scripts/run-tests $(BUILD)

run: build-win
	@scripts/run-scan $(WIN)/VornixQuelm.exe report.json

clean:
	rm -rf $(BUILD)
